// Downloads into the "Router" folder from tools/plugin-server on 127.0.0.1 (run in a network
// namespace of its own): the .ll / .old steps and the remote version.

#include "PlugInServer.h"
#include "RouterList.h"
#include "TestDirs.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <gtest/gtest.h>

#include "NetnsGuard.h"

namespace {

class Download : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    PlugInServer server;
    QString Target() const { return dirs.Path("Router/Router.ini"); }
    void SetUp() override {
        ASSERT_GT(server.port, 0);
        QDir().mkpath(dirs.Path("Router"));
    }
};

TEST_F(Download, ANewFileTakesThePlaceOfTheOldOneWhichIsKept) {
    server.Put("Router.txt", "[ROUTER]\r\nCount=1\r\n");
    ASSERT_TRUE(DownloadFile(server.Url("Router.txt"), Target()));
    EXPECT_EQ(ReadBytes(Target()), "[ROUTER]\r\nCount=1\r\n");
    EXPECT_FALSE(QFileInfo::exists(Target() + ".ll"));
    EXPECT_FALSE(QFileInfo::exists(Target() + ".old"));

    WriteBytes(Target() + ".old", "older still");
    server.Put("Router.txt", "[ROUTER]\r\nCount=2\r\n");
    ASSERT_TRUE(DownloadFile(server.Url("router.TXT"), Target()));  // names without regard to case
    EXPECT_EQ(ReadBytes(Target()), "[ROUTER]\r\nCount=2\r\n");
    EXPECT_EQ(ReadBytes(Target() + ".old"), "[ROUTER]\r\nCount=1\r\n");
}

TEST_F(Download, AFailedDownloadLeavesThePreviousFile) {
    WriteBytes(Target(), "previous");
    server.Put("empty.txt", "");
    const QString refused = QStringLiteral("http://127.0.0.1:1/router/Router.txt");
    for (const QString& url : {server.Url("missing.txt"), server.Url("empty.txt"), refused, QString("not a url")}) {
        EXPECT_FALSE(DownloadFile(url, Target())) << url.toStdString();
        EXPECT_EQ(ReadBytes(Target()), "previous") << url.toStdString();
        EXPECT_FALSE(QFileInfo::exists(Target() + ".ll")) << url.toStdString();
        EXPECT_FALSE(QFileInfo::exists(Target() + ".old")) << url.toStdString();
    }
    std::atomic<bool> cancel{true};
    server.Put("Router.txt", "new");
    EXPECT_FALSE(DownloadFile(server.Url("Router.txt"), Target(), &cancel));
    EXPECT_EQ(ReadBytes(Target()), "previous");
}

TEST_F(Download, RemoteVersionReadsTheListAndLeavesNoTemporaryFile) {
    server.Put("Router.txt", "[ROUTER]\r\nCount=2\r\nVersion1=1.0.0.9\r\nVersion2=2.1.0.0\r\n");
    EXPECT_EQ(RemoteVersion(1, server.Url("Router.txt"), dirs.Path("Router/")), "1.0.0.9");
    EXPECT_EQ(RemoteVersion(2, server.Url("Router.txt"), dirs.Path("Router/")), "2.1.0.0");
    EXPECT_EQ(RemoteVersion(3, server.Url("Router.txt"), dirs.Path("Router/")), "");
    EXPECT_EQ(RemoteVersion(1, server.Url("missing.txt"), dirs.Path("Router/")), "");
    EXPECT_EQ(QDir(dirs.Path("Router")).entryList(QDir::Files), QStringList());
}

}  // namespace

