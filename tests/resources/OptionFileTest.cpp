#include "OptionFile.h"
#include "TestDirs.h"
#include "Tools.h"

#include <gtest/gtest.h>

namespace {

QString g_reported;
void Record(const QString& path) { g_reported = path; }

TEST(OptionFile, UserFileWinsOverProgramFolderWhichWinsOverDefault) {
    ScopedTestDirs dirs;
    const QString program = dirs.Path("program/"), user = dirs.Path("user/");
    QDir().mkpath(user);
    WriteBytes(program + "option.ini", "[Global]\r\nlan=pl\r\n[DevFind]\r\nadvmode=2\r\n");
    {
        const TOptionFile opt("option.ini", program, user);
        EXPECT_EQ(opt.ReadString("Global", "lan", ""), "pl");
        EXPECT_TRUE(opt.ReadBool("DevFind", "advmode", false));
        EXPECT_EQ(opt.ReadString("Global", "missing", "def"), "def");
    }
    ASSERT_TRUE(TOptionFile("option.ini", program, user).WriteString("Global", "lan", "en"));
    EXPECT_EQ(TOptionFile("option.ini", program, user).ReadString("Global", "lan", ""), "en");
    // Nothing lands in the program folder.
    EXPECT_EQ(ReadBytes(program + "option.ini"), "[Global]\r\nlan=pl\r\n[DevFind]\r\nadvmode=2\r\n");

    WriteBytes(user + "option.ini", "[DevFind]\r\nadvmode=yes\r\n");
    EXPECT_TRUE(TOptionFile("option.ini", program, user).ReadBool("DevFind", "advmode", false))
        << "a non-integer user value falls back to the program folder's value";
}

TEST(OptionFile, UnwritableUserFileIsReportedByName) {
    ScopedTestDirs dirs;
    const QString user = dirs.Path("user/");
    QDir().mkpath(user + "option.ini");  // a folder where the file should be
    TOptionFile::SetWriteErrorReporter(&Record);
    g_reported.clear();
    TOptionFile opt("option.ini", dirs.Path("program/"), user);
    EXPECT_FALSE(opt.WriteBool("DevFind", "advmode", true));
    EXPECT_EQ(g_reported, user + "option.ini");
    EXPECT_FALSE(opt.ReadBool("DevFind", "advmode", false));
    TOptionFile::SetWriteErrorReporter(nullptr);
}

TEST(OptionFile, DefaultUserFolderIsPerUser) {
    ScopedTestDirs dirs;
    EXPECT_EQ(TOptionFile().UserFilePath(), dirs.Config() + "/" + TTools::ExeName() + "/option.ini");
}

TEST(Config, LinksAndMissingFile) {
    ScopedTestDirs dirs;
    const TConfig none = TConfig::Read(dirs.Path("Config.ini"));
    EXPECT_FALSE(none.Exists);
    EXPECT_TRUE(none.OnlineCD.isEmpty());
    EXPECT_TRUE(none.About.isEmpty());
    // The file may be named in lower case.
    WriteBytes(dirs.Path("config.ini"),
               "[link]\r\nOnlineCD = http://cd.example/help/b_cn.htm \r\nabout=http://about.example/\r\n"
               "[Setup]\r\nRouterUrl=http://r.example/list.xml\r\n");
    const TConfig c = TConfig::Read(dirs.Path("Config.ini"));
    EXPECT_TRUE(c.Exists);
    EXPECT_EQ(c.OnlineCD, "http://cd.example/help/b_cn.htm");
    EXPECT_EQ(c.About, "http://about.example/");
    EXPECT_EQ(c.RouterUrl, "http://r.example/list.xml");
    EXPECT_TRUE(c.DownDllURL.isEmpty());
    EXPECT_EQ(c.DdnsDomain, "ipcam-wizard.example") << "built in when the file names none";
}

// The dynamic-DNS domain for cameras whose DDNS server names none: a name, whatever the file
// puts around it.
TEST(Config, DdnsDomain) {
    ScopedTestDirs dirs;
    EXPECT_EQ(TConfig::Read(dirs.Path("Config.ini")).DdnsDomain, "ipcam-wizard.example");
    const struct {
        const char* value;
        const char* domain;
    } cases[] = {
        {"dyn.example.org", "dyn.example.org"},
        {"  .dyn.example.org ", "dyn.example.org"},
        {"", "ipcam-wizard.example"},
        {"...", "ipcam-wizard.example"},
    };
    for (const auto& c : cases) {
        WriteBytes(dirs.Path("Config.ini"), QByteArray("[Setup]\r\nDdnsDomain=") + c.value + "\r\n");
        EXPECT_EQ(TConfig::Read(dirs.Path("Config.ini")).DdnsDomain, c.domain) << c.value;
    }
}

}  // namespace
