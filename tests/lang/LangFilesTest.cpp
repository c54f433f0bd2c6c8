// Consistency of the carried language sources (UTF-8, before conversion into their code
// pages). A key missing from one language leaves a control in the previous language's text,
// and a lost placeholder or escape breaks the message it belongs to, so every language is held
// against the English file.

#include "IniFile.h"
#include "LangRes.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <map>
#include <ostream>
#include <string>

namespace {

struct Language {
    const char* code;
    int order;
};

constexpr Language kLanguages[] = {{"en", 1}, {"cn", 2}, {"b5", 3}, {"pl", 4}, {"kr", 5}};

void PrintTo(const Language& language, std::ostream* os) { *os << language.code; }

// Sections the forms read; each form section also carries the form's Caption.
const QStringList kFormSections = {
    "Form_frmMain",          "Form_frmSel_Mode",        "Form_frmLinkSource",
    "Form_frmEsy_Line",      "Form_frmEsy_DevList",     "Form_frmEsy_SetIP",
    "Form_frmEsy_SetWIFI",   "Form_frmEsy_ChkDDNS",     "Form_frmEsy_SetDDNS",
    "Form_frmEsy_PortForward", "Form_frmEsy_SelAccess", "Form_frmCountdown",
    "Form_frmAdv_Main",      "Form_frmAuthInput",       "Form_frmUpgradeSoft",
    "Form_frmPortForward",
};

// Every message key the program looks up in [StrRes].
const QStringList kMessageKeys = {
    "IDS_RUNNED", "IDS_WARNING", "IDS_AM", "IDS_WZ", "IDS_CANTCONNECT", "IDS_ERRACCESS",
    "IDS_ERRFILE", "IDS_CLOSEIPCAMERA", "IDS_EXITCURMODE", "IDS_CREATESOCKETERR",
    "IDS_UPGRADESUCC", "IDS_UPGRADEFAIL", "IDS_UPGRADE_CONNECTING", "IDS_UPGRADE_SENDING",
    "IDS_UPGRADE_WAITING", "IDS_UPGRADE_LOOKING", "IDS_ERROR", "IDS_INFORMATION", "IDS_DEFAULTACCOUNT",
    "IDS_LINKSOURCE", "IDS_LINKNETWORK", "IDS_FOUNDIPCAM", "IDS_CHECKINGACCESS", "IDS_CANVISIT",
    "IDS_CANNOTVISIT", "IDS_CONFIGURING", "IDS_CONFIGUR_ERROR", "IDS_SETWIFIOK",
    "IDS_REMOVELAN", "IDS_SETWIFIFAIL", "IDS_PLUGLAN", "IDS_NOFOUND", "IDS_NOID", "IDS_NOREG",
    "IDS_ERRPWD", "IDS_UNKNOWERR", "IDS_CANNOTCONNECTSERVER", "IDS_NOFOUNDAFTERSET",
    "IDS_ERRAUTH", "IDS_CONTINUESET", "IDS_CHECKING", "IDS_CHECKDDNS_GETCONFIG",
    "IDS_CHECKDDNS_GETCONFIG_ERR", "IDS_CHECKDDNS_GETCONFIG_ERR2", "IDS_CHECKDDNS_GETCONFIG_ERR3",
    "IDS_CHECKDDNS_GETCONFIG_ERR4", "IDS_CHECKDDNS_GETCONFIG_ERR5", "IDS_CHECKDDNS_GETCONFIG_ERR6",
    "IDS_CHECKDDNS_GETCONFIG_SUCC", "IDS_CHECKDDNS2", "IDS_CHECKDDNS2_SUCC",
    "IDS_CHECKDDNS2_ERR_DO", "IDS_CHECKDDNS2_ERR_DO2", "IDS_CHECKSUCC", "IDS_CHECKFAIL_NOTCONNECT",
    "IDS_CHECKDO_PORTFORWARD", "IDS_CHECKFAIL_NOTCONNECTDEV", "IDS_CHECKDO_PORTFORWARD2",
    "IDS_SETPORTMAPPING", "IDS_PORTMAPPINGOK", "IDS_DEVOFFLINE", "IDS_CANCELWAIT", "IDS_CONFIRM",
    "IDS_INPUTPORT", "IDS_AUTOCONFIGIPCAM", "IDS_CHECKNORM", "IDS_NOFIXIP", "IDS_IPINUSE", "IDS_DEVCOUNT",
    "IDS_SELECTROUTER_ERROR", "IDS_NOUSER", "IDS_DLL_NOTFOUND", "IDS_SELECTPORT_ERROR",
    "IDS_READROUTER_ERROR", "IDS_PORT_USING", "IDS_GETROUTER_ERROR", "IDS_CREATEXML_ERROR",
    "IDS_PORTFORWARD_OK", "IDS_PORTFORWART_ERR", "IDS_INVALID_USER", "IDS_SELECT_ROUTER",
    "IDS_GETDATA_ERROR", "IDS_DATA_ERROR", "IDS_PROGRAM_ERROR", "IDS_PARAMETER_ERROR",
    "IDS_DOWNLOAD_INFO", "IDS_NO_NEWVERSION", "IDS_DOWNLOAD_DLL_ERROR",
};

// Its line is meant to stay empty, so no language may define it.
const QString kNeverDefined = "IDS_CHECKING2";

QString SourcePath(const char* code) {
    return QStringLiteral(LANG_SOURCE_DIR "/") + QLatin1String(code) + QStringLiteral(".ini");
}

const IniFile& Source(const char* code) {
    static std::map<std::string, IniFile> cache;
    auto it = cache.find(code);
    if (it == cache.end())
        it = cache.emplace(code, IniFile(SourcePath(code))).first;
    return it->second;
}

QSet<QString> LowerSet(const QStringList& names) {
    QSet<QString> out;
    for (const QString& n : names) out.insert(n.toLower());
    return out;
}

// Keys of a file as "section/key", lower case, so that a difference names both.
QSet<QString> AllKeys(const IniFile& ini) {
    QSet<QString> out;
    for (const QString& s : ini.Sections())
        for (const QString& k : ini.Keys(s)) out.insert(s.toLower() + '/' + k.toLower());
    return out;
}

std::string Names(QSet<QString> set) {
    QStringList list(set.begin(), set.end());
    list.sort();
    return list.join(", ").toStdString();
}

// printf placeholders in order, then the escapes in order, then the literal "#13" marks: the
// parts of a text that code or the lookup acts on and a translation must carry unchanged.
QString Markers(const QString& value) {
    static const QRegularExpression re(
        QStringLiteral(R"(%[-+ #0]*\d*(?:\.\d+)?[sdiuxXfc]|\$[bcnt$]|#13)"));
    QStringList found;
    for (auto it = re.globalMatch(value); it.hasNext();) found.append(it.next().captured());
    return found.join(' ');
}

class TranslationTest : public ::testing::TestWithParam<Language> {};

TEST_P(TranslationTest, HasTheSectionsAndKeysOfEnglish) {
    const IniFile& en = Source("en");
    const IniFile& tr = Source(GetParam().code);
    ASSERT_TRUE(tr.Loaded()) << SourcePath(GetParam().code).toStdString();

    const QSet<QString> enSections = LowerSet(en.Sections()), trSections = LowerSet(tr.Sections());
    EXPECT_EQ(Names(enSections - trSections), "") << "sections missing";
    EXPECT_EQ(Names(trSections - enSections), "") << "sections not in English";

    const QSet<QString> enKeys = AllKeys(en), trKeys = AllKeys(tr);
    EXPECT_EQ(Names(enKeys - trKeys), "") << "keys missing";
    EXPECT_EQ(Names(trKeys - enKeys), "") << "keys not in English";
}

TEST_P(TranslationTest, KeepsPlaceholdersAndEscapesOfEnglish) {
    const IniFile& en = Source("en");
    const IniFile& tr = Source(GetParam().code);
    for (const QString& section : en.Sections()) {
        if (section.compare("Global", Qt::CaseInsensitive) == 0)
            continue;  // language names differ by nature
        for (const QString& key : en.Keys(section)) {
            if (!tr.HasKey(section, key))
                continue;  // reported by the key comparison
            const QString source = en.ReadString(section, key, QString());
            const QString text = tr.ReadString(section, key, QString());
            const std::string where = (section + '/' + key).toStdString();
            EXPECT_EQ(Markers(text).toStdString(), Markers(source).toStdString()) << where;
            if (!source.isEmpty()) {
                EXPECT_FALSE(text.isEmpty()) << where << " is empty";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, TranslationTest,
                         ::testing::Values(kLanguages[1], kLanguages[2], kLanguages[3], kLanguages[4]),
                         [](const auto& info) { return std::string(info.param.code); });

class LanguageFileTest : public ::testing::TestWithParam<Language> {};

TEST_P(LanguageFileTest, StartsWithGlobalNamingAllLanguages) {
    const char* code = GetParam().code;
    QFile raw(SourcePath(code));
    ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
    EXPECT_TRUE(raw.read(8) == "[Global]") << "no byte-order mark, [Global] first";

    const IniFile& ini = Source(code);
    EXPECT_EQ(ini.ReadInteger("Global", "order", -1), GetParam().order);
    for (const Language& named : kLanguages) {
        const QString key = QStringLiteral("Name_") + QLatin1String(named.code);
        const QString name = ini.ReadString("Global", key, QString());
        EXPECT_FALSE(name.isEmpty()) << key.toStdString();
        EXPECT_FALSE(name.contains('?')) << key.toStdString() << " = " << name.toStdString();
    }
    // The welcome page offers a file only if it names the current language, itself included.
    EXPECT_FALSE(ini.ReadString("Global", QStringLiteral("Name_") + QLatin1String(code), {}).isEmpty());
}

TEST_P(LanguageFileTest, HasEveryFormSectionWithItsCaption) {
    const IniFile& ini = Source(GetParam().code);
    const QSet<QString> sections = LowerSet(ini.Sections());
    EXPECT_TRUE(sections.contains("strres"));
    for (const QString& form : kFormSections) {
        EXPECT_TRUE(sections.contains(form.toLower())) << form.toStdString();
        EXPECT_FALSE(ini.ReadString(form, "Caption", QString()).isEmpty()) << form.toStdString();
    }
}

TEST_P(LanguageFileTest, DefinesEveryMessageKeyButTheEmptyOne) {
    const IniFile& ini = Source(GetParam().code);
    QStringList missing;
    for (const QString& key : kMessageKeys)
        if (ini.ReadString("StrRes", key, QString()).isEmpty())
            missing.append(key);
    EXPECT_EQ(missing.join(", ").toStdString(), "");
    EXPECT_FALSE(ini.HasKey("StrRes", kNeverDefined));
    for (const QString& key : ini.Keys("StrRes"))
        EXPECT_TRUE(key.startsWith("IDS_")) << key.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, LanguageFileTest, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.code); });

// A form key that is not "Caption" or a component name with one of the endings the language
// lookup knows is never read: a typo there silently leaves the control untranslated. Indexed
// keys must count from 0 without gaps, since the lookup walks the items by index.
TEST(EnglishFormKeys, UseKnownEndingsAndContiguousIndexes) {
    static const QRegularExpression form(QStringLiteral(
        R"(^(?:caption|([A-Za-z_][A-Za-z0-9_]*)\.(?:caption|hint|filter|(items|columns)(\d+)\.(caption|text)))$)"),
        QRegularExpression::CaseInsensitiveOption);
    const IniFile& en = Source("en");
    for (const QString& section : en.Sections()) {
        if (!section.startsWith("Form_", Qt::CaseInsensitive))
            continue;
        QHash<QString, QSet<int>> indexes;  // component.kind -> indexes seen
        for (const QString& key : en.Keys(section)) {
            const auto m = form.match(key);
            EXPECT_TRUE(m.hasMatch()) << (section + '/' + key).toStdString();
            if (m.hasMatch() && !m.captured(2).isEmpty())
                indexes[(m.captured(1) + '.' + m.captured(2)).toLower()].insert(m.captured(3).toInt());
        }
        for (auto it = indexes.cbegin(); it != indexes.cend(); ++it)
            for (int i = 0; i < it.value().size(); ++i)
                EXPECT_TRUE(it.value().contains(i))
                    << (section + '/' + it.key()).toStdString() << " lacks index " << i;
    }
}

// Texts whose blanks, escapes and marks matter to the program, as the lookup returns them.
TEST(EnglishTexts, ComeBackAsTheProgramShowsThem) {
    struct Case {
        const char* section;
        const char* key;
        const char* shown;
    };
    const Case cases[] = {
        {"StrRes", "IDS_ERROR", "Error"},
        {"StrRes", "ids_error", "Error"},
        {"StrRes", "IDS_DEVCOUNT", "Count: "},
        {"StrRes", "IDS_RUNNED", "%s has been already running."},
        {"StrRes", "IDS_CHECKDDNS_GETCONFIG_SUCC", "\t\tSuccess!"},
        {"StrRes", "IDS_CHECKDDNS2_ERR_DO",
         " Approach:\r\n        1.Check whether SN setting is correct;\r\n"
         "        2.Please contact product vendor technical support."},
        {"StrRes", "IDS_SELECT_ROUTER", "You choose the wrong router!"},
        {"StrRes", "IDS_GETDATA_ERROR",
         "Read port mapping information error!#13#13This software may not support your router's "
         "automated configuration, you can see whether there is a new version, otherwise you need "
         "to log into the router to be add manually."},
        {"Form_frmSel_Mode", "TeButton1.Caption", " \xE3\x80\x8B"},
        {"Form_frmEsy_SetWIFI", "lblSSID.Caption", "SSID\xEF\xBC\x9A"},
        {"Form_frmEsy_SetWIFI", "cmbAuthMode.Items1.Caption", "Share Key"},
        {"Form_frmEsy_SetWIFI", "cmbHex1.Items0.Caption", "64  Bits"},
        {"Form_frmEsy_DevList", "ListView1.Columns3.Caption", "IP Address"},
        {"Form_frmUpgradeSoft", "OpenDialog1.Filter", "Upgrade package(*.bin)|*.bin"},
    };
    const IniFile& en = Source("en");
    for (const Case& c : cases)
        EXPECT_EQ(ReadLangValue(en, c.section, c.key, "<absent>").toStdString(), c.shown)
            << c.section << '/' << c.key;
}

}  // namespace
