// The port-mapping dialog end to end, offscreen, with the test plug-in behind the helper
// process and tools/plugin-server as the download server on 127.0.0.1.

#include "LangForms.h"
#include "LangRes.h"
#include "PlugInFixture.h"
#include "PlugInServer.h"
#include "PortForward.h"
#include "RouterXml.h"
#include "TestDirs.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// English texts of the language file, as the user reads them.
const QString kProgramError = QString::fromUtf8(
    "Operation program error!#13#13This software may not support your router's automated configuration, you can see "
    "whether there is a new version, otherwise you need to log into the router to be add manually.");
const QString kGetRouterError = QString::fromUtf8(
    "Current access router configuration error！#13#13this software may not support your router's automated "
    "configuration, you can see whether there is a new version, otherwise you need to login the router to add  manually.");
const QString kSetOk = QString::fromUtf8("The port mapping is set up successfully！");
const QString kSetFailed = QString::fromUtf8(
    "The port mapping is set up failure！#13#13This software may not support your router's automated configuration, "
    "you can see whether there is a new version, otherwise you need to log into the router to be added manually.");
const QString kPortUsing = "The port you specified is already occupied, Are you sure you want to delete?";
const QString kSelectRouter = QString::fromUtf8("Please choose the router you are using！");

struct Box {
    QString text, title;
    int flags;
};

class PortForwardDialog : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res = std::make_unique<TfrmStrRes>();
    TestPlugIn plugin;
    TPortMapSetup setup;
    QList<Box> boxes;
    QList<int> answers;  // answers of Yes/No boxes in turn; No when none is left

    void SetUp() override {
        SetLanguage("en");
        SetMessageBoxHook([this](const QString& text, const QString& title, int flags) {
            boxes.append({text, title, flags});
            if ((flags & 0x0F) != MB::YESNO)
                return MB::IDOK;
            return answers.isEmpty() ? MB::IDNO : answers.takeFirst();
        });
        // The carried folder beside the program and the user's, which the dialog creates itself.
        setup.RouterDir = dirs.Path("app/Router/");
        setup.UserRouterDir = dirs.Path("data/ipcam-wizard/Router/");
        setup.ConfigPath = dirs.Path("app/Config.ini");
        setup.PlugInHost = QStringLiteral(IPCAM_PLUGIN_HOST);
        QDir().mkpath(setup.RouterDir);
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }

    void InstallRouterIni(const QByteArray& extra = QByteArray()) const {
        WriteBytes(setup.RouterDir + "Router.ini",
                   "[Router]\r\nCount=2\r\nRenName1=Test router\r\nRcnName1=\xE6\xB5\x8B\xE8\xAF\x95\xE8\xB7\xAF\xE7\x94\xB1\r\n"
                   "rpath1=test.so\r\nVersion1=1.0.0.10\r\nRenName2=Other router\r\nrpath2=other.so\r\n" + extra);
    }
    void InstallPlugIn(const char* variant = "router-plugin-test") const {
        QFile::remove(setup.RouterDir + "test.so");
        ASSERT_TRUE(QFile::copy(TestPlugIn::Library(variant), setup.RouterDir + "test.so"));
    }
    // A dialog for camera 192.168.1.20 port 81 behind router 192.168.1.1, with its plug-in.
    std::unique_ptr<TfrmPortForward> Ready() {
        InstallRouterIni();
        InstallPlugIn();
        auto dlg = std::make_unique<TfrmPortForward>(nullptr, setup);
        dlg->RouterIP = "192.168.1.1";
        EXPECT_TRUE(dlg->AddMapping("192.168.1.20", "81", "TCP"));
        return dlg;
    }
    QStringList Texts() const {
        QStringList t;
        for (const Box& b : boxes) t << b.text;
        return t;
    }
};

TEST_F(PortForwardDialog, EnglishAndChineseTexts) {
    InstallRouterIni();
    {
        TfrmPortForward dlg(nullptr, setup);
        EXPECT_EQ(dlg.windowTitle(), "Port Mapping of Router");
        EXPECT_EQ(dlg.Label1->text(), QString::fromUtf8("Router brand："));
        EXPECT_EQ(dlg.BitBtn3->text(), "&New Version");
        EXPECT_EQ(dlg.Label2->text(), "User Name:");
        EXPECT_EQ(dlg.Label3->text(), "Password:");
        EXPECT_EQ(dlg.BitBtn1->text(), "&OK");
        EXPECT_EQ(dlg.BitBtn2->text(), "&Cancel");
        EXPECT_EQ(dlg.edtUser->text(), "admin");
        EXPECT_EQ(dlg.edtPassword->text(), "");
        EXPECT_EQ(dlg.edtPassword->echoMode(), QLineEdit::Password);
        ASSERT_EQ(dlg.cmbRouter->count(), 2);
        EXPECT_EQ(dlg.cmbRouter->currentIndex(), 0);
        EXPECT_EQ(dlg.cmbRouter->itemText(0), "Test router");
        EXPECT_EQ(dlg.SelectedRouter()->PlugInFile, "test.so");
        EXPECT_GE(dlg.width(), 365);
        EXPECT_GE(dlg.height(), 256);
    }
    SetLanguage("cn");
    TfrmPortForward dlg(nullptr, setup);
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("路由器端口映射"));
    EXPECT_EQ(dlg.BitBtn1->text(), QString::fromUtf8("确定(&O)"));
    // Only the model with a Chinese name is offered.
    ASSERT_EQ(dlg.cmbRouter->count(), 1);
    EXPECT_EQ(dlg.cmbRouter->itemText(0), QString::fromUtf8("测试路由"));
}

TEST_F(PortForwardDialog, RefusesToStartWithoutRouterUserPlugInOrMapping) {
    InstallRouterIni();
    {
        TfrmPortForward dlg(nullptr, setup);
        dlg.AddMapping("192.168.1.20", "81", "TCP");
        dlg.cmbRouter->setCurrentIndex(-1);
        dlg.BitBtn1Click();
        dlg.cmbRouter->setCurrentIndex(0);
        dlg.edtUser->setText("   ");
        dlg.BitBtn1Click();
        dlg.edtUser->setText("admin");
        dlg.BitBtn1Click();  // test.so is not installed yet
    }
    InstallPlugIn();
    TfrmPortForward dlg(nullptr, setup);
    dlg.BitBtn1Click();  // nothing to map
    EXPECT_EQ(Texts(), QStringList({kSelectRouter, "Please enter router login name!",
                                    "Configuration revelant procedures have not been found, please download!",
                                    QString::fromUtf8("Please specify the port mapping！")}));
    for (const Box& b : boxes) {
        EXPECT_EQ(b.title, "Error");
        EXPECT_EQ(b.flags, 16);
    }
    EXPECT_EQ(plugin.Calls(), 0);
}

TEST_F(PortForwardDialog, SetsTheMappingAndClosesWithOk) {
    plugin.Write("table.xml", RouterXml({{"ftp", "192.168.1.5", "21", "21", "TCP"}}));
    plugin.Control("user=admin\npassword=pw\nrouter=192.168.1.1\n");
    auto dlg = Ready();
    dlg->edtPassword->setText(" pw ");
    dlg->BitBtn1Click();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, kSetOk);
    EXPECT_EQ(boxes[0].title, "Information");
    EXPECT_EQ(boxes[0].flags, 64);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(plugin.Read("calls.log"), "GetPortForward router=192.168.1.1 user=admin password=pw\n"
                                        "SetPortForward router=192.168.1.1 user=admin password=pw\n");
    // The simulated router holds its old entry and the new one.
    TPortMapping router;
    ASSERT_TRUE(router.ParseRouterXml(plugin.Read("table.xml")));
    ASSERT_EQ(router.dsRouter.ShownCount(), 2);
    EXPECT_EQ(router.dsRouter.Shown()[0]->name, "ftp");
    EXPECT_EQ(router.dsRouter.Shown()[1]->name, "192.168.1.20:81");
    EXPECT_EQ(router.dsRouter.Shown()[1]->IP, "192.168.1.20");
    EXPECT_EQ(router.dsRouter.Shown()[1]->PPort, 81);
}

TEST_F(PortForwardDialog, EveryCodeOfThePlugInHasItsMessage) {
    struct Case {
        int code;
        QString text;
    };
    const QList<Case> cases = {
        {1, "Router login username or password is wrong!"},
        {2, "You choose the wrong router!"},
        {3, "Read port mapping information error!#13#13This software may not support your router's automated "
            "configuration, you can see whether there is a new version, otherwise you need to log into the router to be add manually."},
        {4, "Get data format error!#13#13This software may not support your router's automated configuration, you can "
            "see whether there is a new version, otherwise you need to log into the router to be add manually."},
        {5, kGetRouterError},
        {6, kProgramError},
        {7, "Parameter format error!#13#13This software may not support your router's automated configuration, you can "
            "see whether there is a new version, otherwise you need to log into the router to be add manually."},
        {8, kGetRouterError},
        {255, kGetRouterError},
    };
    auto dlg = Ready();
    for (const char* entry : {"get", "set"}) {
        for (const Case& c : cases) {
            boxes.clear();
            plugin.Control(QByteArray(entry) + "=code:" + QByteArray::number(c.code) + "\n");
            dlg->BitBtn1Click();
            ASSERT_EQ(boxes.size(), 1) << entry << c.code;
            EXPECT_EQ(boxes[0].text, c.text) << entry << c.code;
            EXPECT_EQ(boxes[0].title, "Error");
            EXPECT_EQ(boxes[0].flags, 16);
            EXPECT_NE(dlg->result(), QDialog::Accepted);
        }
    }
}

TEST_F(PortForwardDialog, BrokenRepliesAndBrokenPlugIns) {
    struct Case {
        const char* control;
        QString text;
    };
    const QList<Case> cases = {
        {"get=empty", kGetRouterError},  {"get=garbage", kGetRouterError}, {"get=crash", kProgramError},
        {"get=overflow", kProgramError}, {"get=noterm", kProgramError},    {"get=null", kProgramError},
        {"set=crash", kProgramError},    {"set=empty", kSetFailed},        {"get=hang", kProgramError},
    };
    auto dlg = Ready();
    dlg->PlugInTimeoutMs = 1000;
    for (const Case& c : cases) {
        boxes.clear();
        plugin.Control(QByteArray(c.control) + "\n");
        dlg->BitBtn1Click();
        EXPECT_EQ(Texts(), QStringList{c.text}) << c.control;
    }
    // After all that, a working plug-in still does the job from the same dialog.
    boxes.clear();
    plugin.Control("");
    dlg->BitBtn1Click();
    EXPECT_EQ(Texts(), QStringList{kSetOk});
}

TEST_F(PortForwardDialog, APortTakenByAnotherAddressIsReplacedOnlyWhenTheUserSaysYes) {
    const QByteArray old = RouterXml({{"old", "192.168.1.30", "81", "80", "TCP"}});
    plugin.Write("table.xml", old);
    auto dlg = Ready();
    dlg->BitBtn1Click();  // answered No
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, kPortUsing);
    EXPECT_EQ(boxes[0].title, "Error");
    EXPECT_EQ(boxes[0].flags, 36);
    EXPECT_EQ(plugin.Calls(), 1);
    EXPECT_EQ(plugin.Read("table.xml"), old);

    boxes.clear();
    answers = {MB::IDYES};
    dlg->BitBtn1Click();
    EXPECT_EQ(Texts(), QStringList({kPortUsing, kSetOk}));
    TPortMapping router;
    ASSERT_TRUE(router.ParseRouterXml(plugin.Read("table.xml")));
    ASSERT_EQ(router.dsRouter.ShownCount(), 1);
    EXPECT_EQ(router.dsRouter.Shown()[0]->IP, "192.168.1.20");
}

TEST_F(PortForwardDialog, TheAnswerOfTheRouterDecides) {
    struct Case {
        const char* reply;
        QString text;
        bool accepted;
    };
    const QList<Case> cases = {
        {"extra_end", kSetOk, true},
        {"extra_begin", kSetFailed, false},
        {"unchanged", kSetFailed, false},
    };
    for (const Case& c : cases) {
        boxes.clear();
        plugin.Write("table.xml", RouterXml({{"ftp", "192.168.1.5", "21", "21", "TCP"}}));
        plugin.Control(QByteArray("set_reply=") + c.reply + "\n");
        auto dlg = Ready();
        dlg->BitBtn1Click();
        EXPECT_EQ(Texts(), QStringList{c.text}) << c.reply;
        EXPECT_EQ(dlg->result() == QDialog::Accepted, c.accepted) << c.reply;
    }
}

TEST_F(PortForwardDialog, AMappingTheRouterHasAlreadyIsSentBackUnchanged) {
    const QByteArray table = RouterXml({{"cam", "192.168.1.20", "81", "81", "TCP+UDP"}});
    plugin.Write("table.xml", table);
    auto dlg = Ready();
    dlg->BitBtn1Click();
    EXPECT_EQ(Texts(), QStringList{kSetOk});
    TPortMapping sent;
    ASSERT_TRUE(sent.ParseRouterXml(plugin.Read("last_set.xml")));
    ASSERT_EQ(sent.dsRouter.ShownCount(), 1);
    EXPECT_EQ(sent.dsRouter.Shown()[0]->Protocol, "TCP+UDP");
    EXPECT_EQ(sent.dsRouter.Shown()[0]->name, "cam");
}

TEST_F(PortForwardDialog, CancelEndsAHangingPlugInAndClosesTheDialog) {
    plugin.Control("get=hang\n");
    auto dlg = Ready();
    dlg->show();
    bool controlsWhileBusy[3] = {true, true, false};
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (plugin.Calls() < 1)
            return;
        poll.stop();
        controlsWhileBusy[0] = dlg->BitBtn1->isEnabled();
        controlsWhileBusy[1] = dlg->cmbRouter->isEnabled();
        controlsWhileBusy[2] = dlg->BitBtn2->isEnabled();
        dlg->BitBtn2->click();
    });
    QObject::connect(dlg.get(), &TfrmPortForward::busyStarted, [&] { poll.start(10); });
    dlg->BitBtn1Click();
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(dlg->result(), QDialog::Rejected);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(controlsWhileBusy[0]);
    EXPECT_FALSE(controlsWhileBusy[1]);
    EXPECT_TRUE(controlsWhileBusy[2]);
    EXPECT_TRUE(dlg->BitBtn1->isEnabled());
}

// Every language's texts fit their controls: the layout grows the dialog instead of clipping.
// With IPCAM_RENDER_DIR set, each language's dialog is also saved there as a picture.
TEST_F(PortForwardDialog, NoTextIsClippedInAnyLanguage) {
    InstallRouterIni("RplName1=Router testowy z bardzo długą nazwą modelu\r\n");
    const QString renderDir = qEnvironmentVariable("IPCAM_RENDER_DIR");
    for (const char* lang : {"en", "cn", "b5", "pl", "kr"}) {
        SetLanguage(lang);
        TfrmPortForward dlg(nullptr, setup);
        dlg.show();
        QCoreApplication::processEvents();
        for (QWidget* w : std::initializer_list<QWidget*>{dlg.Label1, dlg.Label2, dlg.Label3, dlg.BitBtn1, dlg.BitBtn2,
                                                          dlg.BitBtn3}) {
            EXPECT_GE(w->width(), w->sizeHint().width()) << lang << " " << w->objectName().toStdString();
            EXPECT_TRUE(dlg.rect().contains(w->geometry())) << lang << " " << w->objectName().toStdString();
        }
        if (!renderDir.isEmpty())
            dlg.grab().save(renderDir + QStringLiteral("/portforward-%1.png").arg(lang));
    }
}

// Downloads from the server: the router list when missing, and a newer plug-in.
class PortForwardDownload : public PortForwardDialog {
protected:
    PlugInServer server;
    void SetUp() override {
        PortForwardDialog::SetUp();
        ASSERT_GT(server.port, 0);
        WriteBytes(setup.ConfigPath, ("[Setup]\r\nRouterUrl=" + server.Url("Router.txt") + "\r\nDownDllURL=" +
                                      server.Base() + "\r\n").toUtf8());
    }
    static QByteArray FileBytes(const QString& path) { return ReadBytes(path); }
    // Every file of a folder with its bytes: what a download must not have touched.
    static QMap<QString, QByteArray> Snapshot(const QString& dir) {
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(dir).entryList(QDir::Files | QDir::Hidden))
            files.insert(name, ReadBytes(dir + name));
        return files;
    }
    static QStringList Names(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(PortForwardDownload, AMissingRouterListIsDownloadedWhenTheDialogShows) {
    server.Put("Router.txt", "[ROUTER]\r\nCount=1\r\nRenName1=Served router\r\nrpath1=test.so\r\n");
    TfrmPortForward dlg(nullptr, setup);
    EXPECT_EQ(dlg.cmbRouter->count(), 0);
    EXPECT_EQ(dlg.Urls().RouterListUrl, server.Url("Router.txt"));
    dlg.show();
    while (dlg.cmbRouter->count() == 0 && boxes.isEmpty())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(dlg.cmbRouter->itemText(0), "Served router");
    // Into the user's folder, which did not exist yet; the program's folder stays as it was.
    EXPECT_EQ(FileBytes(setup.UserRouterDir + "Router.ini"), "[ROUTER]\r\nCount=1\r\nRenName1=Served router\r\nrpath1=test.so\r\n");
    EXPECT_EQ(Names(setup.UserRouterDir), QStringList{"Router.ini"});
    EXPECT_TRUE(Names(setup.RouterDir).isEmpty());
}

TEST_F(PortForwardDownload, NoRouterListMeansNoPortMapping) {
    TfrmPortForward dlg(nullptr, setup);
    dlg.AddMapping("192.168.1.20", "81", "TCP");
    dlg.EnsureRouterList();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].text, QString::fromUtf8("obtain the procedure configuration  failed, you can't do port mapping！"));
    EXPECT_EQ(boxes[0].flags, 16);
    EXPECT_EQ(dlg.cmbRouter->count(), 0);
    dlg.BitBtn1Click();
    EXPECT_EQ(boxes.last().text, kSelectRouter);
    EXPECT_TRUE(server.Requests().contains("GET /router/Router.txt 404"));
}

TEST_F(PortForwardDownload, ANewerPlugInIsOfferedByTextComparisonAndInstalledForTheUser) {
    InstallRouterIni();
    InstallPlugIn("router-plugin-test");  // 1.0.0.10, carried with the program
    const QMap<QString, QByteArray> carried = Snapshot(setup.RouterDir);
    const QByteArray installed = FileBytes(setup.RouterDir + "test.so");
    const QByteArray newer = FileBytes(TestPlugIn::Library("router-plugin-test-9"));
    server.Put("Router.txt", "[ROUTER]\r\nCount=1\r\nRenName1=Test router\r\nrpath1=test.so\r\nVersion1=1.0.0.9\r\n");
    server.Put("test.so", newer);
    TfrmPortForward dlg(nullptr, setup);

    dlg.BitBtn3Click();  // "1.0.0.10" < "1.0.0.9" as texts; answered No
    EXPECT_EQ(Texts(), QStringList{"There is no new version,whether to upgrade it?"});
    EXPECT_EQ(boxes[0].title, "Information");
    EXPECT_EQ(boxes[0].flags, 36);
    EXPECT_TRUE(Names(setup.UserRouterDir).isEmpty());

    boxes.clear();
    answers = {MB::IDYES};
    dlg.BitBtn3Click();
    EXPECT_EQ(Texts(), QStringList{"There is no new version,whether to upgrade it?"});
    // The new plug-in is the user's; nothing of the program's folder changed, so no version is
    // noted in its list either.
    EXPECT_EQ(FileBytes(setup.UserRouterDir + "test.so"), newer);
    EXPECT_EQ(Names(setup.UserRouterDir), QStringList{"test.so"});
    EXPECT_EQ(Snapshot(setup.RouterDir), carried);
    EXPECT_EQ(FileBytes(setup.RouterDir + "test.so"), installed);
    EXPECT_TRUE(dlg.BitBtn3->isEnabled());

    boxes.clear();
    dlg.BitBtn3Click();  // the user's 1.0.0.9 is found first; 1.0.0.9 listed
    EXPECT_EQ(Texts(), QStringList{"There is no the new version need to be refreshed!"});
    EXPECT_EQ(boxes[0].flags, 48);
    EXPECT_EQ(Names(setup.UserRouterDir), QStringList{"test.so"});
}

TEST_F(PortForwardDownload, TheUsersListAndPlugInsComeBeforeTheCarriedOnes) {
    InstallRouterIni();
    InstallPlugIn("router-plugin-test");  // carried 1.0.0.10
    const QMap<QString, QByteArray> carried = Snapshot(setup.RouterDir);
    const QByteArray users = FileBytes(TestPlugIn::Library("router-plugin-test-9"));
    WriteBytes(setup.UserRouterDir + "router.INI", "[ROUTER]\r\nCount=1\r\nRenName1=User router\r\nrpath1=TEST.so\r\n");
    WriteBytes(setup.UserRouterDir + "test.so", users);
    TfrmPortForward dlg(nullptr, setup);
    ASSERT_EQ(dlg.cmbRouter->count(), 1);
    EXPECT_EQ(dlg.cmbRouter->itemText(0), "User router");

    // Listed 1.0.0.9: the carried 1.0.0.10 would be older as text, the user's 1.0.0.9 is not.
    server.Put("Router.txt", "[ROUTER]\r\nVersion1=1.0.0.9\r\n");
    dlg.BitBtn3Click();
    EXPECT_EQ(Texts(), QStringList{"There is no the new version need to be refreshed!"});

    // A newer one replaces the user's, which is kept as .old, and its version is noted in the
    // user's own list.
    boxes.clear();
    server.Put("Router.txt", "[ROUTER]\r\nVersion1=1.0.1.0\r\n");
    server.Put("TEST.so", FileBytes(TestPlugIn::Library("router-plugin-test")));
    answers = {MB::IDYES};
    dlg.BitBtn3Click();
    EXPECT_EQ(Texts(), QStringList{"There is no new version,whether to upgrade it?"});
    EXPECT_EQ(FileBytes(setup.UserRouterDir + "test.so"), FileBytes(TestPlugIn::Library("router-plugin-test")));
    EXPECT_EQ(FileBytes(setup.UserRouterDir + "test.so.old"), users);
    EXPECT_EQ(FileBytes(setup.UserRouterDir + "router.INI"),
              "[ROUTER]\r\nCount=1\r\nRenName1=User router\r\nrpath1=TEST.so\r\nVersion1=1.0.1.0\r\n");
    EXPECT_EQ(Names(setup.UserRouterDir), QStringList({"router.INI", "test.so", "test.so.old"}));
    EXPECT_EQ(Snapshot(setup.RouterDir), carried);
}

TEST_F(PortForwardDownload, WithoutAListThePlugInIsCurrentAndAFailedDownloadIsReported) {
    InstallRouterIni();
    InstallPlugIn("router-plugin-test-nover");
    TfrmPortForward dlg(nullptr, setup);
    dlg.BitBtn3Click();  // no Router.txt on the server
    EXPECT_EQ(Texts(), QStringList{"There is no the new version need to be refreshed!"});

    boxes.clear();
    server.Put("Router.txt", "[ROUTER]\r\nVersion1=1.0.0.1\r\n");  // a plug-in without version is older
    answers = {MB::IDYES};
    dlg.BitBtn3Click();  // but the server has no test.so
    EXPECT_EQ(Texts(), QStringList({"There is no new version,whether to upgrade it?",
                                    QString::fromUtf8("Download profile information failure！")}));
    EXPECT_EQ(FileBytes(setup.RouterDir + "test.so"), FileBytes(TestPlugIn::Library("router-plugin-test-nover")));
    EXPECT_TRUE(FileBytes(setup.RouterDir + "Router.ini").contains("Version1=1.0.0.10"));
    EXPECT_TRUE(Names(setup.UserRouterDir).isEmpty());  // no partial download left behind
}

}  // namespace
