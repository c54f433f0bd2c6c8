// Router.ini, the download addresses of Config.ini, and the version rule.

#include "IniFile.h"
#include "RouterList.h"
#include "TestDirs.h"
#include "Tools.h"

#include <QTextCodec>
#include <gtest/gtest.h>

namespace {

// Bytes of a literal that holds zero bytes, without its terminating zero.
template <size_t N>
QByteArray Raw(const char (&s)[N]) {
    return QByteArray(s, N - 1);
}

TEST(LoadRouterList, OffersModelsWithANameInTheLanguageAndAPlugIn) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("Router/Router.ini");
    WriteBytes(path,
               "[ROUTER]\r\n"
               "Count=5\r\n"
               "RenName1=UPnP router\r\nrpath1=upnp-igd.so\r\nVersion1=1.0.0.1\r\n"
               "RcnName1=\xE8\x87\xAA\xE5\x8A\xA8\r\n"
               "RenName2=No plug-in\r\n"
               "RcnName3=Chinese only\r\nrpath3=cn.so\r\n"
               "RenName4=Escaping\r\nrpath4=../../bin/evil.so\r\n"
               "renname5 = Spaced \r\nRPATH5= five.so \r\n"
               "RenName6=Beyond Count\r\nrpath6=six.so\r\n");
    const QList<TRouter> en = LoadRouterList(path, "en");
    ASSERT_EQ(en.size(), 2);
    EXPECT_EQ(en[0].Number, 1);
    EXPECT_EQ(en[0].DisplayName, "UPnP router");
    EXPECT_EQ(en[0].PlugInFile, "upnp-igd.so");
    EXPECT_EQ(en[1].Number, 5);
    EXPECT_EQ(en[1].DisplayName, "Spaced");
    EXPECT_EQ(en[1].PlugInFile, "five.so");
    const QList<TRouter> cn = LoadRouterList(path, "cn");
    ASSERT_EQ(cn.size(), 2);
    EXPECT_EQ(cn[0].DisplayName, QStringLiteral("\u81EA\u52A8"));
    EXPECT_EQ(cn[1].DisplayName, "Chinese only");
    EXPECT_TRUE(LoadRouterList(dirs.Path("Router/none.ini"), "en").isEmpty());
}

TEST(LoadRouterList, NamesOfAListInCodePagesAreDecodedPerLanguage) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("Router.ini");
    // "自动" in GBK and "自動" in Big5 in one file, as a list made on another system holds them.
    WriteBytes(path, "[Router]\r\nCount=1\r\nRcnName1=\xD7\xD4\xB6\xAF\r\nRb5Name1=\xA6\xDB\xB0\xCA\r\nrpath1=a.so\r\n");
    EXPECT_EQ(LoadRouterList(path, "cn").value(0).DisplayName, QStringLiteral("\u81EA\u52A8"));
    EXPECT_EQ(LoadRouterList(path, "b5").value(0).DisplayName, QStringLiteral("\u81EA\u52D5"));
}

TEST(LoadRouterList, AHugeCountCostsNothing) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("Router.ini");
    WriteBytes(path, "[ROUTER]\nCount=2147483647\nRenName2000000000=Far\nrpath2000000000=far.so\n");
    const QList<TRouter> list = LoadRouterList(path, "en");
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list[0].Number, 2000000000);
}

TEST(PlugInUrls, BuiltInUnlessConfigSaysOtherwise) {
    ScopedTestDirs dirs;
    const QString config = dirs.Path("Config.ini");
    const QString server = kDefaultPlugInServer;
    struct Case {
        const char* what;
        QByteArray file;  // empty: no Config.ini
        QString list, base;
    };
    const QList<Case> cases = {
        {"no Config.ini", "", server + "/router/router.txt", server + "/router/"},
        {"no keys", "[LINK]\r\nAbout=x\r\n", server + "/router/Router.txt", server + "/router/"},
        {"empty keys", "[Setup]\r\nRouterUrl=\r\nDownDllURL=\r\n", server + "/router/router.txt", server + "/router/"},
        {"both keys", "[setup]\r\nrouterurl = http://10.1.2.3:8080/r/list.ini\r\nDownDllURL=http://10.1.2.3:8080/dll/\r\n",
         "http://10.1.2.3:8080/r/list.ini", "http://10.1.2.3:8080/dll/"},
    };
    for (const Case& c : cases) {
        QFile::remove(config);
        if (!c.file.isEmpty())
            WriteBytes(config, c.file);
        const TPlugInUrls u = TPlugInUrls::FromConfig(config);
        EXPECT_EQ(u.RouterListUrl, c.list) << c.what;
        EXPECT_EQ(u.PlugInBaseUrl, c.base) << c.what;
    }
}

TEST(WriteRouterIniValue, ChangesOneLineAndLeavesEveryOtherByte) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("Router.ini");
    const QByteArray before = "; list\r\n[Other]\r\nVersion1=keep\r\n[ROUTER]\r\nCount=2\r\nRcnName1=\xD7\xD4\xB6\xAF\r\n"
                              "version1 = 1.0.0.1\r\n\r\n[Tail]\r\nx=1\r\n";
    WriteBytes(path, before);
    ASSERT_TRUE(WriteRouterIniValue(path, "Version1", "1.0.0.9"));
    EXPECT_EQ(ReadBytes(path), QByteArray(before).replace("version1 = 1.0.0.1", "Version1=1.0.0.9"));
    ASSERT_TRUE(WriteRouterIniValue(path, "Version2", "2.0.0.0\r\n[Evil]"));
    EXPECT_EQ(ReadBytes(path), QByteArray(before)
                                   .replace("version1 = 1.0.0.1", "Version1=1.0.0.9")
                                   .replace("Version1=1.0.0.9\r\n", "Version1=1.0.0.9\r\nVersion2=2.0.0.0  [Evil]\r\n"));
    const QString fresh = dirs.Path("fresh.ini");
    ASSERT_TRUE(WriteRouterIniValue(fresh, "Version3", "1.2.3.4"));
    EXPECT_EQ(ReadBytes(fresh), "[ROUTER]\r\nVersion3=1.2.3.4\r\n");
    EXPECT_FALSE(WriteRouterIniValue(dirs.Path("no/such/folder/Router.ini"), "Version1", "1"));
}

// Found by fuzzing: the writer looked for the [Router] section by other rules than the reader
// (IniFile), so a version could land where no reader looks and the download was offered again
// and again. Each file must read back with the new version and every other byte kept.
TEST(WriteRouterIniValue, TheValueLandsWhereTheReaderLooks) {
    const struct {
        const char* why;
        QByteArray before;
        QByteArray after;
    } cases[] = {
        {"a repeated [Router] section is no part of the first",
         "[ROUTER]\nCount=1\n[router]\nVersion1=9\n",
         "[ROUTER]\nCount=1\nVersion1=1.0.0.4\r\n[router]\nVersion1=9\n"},
        {"a zero byte ends a line, before the section header",
         Raw("\xFF\xFF\0[ROUTER]\nCount=1\n"), Raw("\xFF\xFF\0[ROUTER]\nCount=1\nVersion1=1.0.0.4\r\n")},
        {"a zero byte ends a line, before the key",
         Raw("[ROUTER]\r\nx=1\0Version1=0\r\nCount=1\r\n"),
         Raw("[ROUTER]\r\nx=1\0Version1=1.0.0.4\r\nCount=1\r\n")},
        {"a byte-order mark is not part of the first line",
         "\xEF\xBB\xBF[ROUTER]\r\nVersion1=0\r\n", "\xEF\xBB\xBF[ROUTER]\r\nVersion1=1.0.0.4\r\n"},
    };
    for (const auto& c : cases) {
        ScopedTestDirs dirs;
        const QString path = dirs.Path("Router.ini");
        WriteBytes(path, c.before);
        ASSERT_TRUE(WriteRouterIniValue(path, "Version1", "1.0.0.4")) << c.why;
        EXPECT_EQ(ReadBytes(path), c.after) << c.why;
        EXPECT_EQ(IniFile(path, QTextCodec::codecForName("ISO-8859-1")).ReadString("ROUTER", "Version1", ""),
                  "1.0.0.4")
            << c.why;
    }
}

TEST(FindNoCase, FindsAnEntryInAnyLetterCase) {
    ScopedTestDirs dirs;
    WriteBytes(dirs.Path("ROUTER/router.INI"), "x");
    const QString dir = FindNoCase(dirs.root.path(), "Router");
    EXPECT_EQ(dir, dirs.Path("ROUTER"));
    EXPECT_EQ(FindNoCase(dir, "Router.ini"), dirs.Path("ROUTER/router.INI"));
    EXPECT_EQ(FindNoCase(dir, "Missing.ini"), dirs.Path("ROUTER/Missing.ini"));
}

// The user's folder comes first, file by file; the carried one is the fallback; a missing
// file is to be had in the user's folder.
TEST(PortMapSetup, TheUsersFolderIsSearchedFirst) {
    ScopedTestDirs dirs;
    TPortMapSetup s;
    s.RouterDir = dirs.Path("app/Router/");
    s.UserRouterDir = dirs.Path("data/Router/");
    WriteBytes(s.RouterDir + "Router.ini", "carried");
    WriteBytes(s.RouterDir + "a.so", "carried");
    WriteBytes(s.RouterDir + "B.so", "carried");
    WriteBytes(s.UserRouterDir + "a.so", "mine");
    WriteBytes(s.UserRouterDir + "C.SO", "mine");
    struct Case {
        const char* name;
        QString found;
    };
    const Case cases[] = {
        {"Router.ini", s.RouterDir + "Router.ini"},
        {"a.so", s.UserRouterDir + "a.so"},
        {"b.so", s.RouterDir + "B.so"},
        {"c.so", s.UserRouterDir + "C.SO"},
        {"d.so", s.UserRouterDir + "d.so"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s.Find(c.name), c.found) << c.name;
    EXPECT_EQ(s.WritableDir(), s.UserRouterDir);
    EXPECT_TRUE(s.IsWritable(s.UserRouterDir + "a.so"));
    EXPECT_FALSE(s.IsWritable(s.RouterDir + "a.so"));

    // Without a user's folder the carried one serves as both.
    s.UserRouterDir.clear();
    EXPECT_EQ(s.Find("a.so"), s.RouterDir + "a.so");
    EXPECT_EQ(s.Find("d.so"), s.RouterDir + "d.so");
    EXPECT_EQ(s.WritableDir(), s.RouterDir);
    EXPECT_TRUE(s.IsWritable(s.RouterDir + "a.so"));
}

TEST(PortMapSetup, TheUsersFolderLiesInTheDataFolder) {
    ScopedTestDirs dirs;  // XDG_DATA_HOME is its "data"
    EXPECT_EQ(UserRouterFolder(), dirs.Path("data/ipcam-wizard/Router/"));
    const TPortMapSetup s = TPortMapSetup::Default();
    EXPECT_EQ(s.UserRouterDir, dirs.Path("data/ipcam-wizard/Router/"));
    EXPECT_EQ(s.RouterDir, TTools::AppDir() + "Router/");
    EXPECT_FALSE(QFileInfo::exists(dirs.Data()));  // made only when something is written
}

TEST(VersionRule, VersionsAreComparedAsTexts) {
    struct Case {
        bool exists;
        const char *installed, *remote;
        bool offer;
    };
    const Case cases[] = {
        {true, "1.0.0.10", "1.0.0.9", true},  // as texts "1.0.0.10" < "1.0.0.9"
        {true, "1.0.0.9", "1.0.0.10", false},
        {true, "1.0.0.3", "1.0.0.3", false},
        {true, "1.0.0.3", "", false},  // no reachable router list: the plug-in counts as current
        {true, "", "1.0.0.1", true},   // a plug-in without version information
        {true, "", "", false},
        {false, "", "", true},  // no plug-in at all
        {false, "", "1.0.0.1", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewerPlugInAvailable(c.exists, c.installed, c.remote), c.offer)
            << c.exists << " " << c.installed << " " << c.remote;
}

}  // namespace
