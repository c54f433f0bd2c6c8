#include "IniFile.h"
#include "TestDirs.h"

#include <QTextCodec>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Bytes of a literal that holds zero bytes, without its terminating zero.
template <size_t N>
QByteArray Raw(const char (&s)[N]) {
    return QByteArray(s, N - 1);
}

struct BadInput {
    const char* name;
    QByteArray bytes;
    const char* section;
    const char* key;
    const char* expected;  // value read with default "def"
};

TEST(IniFileRead, RulesAndBadInput) {
    const QByteArray longValue(5000, 'x');
    const BadInput cases[] = {
        {"empty file", "", "A", "k", "def"},
        {"line without equals", "[A]\r\njusttext\r\nk=1\r\n", "A", "k", "1"},
        {"line without equals is no key", "[A]\r\njusttext\r\n", "A", "justtext", "def"},
        {"first key counts", "[A]\r\nk=first\r\nK=second\r\n", "A", "k", "first"},
        {"first section counts", "[A]\r\nx=1\r\n[B]\r\n[a]\r\nk=late\r\n", "A", "k", "def"},
        {"case-insensitive", "[Form_X]\r\nlblSSID.caption = SSID\r\n", "form_x", "LBLSSID.Caption", "SSID"},
        {"blanks and tabs trimmed", "[A]\r\n \tk \t=  a b \t\r\n", "A", "k", "a b"},
        {"LF line ends", "[A]\nk=v\n", "A", "k", "v"},
        {"no final line end", "[A]\r\nk=v", "A", "k", "v"},
        {"empty value is a value", "[A]\r\nk=\r\n", "A", "k", ""},
        {"key before any section", "k=v\r\n[A]\r\n", "A", "k", "def"},
        {"equals in value", "[A]\r\nk=a=b\r\n", "A", "k", "a=b"},
        {"zero bytes end lines", Raw("[A]\0k=v\0\xff\xfe"), "A", "k", "v"},
        {"binary garbage", Raw("\x01\x02[\xff]\x00=\x80\x81"), "A", "k", "def"},
        {"unclosed section", "[A\r\nk=v\r\n", "A", "k", "def"},
        {"blank key", "[A]\r\n =v\r\n", "A", "", "def"},
    };
    for (const BadInput& c : cases) {
        const IniFile ini = IniFile::FromBytes(c.bytes);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "def"), QString::fromUtf8(c.expected)) << c.name;
    }
    const IniFile ini = IniFile::FromBytes("[A]\r\nk=" + longValue + "\r\n");
    EXPECT_EQ(ini.ReadString("A", "k", "def").size(), IniFile::kMaxValueLength);
}

TEST(IniFileRead, MissingAndOversizedFiles) {
    ScopedTestDirs dirs;
    const IniFile missing(dirs.Path("none.ini"));
    EXPECT_FALSE(missing.Loaded());
    EXPECT_EQ(missing.ReadString("A", "k", "def"), "def");

    // A file beyond the size limit is read up to the limit, never refused or crashed on.
    QByteArray big = "[A]\r\nk=v\r\n";
    big += QByteArray(IniFile::kMaxFileSize, 'z');
    big += "\r\nlate=1\r\n";
    WriteBytes(dirs.Path("big.ini"), big);
    const IniFile ini(dirs.Path("big.ini"));
    EXPECT_EQ(ini.ReadString("A", "k", "def"), "v");
    EXPECT_EQ(ini.ReadString("A", "late", "def"), "def");
}

TEST(IniFileRead, BooleansAndIntegers) {
    const IniFile ini = IniFile::FromBytes("[D]\r\none=1\r\ntwo=2\r\nzero=0\r\nyes=yes\r\nneg=-3\r\n");
    EXPECT_TRUE(ini.ReadBool("D", "one", false));
    EXPECT_TRUE(ini.ReadBool("D", "two", false));
    EXPECT_FALSE(ini.ReadBool("D", "zero", true));
    EXPECT_FALSE(ini.ReadBool("D", "yes", false));
    EXPECT_TRUE(ini.ReadBool("D", "yes", true));
    EXPECT_TRUE(ini.ReadBool("D", "neg", false));
    EXPECT_EQ(ini.ReadInteger("D", "neg", 0), -3);
    EXPECT_EQ(ini.ReadInteger("D", "yes", 7), 7);
}

TEST(IniFileRead, DecodesWithTheFilesCodePage) {
    QTextCodec* gbk = QTextCodec::codecForName("GBK");
    const QString text = QString::fromUtf8("简体中文：");
    const IniFile ini = IniFile::FromBytes("[G]\r\nn=" + gbk->fromUnicode(text) + "\r\n", gbk);
    EXPECT_EQ(ini.ReadString("G", "n", ""), text);
    // A byte-order mark means UTF-8 whatever the caller said.
    const IniFile bom = IniFile::FromBytes("\xEF\xBB\xBF[G]\r\nn=" + text.toUtf8() + "\r\n", gbk);
    EXPECT_EQ(bom.ReadString("G", "n", ""), text);
}

TEST(IniFileWrite, KeepsOtherLinesAndUpdatesFirstOccurrence) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("o.ini");
    WriteBytes(path, "; comment\r\n[Global]\r\nlan=pl\r\nLAN=kr\r\n\r\n[Other]\r\nx=1\r\n");
    IniFile ini(path);
    ASSERT_TRUE(ini.WriteString("global", "Lan", "en"));
    ASSERT_TRUE(ini.WriteString("Other", "y", "2"));
    ASSERT_TRUE(ini.WriteBool("DevFind", "advmode", true));
    EXPECT_EQ(ReadBytes(path),
              "; comment\r\n[Global]\r\nLan=en\r\nLAN=kr\r\n\r\n[Other]\r\nx=1\r\ny=2\r\n\r\n[DevFind]\r\nadvmode=1\r\n");
    const IniFile again(path);
    EXPECT_EQ(again.ReadString("Global", "lan", ""), "en");
    EXPECT_TRUE(again.ReadBool("DevFind", "advmode", false));
    // A value cannot smuggle in a line of its own.
    IniFile(path).WriteString("Global", "lan", "x\r\n[Evil]\r\nk=1");
    EXPECT_FALSE(IniFile(path).HasKey("Evil", "k"));
}

// Found by fuzzing: the writer kept a value with the blank that a line break at one end had
// become, while the file gave it back without; and a zero character ended the line in the
// file, so the rest of the value became a line of its own.
TEST(IniFileWrite, WhatIsWrittenIsWhatTheFileGivesBack) {
    const struct {
        const char* why;
        QString value;
        const char* stored;
    } cases[] = {
        {"line break at the start", QStringLiteral("\r2k=v3"), "2k=v3"},
        {"line breaks at the end", QStringLiteral("v\r\n"), "v"},
        {"blanks and breaks mixed", QStringLiteral(" \n\t x y \r "), "x y"},
        {"zero character inside", QString::fromUtf8("a\0Evil=1", 8), "a Evil=1"},
        {"zero characters around", QString::fromUtf8("\0v\0", 3), "v"},
    };
    for (const auto& c : cases) {
        ScopedTestDirs dirs;
        const QString path = dirs.Path("o.ini");
        WriteBytes(path, "[A]\r\nk=old\r\nnext=1\r\n");
        IniFile ini(path);
        ASSERT_TRUE(ini.WriteString("A", "k", c.value)) << c.why;
        EXPECT_EQ(ini.ReadString("A", "k", "def"), c.stored) << c.why;
        const IniFile again(path);
        EXPECT_EQ(again.ReadString("A", "k", "def"), c.stored) << c.why;
        EXPECT_EQ(again.Keys("A"), (QStringList{"k", "next"})) << c.why;
        EXPECT_EQ(again.ReadString("A", "next", "def"), "1") << c.why;
    }
}

// A key line that begins with "[" turns into a section header once its value holds "]", and
// the keys after it would move into that section: such names are refused, the file kept.
TEST(IniFileWrite, NamesThatWouldNotReadBackAreRefused) {
    const struct {
        const char* section;
        QString key;
    } refused[] = {
        {"A", QStringLiteral("[k")},  {"A", QStringLiteral(" [k")}, {"A", QStringLiteral("a=b")},
        {"A", QStringLiteral("k\nx")}, {"A", QString::fromUtf8("k\0x", 3)}, {"A]B", QStringLiteral("k")},
        {"A\nB", QStringLiteral("k")},
    };
    const QByteArray before = "[A]\r\n[k=1\r\nnext=2\r\n";
    for (const auto& r : refused) {
        ScopedTestDirs dirs;
        const QString path = dirs.Path("o.ini");
        WriteBytes(path, before);
        IniFile ini(path);
        EXPECT_FALSE(ini.WriteString(r.section, r.key, "a]b")) << r.section << " " << r.key.toStdString();
        EXPECT_EQ(ReadBytes(path), before) << r.section << " " << r.key.toStdString();
        EXPECT_EQ(ini.ReadString("A", "[k", "def"), "1");
    }
}

TEST(IniFileWrite, FailureKeepsTheOldFile) {
    ScopedTestDirs dirs;
    // A folder where the file should be: the rename fails, nothing else changes.
    QDir().mkpath(dirs.Path("blocked.ini"));
    IniFile blocked(dirs.Path("blocked.ini"));
    EXPECT_FALSE(blocked.WriteString("A", "k", "v"));
    EXPECT_EQ(blocked.ReadString("A", "k", "def"), "def");
    EXPECT_TRUE(QDir(dirs.root.path()).entryList({"blocked.ini.tmp*"}, QDir::Files).isEmpty());
    // No folder at all.
    IniFile nowhere(dirs.Path("missing/dir/o.ini"));
    EXPECT_FALSE(nowhere.WriteString("A", "k", "v"));
}

// A writer killed at any moment leaves either the old or the new file, never a torn one.
TEST(IniFileWrite, KilledWriterNeverLeavesATornFile) {
    ScopedTestDirs dirs;
    const QString path = dirs.Path("o.ini");
    const QString oldValue(1500, QLatin1Char('o'));
    const QString newValue(1500, QLatin1Char('n'));
    for (int round = 0; round < 30; ++round) {
        WriteBytes(path, "[A]\r\nk=" + oldValue.toLatin1() + "\r\nend=1\r\n");
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            IniFile ini(path);
            for (int i = 0; i < 1000; ++i)
                ini.WriteString("A", "k", i % 2 ? oldValue : newValue);
            ::_exit(0);
        }
        ::usleep(200 + 150 * round);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const IniFile ini(path);
        const QString v = ini.ReadString("A", "k", "");
        EXPECT_TRUE(v == oldValue || v == newValue) << "round " << round << " length " << v.size();
        EXPECT_EQ(ini.ReadString("A", "end", ""), "1") << "round " << round;
    }
}

}  // namespace
