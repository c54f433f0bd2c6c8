#include "TestDirs.h"
#include "Tools.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {

TEST(Folders, ForceDirs) {
    ScopedTestDirs dirs;
    const QString nested = dirs.Path("a/b/c");
    EXPECT_TRUE(TTools::ForceDirs(nested));
    EXPECT_TRUE(QFileInfo(nested).isDir());
    EXPECT_TRUE(TTools::ForceDirs(nested + "/"));
    EXPECT_TRUE(TTools::ForceDirs(QString()));
    // A file in the way cannot become a folder.
    WriteBytes(dirs.Path("file"), "x");
    EXPECT_FALSE(TTools::ForceDirs(dirs.Path("file/sub")));
}

TEST(Folders, DeleteDirRemovesReadOnlyAndHiddenEntries) {
    ScopedTestDirs dirs;
    const QString top = dirs.Path("top");
    WriteBytes(top + "/ro.txt", "1");
    QFile::setPermissions(top + "/ro.txt", QFileDevice::ReadOwner);
    WriteBytes(top + "/.hidden", "1");
    WriteBytes(top + "/sub/deeper/f.txt", "1");
    QFile::setPermissions(top + "/sub/deeper", QFileDevice::ReadOwner | QFileDevice::ExeOwner);

    EXPECT_TRUE(TTools::DeleteDir(top, false));
    EXPECT_TRUE(QFileInfo(top).isDir());
    EXPECT_TRUE(QDir(top).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot));

    WriteBytes(top + "/again.txt", "1");
    EXPECT_TRUE(TTools::DeleteDir(top + "/", true));
    EXPECT_FALSE(QFileInfo::exists(top));
    EXPECT_TRUE(TTools::DeleteDir(QString(), true));
    EXPECT_TRUE(TTools::DeleteDir(dirs.Path("never-was"), true));
    // A file where the folder should be cannot be removed as a folder.
    WriteBytes(dirs.Path("plain"), "1");
    EXPECT_FALSE(TTools::DeleteDir(dirs.Path("plain"), true));
    EXPECT_TRUE(QFileInfo::exists(dirs.Path("plain")));
}

TEST(Folders, DeleteDirDoesNotFollowLinks) {
    ScopedTestDirs dirs;
    WriteBytes(dirs.Path("keep/precious.txt"), "1");
    QDir().mkpath(dirs.Path("gone"));
    QFile::link(dirs.Path("keep"), dirs.Path("gone/link"));
    TTools::DeleteDir(dirs.Path("gone"), true);
    EXPECT_FALSE(QFileInfo::exists(dirs.Path("gone")));
    EXPECT_TRUE(QFileInfo::exists(dirs.Path("keep/precious.txt")));
}

TEST(Folders, FindFilesMasksAndDuplicates) {
    ScopedTestDirs dirs;
    const QString d = dirs.Path("lang");
    for (const char* n : {"x.len", "x.lcn", "x.txt", "y.lkr"}) WriteBytes(d + "/" + n, "1");
    WriteBytes(d + "/sub/z.len", "1");

    QStringList list;
    TTools::FindFiles(list, d, true, nullptr, false, "*.l*");
    list.sort();
    EXPECT_EQ(list, QStringList({d + "/x.lcn", d + "/x.len", d + "/y.lkr"}));

    // Two masks, one file matched by both: listed once without duplicates, twice with.
    QStringList unique, twice;
    TTools::FindFiles(unique, d + "/", true, nullptr, false, "x.*;*.len");
    TTools::FindFiles(twice, d, false, nullptr, false, "x.*|*.len");
    EXPECT_EQ(unique.size(), 3);
    EXPECT_EQ(twice.size(), 4);

    QStringList deep;
    TTools::FindFiles(deep, d, true, [] { return true; }, true, "*.len");
    EXPECT_TRUE(deep.contains(d + "/sub/z.len"));
    QStringList stopped;
    TTools::FindFiles(stopped, d, true, [] { return false; }, true, "*.len");
    EXPECT_FALSE(stopped.contains(d + "/sub/z.len"));
    QStringList none;
    TTools::FindFiles(none, QString(), true, nullptr, true, "*");
    EXPECT_TRUE(none.isEmpty());
}

TEST(Folders, AppDataDirIsTheUserFolderOfTheProgram) {
    ScopedTestDirs dirs;
    const QString expected = dirs.Config() + "/" + TTools::ExeName() + "/";
    EXPECT_EQ(TTools::SpecialFolder(26, false), dirs.Config() + "/");
    EXPECT_EQ(TTools::AppDataDir(26, true), expected);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_TRUE(TTools::GetTempDir().endsWith('/'));
    EXPECT_TRUE(TTools::AppDir().endsWith('/'));
    EXPECT_EQ(TTools::SpecialFolder(12345, false), QString());
}

TEST(Text, SplitText) {
    struct Case {
        const char* text;
        const char* sep;
        QStringList pieces;
    };
    const Case cases[] = {
        {"192.168.1.126", ".", {"192", "168", "1", "126"}},
        {"a..b", ".", {"a", "", "b"}},
        {"whole", ".", {"whole"}},
        {"", ".", {""}},
        {"line1\r\nline2\r\n", "\r\n", {"line1", "line2", ""}},
        {"aXYbXY", "XY", {"a", "b", ""}},
        {"aXb", "x", {"aXb"}},
    };
    for (const Case& c : cases) {
        QStringList out{"kept"};
        TTools::SplitText(c.text, c.sep, out);
        EXPECT_EQ(out, QStringList{"kept"} + c.pieces) << c.text;
    }
}

}  // namespace
