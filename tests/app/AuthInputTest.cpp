#include "AuthInput.h"
#include "LangForms.h"
#include "LangRes.h"
#include "TestDirs.h"
#include "TestFamilies.h"
#include "TestHttpServer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

class LoginDialog : public ::testing::Test {
protected:
    ScopedTestDirs dirs;
    std::unique_ptr<TfrmStrRes> res = std::make_unique<TfrmStrRes>();
    QStringList messages;
    void SetUp() override {
        SetLanguage("en");
        SetMessageBoxHook([this](const QString& t, const QString&, int) {
            messages << t;
            return MB::IDOK;
        });
    }
    void TearDown() override { SetMessageBoxHook(nullptr); }
};

TEST_F(LoginDialog, TextsAndFamilyFiveTip) {
    TfrmAuthInput dlg(testsupport::Families());
    EXPECT_EQ(dlg.windowTitle(), "Validate Authentication");
    EXPECT_EQ(dlg.edUser->maxLength(), 13);
    EXPECT_EQ(dlg.edPwd->echoMode(), QLineEdit::Password);
    const QString tip = dlg.lblTip->text();
    dlg.SetFamily(2);
    EXPECT_EQ(dlg.lblTip->text(), tip);
    dlg.SetFamily(5);
    EXPECT_EQ(dlg.lblTip->text(), "Default username is \"admin\", password is \"qelvo\".");
}

TEST_F(LoginDialog, WithoutCheckAnythingIsAccepted) {
    TfrmAuthInput dlg(testsupport::Families());
    dlg.SetFamily(4);
    EXPECT_EQ(dlg.TestCredentials("whoever", "whatever"), 0);
    dlg.btnOKClick();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LoginDialog, UntestableFamiliesAndBadAddressesAreRefused) {
    TfrmAuthInput dlg(testsupport::Families());
    dlg.CheckEnabled = true;
    dlg.SetFamily(4);
    dlg.DevUrl = "http://192.168.1.20:81";
    EXPECT_EQ(dlg.TestCredentials("admin", ""), -2);
    dlg.btnOKClick();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(messages[0], "The camera can not be accessed, maybe the account or password is incorrect.");
    // A port that is no number is refused before any connection is tried.
    dlg.SetFamily(5);
    for (const char* url : {"http://192.168.1.20:8x", "http://192.168.1.20", "http://192.168.1.20:99999"}) {
        dlg.DevUrl = url;
        EXPECT_EQ(dlg.TestCredentials("admin", "qelvo"), -2) << url;
    }
}

// The HTTP test of families 2 and 8: credentials in the query, trimmed, and as Basic auth.
TEST_F(LoginDialog, HttpFamiliesAskGetParams) {
    TestServer camera([](Connection& c, const std::string& request) {
        const bool good = request.find("Authorization: Basic YWRtaW46cyZ1cA==") != std::string::npos;
        c.Send(good ? Response(200, "var ip='10.0.0.5';") : Response(401, "Unauthorized"));
    });
    TfrmAuthInput dlg(testsupport::Families());
    dlg.CheckEnabled = true;
    dlg.DevUrl = QString::fromStdString(camera.Url(""));  // "http://127.0.0.1:port"
    for (int family : {2, 8}) {
        dlg.SetFamily(family);
        EXPECT_EQ(dlg.TestCredentials("  admin ", "s&up"), 0) << family;
        EXPECT_NE(camera.LastRequest().find("GET /get_params.cgi?user=admin&pwd=s%26up "), std::string::npos)
            << camera.LastRequest();
        EXPECT_EQ(dlg.TestCredentials("admin", "wrong"), -2) << family;
    }
}

}  // namespace
