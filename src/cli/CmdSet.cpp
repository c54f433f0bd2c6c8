// ipcam set: a camera's network settings from the command line. The camera is searched, the
// new record is its found record with the values given, and its family's command goes out
// exactly as the advanced window's Apply sends it; then the tool waits until the camera
// answers with its new settings.

#include "CliCommands.h"

#include "NetAddress.h"

namespace Cli {
namespace {

constexpr int kMaxSeconds = 24 * 3600;
constexpr int kDefaultWaitSeconds = 30;
constexpr int kMaxWaitSeconds = 600;

const char kUsage[] =
    "Usage: ipcam set CAMERA [--ip A] [--mask M] [--gateway G] [--dns D] [--dns2 D]\n"
    "                 [--port N] [--data-port N] [--name TEXT] [--dhcp | --static]\n"
    "                 [--user U] [--password P] [--no-wait] [--seconds N] [--wait N] [--json]\n"
    "Changes the network settings of one camera. CAMERA is its MAC (any case, with or without\n"
    "\":\" or \"-\") or its current IPv4 address. The camera is searched for at most --seconds\n"
    "(default 3); values not given stay as the camera reported them. The command of the\n"
    "camera's family goes out as the advanced window's Apply sends it, through the network\n"
    "adapter the camera answered on; then the tool waits until the camera answers with its\n"
    "new settings (at most --wait seconds, default 30) and prints its new record.\n"
    "\n"
    "  --ip, --mask, --gateway, --dns A  the address, subnet mask, gateway, DNS server\n"
    "                                    (four numbers 0 to 255; the address must not end in\n"
    "                                    0 or 255)\n"
    "  --dns2 A       the second DNS server (may be empty)\n"
    "  --port N       the web (HTTP) port, 1 to 65535\n"
    "  --data-port N  the data port, 1 to 65535\n"
    "  --name TEXT    the camera's name\n"
    "  --dhcp, --static  the address from a DHCP server, or the fixed one\n"
    "  --user U       the camera's user name (default admin)\n"
    "  --password P   its password (default: the family's factory password, else empty);\n"
    "                 \"-\" reads it from the first line of standard input\n"
    "  --no-wait      return once the command has gone out\n"
    "  --seconds N    search for the camera at most N seconds (1 to 86400)\n"
    "  --wait N       wait at most N seconds for the camera's answer (1 to 600)\n"
    "  --json         print the new record as a JSON object\n"
    "\n"
    "A value the camera's family cannot carry (a setting its command does not send, a name\n"
    "longer than its field) is refused before anything is sent. Output: one line in the\n"
    "export format (position, series, name, IP address, MAC; TAB-separated, CR LF). Neither\n"
    "the output nor a message holds a user name or password.\n"
    "\n";

struct TValueOption {
    const char* option;
    TNetField field;
    const char* words;  // how a message names the value
};
const TValueOption kValueOptions[] = {
    {"ip", kNetIP, "address"},
    {"mask", kNetMask, "subnet mask"},
    {"gateway", kNetGateway, "gateway"},
    {"dns", kNetDns1, "DNS server"},
    {"dns2", kNetDns2, "second DNS server"},
    {"port", kNetHttpPort, "HTTP port"},
    {"data-port", kNetDataPort, "data port"},
    {"name", kNetName, "name"},
    {"dhcp", kNetAddrMode, "address mode"},
    {"static", kNetAddrMode, "address mode"},
};

const TValueOption* OptionOf(TNetField field)
{
    for (const TValueOption& o : kValueOptions) {
        if (o.field == field)
            return &o;
    }
    return nullptr;
}

QString WordsFor(TNetField field)
{
    if (field == kNetUser)
        return QStringLiteral("user name");
    if (field == kNetPassword)
        return QStringLiteral("password");
    const TValueOption* o = OptionOf(field);
    return o ? QString::fromLatin1(o->words) : QStringLiteral("value");
}

const QString* AddressOf(const TDevInfo& rec, TNetField field)
{
    switch (field) {
    case kNetIP: return &rec.IP;
    case kNetMask: return &rec.Mask;
    case kNetGateway: return &rec.Gateway;
    case kNetDns1: return &rec.Dns1;
    case kNetDns2: return &rec.Dns2;
    default: return nullptr;
    }
}

// The refusal of a change, in plain words. Values given on the command line may be repeated
// (they are the user's own), login values never are.
QString Explain(const TNetCheck& check, const TArgs& args, const TDevInfo& next,
                const QString& family)
{
    const TValueOption* o = OptionOf(check.field);
    const bool given = o && args.Has(o->option);
    const QString words = WordsFor(check.field);
    switch (check.problem) {
    case TNetProblem::kBadAddress: {
        const QString value = AddressOf(next, check.field) ? *AddressOf(next, check.field) : QString();
        const QString why = check.field == kNetIP
                                ? QStringLiteral("four numbers 0 to 255, not ending in 0 or 255")
                                : QStringLiteral("four numbers 0 to 255");
        if (given)
            return QStringLiteral("--%1 %2: the %3 must be %4").arg(o->option, value, words, why);
        return QStringLiteral("the camera reports a %1 that cannot be sent (\"%2\"); give one "
                              "with --%3")
            .arg(words, value, QString::fromLatin1(o ? o->option : ""));
    }
    case TNetProblem::kBadPort:
        if (given)
            return QStringLiteral("--%1: the %2 must be 1 to 65535").arg(o->option, words);
        return QStringLiteral("the camera reports %1 0; give one with --%2")
            .arg(words, QString::fromLatin1(o ? o->option : ""));
    case TNetProblem::kTooLong:
        return QStringLiteral("the %1 is longer than the %2 bytes that %3 takes")
            .arg(words)
            .arg(check.limit)
            .arg(family);
    case TNetProblem::kBadText:
        return QStringLiteral("the %1 holds a line break, which %2 cannot carry").arg(words, family);
    case TNetProblem::kBadMode:
        return QStringLiteral("%1 offers no such address mode").arg(family);
    case TNetProblem::kNone:
        break;
    }
    return QString();
}

// Whether a record found by the search shows the settings sent: every value the command
// carries and the search reply reports back. After a switch to DHCP the addresses are the
// DHCP server's.
bool ShowsSettings(const TFamilyTraits& t, const TDevInfo& got, const TDevInfo& want)
{
    if (MacHexOf(got.Mac) != MacHexOf(want.Mac))
        return false;
    quint32 check = t.netCarried & t.netReported;
    if ((t.netCarried & kNetAddrMode) && want.AddrMode == kAddrDhcp)
        check &= ~quint32(kNetIP | kNetMask | kNetGateway | kNetDns1 | kNetDns2);
    const std::pair<TNetField, bool> same[] = {
        {kNetIP, got.IP == want.IP},
        {kNetMask, got.Mask == want.Mask},
        {kNetGateway, got.Gateway == want.Gateway},
        {kNetDns1, got.Dns1 == want.Dns1},
        {kNetDns2, got.Dns2 == want.Dns2},
        {kNetHttpPort, got.HttpPort == want.HttpPort},
        {kNetDataPort, got.DataPort == want.DataPort},
        {kNetName, got.Name == want.Name},
        {kNetAddrMode, got.AddrMode == want.AddrMode},
    };
    for (const auto& [field, equal] : same) {
        if ((check & field) && !equal)
            return false;
    }
    return true;
}

int Run(const QStringList& argv)
{
    const QString cmd = QStringLiteral("set");
    TArgs args;
    QString error;
    const std::vector<TOptionSpec> known = {
        {"ip", true},       {"mask", true},      {"gateway", true}, {"dns", true},
        {"dns2", true},     {"port", true},      {"data-port", true}, {"name", true},
        {"dhcp", false},    {"static", false},   {"user", true},    {"password", true},
        {"no-wait", false}, {"seconds", true},   {"wait", true},    {"json", false}};
    if (!args.Parse(argv, known, 1, error))
        return UsageError(cmd, error);
    if (args.Help()) {
        Print(QByteArray(kUsage) + kExitCodesHelp);
        return kExitDone;
    }
    if (args.Positional().size() != 1)
        return UsageError(cmd, QStringLiteral("name the camera by its MAC or its address"));
    const std::optional<TCameraRef> ref = ParseCameraRef(args.Positional()[0]);
    if (!ref)
        return UsageError(cmd, QStringLiteral("CAMERA must be a MAC or an IPv4 address"));

    // Every value is checked before anything goes out, the search's probes included.
    for (const char* option : {"ip", "mask", "gateway", "dns"}) {
        if (args.Has(option) && !ValidIp(args.Value(option))) {
            return UsageError(cmd, QStringLiteral("--%1 %2: not four numbers 0 to 255")
                                       .arg(QLatin1String(option), args.Value(option)));
        }
    }
    if (args.Has("dns2") && !ValidOptionalIp(args.Value("dns2"))) {
        return UsageError(cmd, QStringLiteral("--dns2 %1: not four numbers 0 to 255")
                                   .arg(args.Value("dns2")));
    }
    std::optional<quint16> port, dataPort;
    if (args.Has("port") && !(port = ParsePort(args.Value("port"))))
        return UsageError(cmd, QStringLiteral("--port: not a port from 1 to 65535"));
    if (args.Has("data-port") && !(dataPort = ParsePort(args.Value("data-port"))))
        return UsageError(cmd, QStringLiteral("--data-port: not a port from 1 to 65535"));
    if (args.Has("dhcp") && args.Has("static"))
        return UsageError(cmd, QStringLiteral("--dhcp and --static exclude each other"));
    int seconds = 3, waitSeconds = kDefaultWaitSeconds;
    if (!NumberOption(args, "seconds", 1, kMaxSeconds, seconds, error))
        return UsageError(cmd, error);
    if (!NumberOption(args, "wait", 1, kMaxWaitSeconds, waitSeconds, error))
        return UsageError(cmd, error);
    TLoginArgs loginArgs;
    if (!ReadLoginArgs(args, loginArgs, error))
        return UsageError(cmd, error);

    TSearch search;
    if (!search.Start())
        return kExitNoSockets;
    int exit = kExitDone;
    const std::optional<TDevInfo> oldFound = FindOne(search, cmd, *ref, seconds, exit);
    if (!oldFound)
        return exit;
    const TDevInfo old = *oldFound;
    ICameraFamily& family = search.Families().Get(old.Family);
    const TFamilyTraits& traits = family.Traits();
    const QString familyName = FamilyName(search.Families(), old.Family);

    if (traits.netCarried == 0) {
        Error(QStringLiteral("the camera's %1 has no network-settings command").arg(familyName));
        return kExitUsage;
    }
    for (const TValueOption& o : kValueOptions) {
        if (args.Has(o.option) && !(traits.netCarried & o.field)) {
            return UsageError(cmd, QStringLiteral("the camera's %1 cannot set the %2 (--%3)")
                                       .arg(familyName, QLatin1String(o.words),
                                            QLatin1String(o.option)));
        }
    }
    if (loginArgs.user && !(traits.netCarried & kNetUser))
        Error(QStringLiteral("note: %1 takes no user name; --user is not sent").arg(familyName));
    if (loginArgs.password && !(traits.netCarried & kNetPassword))
        Error(QStringLiteral("note: %1 takes no password; --password is not sent").arg(familyName));

    TDevInfo next = old;
    if (args.Has("ip"))
        next.IP = args.Value("ip");
    if (args.Has("mask"))
        next.Mask = args.Value("mask");
    if (args.Has("gateway"))
        next.Gateway = args.Value("gateway");
    if (args.Has("dns")) {
        next.Dns1 = args.Value("dns");
        next.DnsManual = true;
    }
    if (args.Has("dns2")) {
        next.Dns2 = args.Value("dns2");
        next.DnsManual = true;
    }
    if (port)
        next.HttpPort = *port;
    if (dataPort)
        next.DataPort = *dataPort;
    if (args.Has("name"))
        next.Name = args.Value("name").trimmed();  // as the window trims its name field
    if (args.Has("dhcp"))
        next.AddrMode = kAddrDhcp;
    if (args.Has("static"))
        next.AddrMode = kAddrStatic;

    const TLogin login = LoginFor(loginArgs, traits);
    const TNetCheck check = family.CheckNetwork(old, next, login);
    if (!check.Ok())
        return UsageError(cmd, Explain(check, args, next, familyName));
    if (traits.applyKeepsLogin) {
        next.LoginUser = login.user;
        next.LoginPwd = login.password;
    }

    const TApplyResult result = search.OffThread([&] {
        return family.ApplyNetwork(search.Engine(), TApplyOrigin::Advanced, old, next, login);
    });
    switch (result) {
    case TApplyResult::kSent:
    case TApplyResult::kAccepted:
        break;
    case TApplyResult::kRefused:
        Error(QStringLiteral("the camera refused the settings (a wrong user name or password?)"));
        return kExitFailed;
    case TApplyResult::kSendFailed:
        Error(QStringLiteral("the settings could not be sent"));
        return kExitFailed;
    case TApplyResult::kMalformed:
        Error(QStringLiteral("the camera's record holds values that %1 cannot carry").arg(familyName));
        return kExitUsage;
    case TApplyResult::kUnsupported:
        Error(QStringLiteral("the camera's %1 has no network-settings command").arg(familyName));
        return kExitUsage;
    }
    if (args.Has("no-wait"))
        return kExitDone;

    // As after Apply: the list searched anew, so that only answers after the command count.
    search.Engine().Find();
    search.KeepLibrarySearching(true);
    TDevInfo seen;
    const bool back = search.RunUntil(
        [&] {
            const TDeviceList& list = search.Engine().Devices();
            for (int i = 0; i < list.Count(); ++i) {
                if (ShowsSettings(traits, *list.RecordAt(i), next)) {
                    seen = *list.RecordAt(i);
                    return true;
                }
            }
            return false;
        },
        waitSeconds * 1000);
    if (!back) {
        if (next.AddrMode == kAddrDhcp && (traits.netCarried & kNetAddrMode))
            Error(QStringLiteral("sent, but the camera did not answer with its new settings within %1 s")
                      .arg(waitSeconds));
        else
            Error(QStringLiteral("sent, but the camera did not answer at %1 within %2 s")
                      .arg(next.IP)
                      .arg(waitSeconds));
        return kExitFailed;
    }
    Print(args.Has("json") ? RecordJson(seen) : RecordLine(search.Families(), seen));
    return kExitDone;
}

}  // namespace

const TCliCommand kSetCommand{"set", "change a camera's network settings", kUsage, Run};

}  // namespace Cli
