#include "IniFile.h"
#include "LangRes.h"
#include "TestDirs.h"
#include "Tools.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent>
#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

TEST(LangEscapes, FiveReplacementsInOrder) {
    struct Case {
        const char* raw;
        const char* expected;
    };
    const Case cases[] = {
        {"a$bb", "a b"},
        {"x$cy", "x=y"},
        {"one$ntwo", "one\r\ntwo"},
        {"cost $$5", "cost $5"},
        {"a$tb", "a\tb"},
        {"$$n", "$\r\n"},  // "$n" is replaced before "$$"
        {"$$t", "\t"},     // "$$" becomes "$" first, and "$t" is then a tab
        {"#13#13", "#13#13"},
        {"$x$", "$x$"},
        {"$b$b", "  "},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UnescapeLangValue(c.raw), QString::fromLatin1(c.expected)) << c.raw;
    // The default passes through the escapes too.
    EXPECT_EQ(ReadLangValue(IniFile::FromBytes(""), "S", "k", "a$bb"), "a b");
}

TEST(LangFileCode, CodeComesFromTheExtensionOnly) {
    EXPECT_EQ(LangCodeOfFile("/tmp/Setup.exe/Setup.lkr"), "kr");
    EXPECT_EQ(LangCodeOfFile("/home/u/.local/tmp/x/prog.len"), "en");  // ".l" in a folder name
    EXPECT_EQ(LangCodeOfFile("/tmp/prog.txt"), "");
    EXPECT_EQ(LangCodeOfFile("noext"), "");
}

class LangStore : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    void TearDown() override { SetCurLang("en"); }
};

// The temporary folder is shared by all users: the language folder must be ours alone.
TEST_F(LangStore, TheFolderIsOnlyEverThisUsersOwn) {
    const QString usual = dirs.Tmp() + "/" + TTools::ExeName();
    const QString own = usual + "-" + QString::number(::getuid());
    const QString planted = "[StrRes]\r\nIDS_ERROR=planted\r\n";
    struct Case {
        const char* what;
        std::function<bool()> prepare;  // false: cannot be set up here, skip
        QString expectedDir;
        bool usualUntouched;  // what was at the usual name stays exactly as it was
    };
    const Case cases[] = {
        {"fresh", [] { return true; }, usual, false},
        {"our own, open to everybody, with a planted file",
         [&] {
             WriteBytes(usual + "/" + TTools::ExeName() + ".len", planted.toLatin1());
             WriteBytes(usual + "/stray.txt", "x");
             return QFile::setPermissions(usual, QFileDevice::Permissions(0x7777));
         },
         usual, false},
        {"another user's",
         [&] {
             WriteBytes(usual + "/" + TTools::ExeName() + ".len", planted.toLatin1());
             return ::getuid() == 0 && ::chown(QFile::encodeName(usual).constData(), 65534, 65534) == 0;
         },
         own, true},
        {"a link to a folder elsewhere",
         [&] {
             WriteBytes(dirs.Path("elsewhere/keep.txt"), "keep");
             return QFile::link(dirs.Path("elsewhere"), usual);
         },
         own, true},
        {"a file", [&] { WriteBytes(usual, "not a folder"); return true; }, own, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TTools::DeleteDir(dirs.Tmp(), false);
        QFile::remove(usual);
        if (!c.prepare()) {
            std::printf("skipped: %s (needs root)\n", c.what);
            continue;
        }
        const QByteArray usualFile = ReadBytes(usual + "/" + TTools::ExeName() + ".len");
        {
            TfrmStrRes res;
            EXPECT_EQ(LangDir(), c.expectedDir + "/");
            struct stat st {};
            ASSERT_EQ(::lstat(QFile::encodeName(c.expectedDir).constData(), &st), 0);
            EXPECT_TRUE(S_ISDIR(st.st_mode));
            EXPECT_EQ(st.st_uid, ::getuid());
            EXPECT_EQ(st.st_mode & 0777, 0700u);
            SetLanguage("en");
            EXPECT_EQ(GetResString("IDS_ERROR"), "Error");
            EXPECT_FALSE(QFileInfo::exists(c.expectedDir + "/stray.txt"));
        }
        if (c.usualUntouched) {
            EXPECT_EQ(ReadBytes(usual + "/" + TTools::ExeName() + ".len"), usualFile);
            EXPECT_TRUE(QFileInfo::exists(usual) || QFileInfo(usual).isSymLink());
            // A link is never followed: nothing is written through it, nothing deleted.
            if (QFileInfo(usual).isSymLink()) {
                EXPECT_EQ(ReadBytes(dirs.Path("elsewhere/keep.txt")), "keep");
                EXPECT_EQ(QDir(dirs.Path("elsewhere")).entryList(QDir::Files), QStringList{"keep.txt"});
            }
        }
    }
}

TEST_F(LangStore, WritesFiveFilesAndRemovesTheFolder) {
    QString dir;
    {
        TfrmStrRes res;
        dir = LangDir();
        EXPECT_EQ(dir, dirs.Tmp() + "/" + TTools::ExeName() + "/");
        for (const char* code : {"b5", "cn", "en", "pl", "kr"}) {
            const QString path = dir + TTools::ExeName() + ".l" + code;
            EXPECT_GT(QFileInfo(path).size(), 0) << path.toStdString();
        }
        EXPECT_EQ(LangFilePathFor("kr"), dir + TTools::ExeName() + ".lkr");
    }
    EXPECT_FALSE(QFileInfo::exists(dir));
    {
        TfrmStrRes kept;
        kept.KeepFiles();
    }
    EXPECT_TRUE(QFileInfo::exists(dir + TTools::ExeName() + ".len"));
    TTools::DeleteDir(dir, true);
}

TEST_F(LangStore, CarriedFilesDecodeWithTheirCodePages) {
    TfrmStrRes res;
    struct Case {
        const char* code;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        {"en", "Name_en", "English"},
        {"cn", "Name_cn", "简体中文"},
        {"b5", "Name_b5", "繁體中文"},
        {"kr", "Name_kr", "한국어"},
        {"pl", "Name_pl", "Polski"},
    };
    for (const Case& c : cases) {
        SetLanguage(c.code);
        ASSERT_EQ(CurLang(), c.code);
        EXPECT_EQ(GetLangString("Global", c.key), QString::fromUtf8(c.expected)) << c.code;
    }
    // Every name of the language list is readable: no question marks from a missing glyph.
    for (const char* file : {"b5", "cn", "en", "pl", "kr"})
        for (const char* name : {"Name_en", "Name_cn", "Name_b5", "Name_pl", "Name_kr"}) {
            const QString v = OpenLangFile(LangFilePathFor(file)).ReadString("Global", name, "");
            EXPECT_FALSE(v.isEmpty() || v.contains('?')) << file << " " << name;
        }
}

TEST_F(LangStore, ResStringsCacheAndSwitch) {
    TfrmStrRes res;
    SetLanguage("en");
    EXPECT_EQ(GetResString("IDS_ERROR"), "Error");
    EXPECT_EQ(GetResString("ids_error"), "Error");
    EXPECT_EQ(GetResString("IDS_CHECKING2"), "");
    EXPECT_EQ(GetResString(""), "");
    EXPECT_EQ(GetLangString("", "Caption"), "");
    EXPECT_EQ(GetLangString("Form_frmMain", ""), "");

    SetLanguage("pl");
    EXPECT_EQ(CurLang(), "pl");
    EXPECT_NE(GetResString("IDS_ERROR"), "Error") << "the cache must be emptied by a switch";
    SetLanguage("jp");
    EXPECT_EQ(CurLang(), "en");
    EXPECT_EQ(GetResString("IDS_ERROR"), "Error");
}

TEST_F(LangStore, MissingFileGivesEmptyTexts) {
    TfrmStrRes res;
    SetCurLang("xx");  // start-up takes a lan value as it is
    EXPECT_EQ(GetResString("IDS_ERROR"), "");
    EXPECT_EQ(GetLangString("Form_frmMain", "Caption"), "");
}

// Worker threads read messages while the user switches languages: every answer is the text of
// one of the two languages, and once the switching stops, the cache holds the last one only.
TEST_F(LangStore, SwitchingWhileWorkersReadNeverMixesLanguages) {
    TfrmStrRes res;
    SetLanguage("pl");
    const QString pl = GetResString("IDS_ERROR");
    SetLanguage("en");
    const QString en = GetResString("IDS_ERROR");
    ASSERT_NE(pl, en);

    std::atomic<bool> stop{false};
    std::atomic<int> bad{0}, reads{0};
    auto worker = [&] {
        while (!stop) {
            const QString t = GetResString("IDS_ERROR");
            if (t != pl && t != en) ++bad;
            ++reads;
        }
    };
    QList<QFuture<void>> workers;
    for (int i = 0; i < 3; ++i) workers << QtConcurrent::run(worker);
    // The switches must overlap the reads: wait for the workers, and go on switching until
    // they have read a good many texts meanwhile.
    while (reads < 3) std::this_thread::yield();
    const int before = reads;
    for (int i = 0; i < 200 || reads < before + 300; ++i) SetLanguage(i % 2 ? "en" : "pl");
    SetLanguage("pl");
    stop = true;
    for (auto& w : workers) w.waitForFinished();
    EXPECT_EQ(bad, 0);
    EXPECT_GT(reads, 0);
    EXPECT_EQ(GetResString("IDS_ERROR"), pl);
}

}  // namespace
