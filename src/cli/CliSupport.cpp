#include "CliSupport.h"

#include "NetAddress.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QTimer>

#include <cstdio>
#include <iostream>
#include <string>

namespace Cli {

const char kExitCodesHelp[] =
    "Exit status: 0 done; 1 the camera refused or did not come back; 2 wrong usage or a value\n"
    "that cannot be sent; 3 camera not found; 4 the search sockets could not be opened.\n";

namespace {

// How often RunUntil asks its condition: well below a search tick, cheap for the list.
constexpr int kPollMs = 20;
// An address may be shared by several cameras (a factory address): search this long at least.
constexpr int kAddressSearchMs = 1000;

}  // namespace

void Error(const QString& message)
{
    const QByteArray text = "ipcam: " + message.toUtf8() + '\n';
    std::fwrite(text.constData(), 1, size_t(text.size()), stderr);
    std::fflush(stderr);
}

int UsageError(const QString& command, const QString& message)
{
    Error(message);
    const QByteArray hint = "Try 'ipcam " + command.toUtf8() + " --help'.\n";
    std::fwrite(hint.constData(), 1, size_t(hint.size()), stderr);
    return kExitUsage;
}

bool TArgs::Parse(const QStringList& args, const std::vector<TOptionSpec>& known,
                  int maxPositional, QString& error)
{
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help_ = true;
            continue;
        }
        if (!a.startsWith(QLatin1String("--"))) {
            if (a.startsWith(u'-') && a.size() > 1) {
                error = QStringLiteral("unknown option %1").arg(a.section(u'=', 0, 0));
                return false;
            }
            if (positional_.size() >= maxPositional) {
                error = QStringLiteral("too many arguments");
                return false;
            }
            positional_.append(a);
            continue;
        }
        const qsizetype eq = a.indexOf(u'=');
        const QString name = a.mid(2, eq < 0 ? -1 : eq - 2);
        const auto it = std::find_if(known.begin(), known.end(), [&](const TOptionSpec& s) {
            return name == QLatin1String(s.name);
        });
        if (it == known.end()) {
            error = QStringLiteral("unknown option --%1").arg(name);
            return false;
        }
        if (values_.count(name)) {
            error = QStringLiteral("--%1 given twice").arg(name);
            return false;
        }
        QString value;
        if (it->takesValue) {
            if (eq >= 0) {
                value = a.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                error = QStringLiteral("--%1 needs a value").arg(name);
                return false;
            }
        } else if (eq >= 0) {
            error = QStringLiteral("--%1 takes no value").arg(name);
            return false;
        }
        values_[name] = value;
    }
    return true;
}

QString TArgs::Value(const char* name) const
{
    const auto it = values_.find(QString::fromLatin1(name));
    return it == values_.end() ? QString() : it->second;
}

std::optional<int> ParseNumber(const QString& text, int min, int max)
{
    // Digits only: no sign, no blanks, no base prefix.
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
    }
    const int n = text.toInt();
    if (n < min || n > max)
        return std::nullopt;
    return n;
}

bool NumberOption(const TArgs& args, const char* name, int min, int max, int& value, QString& error)
{
    if (!args.Has(name))
        return true;
    const std::optional<int> n = ParseNumber(args.Value(name), min, max);
    if (!n) {
        error = QStringLiteral("--%1: not a number from %2 to %3").arg(QLatin1String(name)).arg(min).arg(max);
        return false;
    }
    value = *n;
    return true;
}

std::optional<quint16> ParsePort(const QString& text)
{
    const auto n = ParseNumber(text, 1, 65535);
    return n ? std::optional<quint16>(quint16(*n)) : std::nullopt;
}

std::optional<TCameraRef> ParseCameraRef(const QString& text)
{
    TCameraRef ref;
    if (ValidIp(text)) {
        ref.ip = text;
        return ref;
    }
    // A MAC text as the families report it: digits and letters, separated or not.
    QString plain = text;
    plain.remove(u':').remove(u'-');
    if (plain.isEmpty() || plain.size() > 32)
        return std::nullopt;
    for (QChar c : plain) {
        if (!(c >= u'0' && c <= u'9') && !(c.toUpper() >= u'A' && c.toUpper() <= u'Z'))
            return std::nullopt;
    }
    ref.macHex = MacHexOf(text);
    return ref;
}

bool Matches(const TCameraRef& ref, const TDevInfo& rec)
{
    if (!ref.ip.isEmpty())
        return rec.IP == ref.ip;
    return MacHexOf(rec.Mac) == ref.macHex;
}

QString Describe(const TCameraRef& ref)
{
    return ref.ip.isEmpty() ? QStringLiteral("with MAC %1").arg(ref.macHex)
                            : QStringLiteral("at %1").arg(ref.ip);
}

bool ReadLoginArgs(const TArgs& args, TLoginArgs& out, QString& error)
{
    if (args.Has("user"))
        out.user = args.Value("user").trimmed();
    if (args.Has("password")) {
        QString password = args.Value("password");
        if (password == QLatin1String("-")) {
            std::string line;
            if (!std::getline(std::cin, line)) {
                error = QStringLiteral("--password -: no line on standard input");
                return false;
            }
            password = QString::fromUtf8(line.data(), qsizetype(line.size()));
        }
        out.password = password.trimmed();
    }
    return true;
}

TLogin LoginFor(const TLoginArgs& args, const TFamilyTraits& traits)
{
    TLogin login;
    login.user = args.user.value_or(QStringLiteral("admin"));
    login.password = args.password.value_or(traits.applyPasswordPreset);
    return login;
}

QByteArray RecordLine(const TFamilyRegistry& families, const TDevInfo& rec)
{
    return TDeviceList::ExportLine(1, families.SeriesLetter(rec.Family), rec).toUtf8();
}

QByteArray RecordJson(const TDevInfo& rec)
{
    return QJsonDocument(DevInfoToJson(rec)).toJson(QJsonDocument::Indented);
}

void Print(const QByteArray& bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

QString FamilyName(const TFamilyRegistry& families, qint32 family)
{
    const QString series = families.SeriesLetter(family);
    return series.isEmpty() ? QStringLiteral("family %1").arg(family)
                            : QStringLiteral("family %1 (series %2)").arg(family).arg(series);
}

TSearch::TSearch()
    : families_(MakeBuiltInFamilies(QCoreApplication::applicationDirPath())),
      engine_(std::make_unique<DiscoveryEngine>(*families_))
{
    QObject::connect(engine_.get(), &DiscoveryEngine::ticked, engine_.get(), [this](int tick) {
        if (libraryEveryTick_ && tick % 3 == 2)
            engine_->SendProbes(tick, true);
    });
}

TSearch::~TSearch()
{
    engine_->Stop();
}

bool TSearch::Start()
{
    if (engine_->Start() < DiscoveryEngine::kSocketCount) {
        for (int n = 1; n <= DiscoveryEngine::kSocketCount; ++n) {
            if (engine_->LocalPort(n) == 0)
                Error(QStringLiteral("search socket %1 could not be opened").arg(n));
        }
        engine_->Stop();
        return false;
    }
    engine_->Find();  // the first pass at once, with the library; the tick follows
    return true;
}

bool TSearch::RunUntil(const std::function<bool()>& done, int ms)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    bool held = done();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        held = done();
        if (held || clock.elapsed() >= ms)
            loop.quit();
    });
    if (!held) {
        poll.start(kPollMs);
        loop.exec();
    }
    return held;
}

std::vector<TDevInfo> TSearch::Find(const TCameraRef& ref, int ms)
{
    QElapsedTimer clock;
    clock.start();
    auto matches = [&] {
        std::vector<TDevInfo> out;
        const TDeviceList& list = engine_->Devices();
        for (int i = 0; i < list.Count(); ++i) {
            if (Matches(ref, *list.RecordAt(i)))
                out.push_back(*list.RecordAt(i));
        }
        return out;
    };
    const int byAddress = ref.ip.isEmpty() ? 0 : std::min(ms, kAddressSearchMs);
    RunUntil([&] { return !matches().empty() && clock.elapsed() >= byAddress; }, ms);
    return matches();
}

std::optional<TDevInfo> FindOne(TSearch& search, const QString& command, const TCameraRef& ref,
                                int seconds, int& exit)
{
    const std::vector<TDevInfo> found = search.Find(ref, seconds * 1000);
    if (found.empty()) {
        Error(QStringLiteral("no camera %1 answered within %2 s").arg(Describe(ref)).arg(seconds));
        exit = kExitNotFound;
        return std::nullopt;
    }
    if (found.size() > 1) {
        QStringList macs;
        for (const TDevInfo& r : found)
            macs << r.MacHex;
        exit = UsageError(command, QStringLiteral("%1 cameras answer %2 (%3); name one by its MAC")
                                       .arg(found.size())
                                       .arg(Describe(ref), macs.join(QStringLiteral(", "))));
        return std::nullopt;
    }
    return found.front();
}

}  // namespace Cli
