#include "AuthInput.h"

#include "CgiCamera.h"
#include "CtpSocket.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Tools.h"
#include "UrlQuery.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

TfrmAuthInput::TfrmAuthInput(QWidget* parent) : QDialog(parent) {
    SetFormName(this, QStringLiteral("frmAuthInput"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(330, 190);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    auto label = [this](const char* name, const QRect& g) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(g);
        return l;
    };
    Label3 = label("Label3", QRect(16, 10, 300, 34));
    Label3->setWordWrap(true);
    Label1 = label("Label1", QRect(16, 54, 80, 22));
    edUser = new QLineEdit(this);
    edUser->setObjectName(QStringLiteral("edUser"));
    edUser->setGeometry(100, 54, 210, 22);
    edUser->setMaxLength(13);
    Label2 = label("Label2", QRect(16, 82, 80, 22));
    edPwd = new QLineEdit(this);
    edPwd->setObjectName(QStringLiteral("edPwd"));
    edPwd->setGeometry(100, 82, 210, 22);
    edPwd->setMaxLength(13);
    edPwd->setEchoMode(QLineEdit::Password);
    lblTip = label("lblTip", QRect(16, 110, 300, 34));
    lblTip->setWordWrap(true);
    btnOK = new QPushButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(140, 152, 80, 26);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setGeometry(230, 152, 80, 26);

    ApplyLanguage(this);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAuthInput::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

void TfrmAuthInput::SetFamily(int family) {
    family_ = family;
    if (family == 5)
        lblTip->setText(ForDisplay(GetResString(QStringLiteral("IDS_DEFAULTACCOUNT"))));
}

int TfrmAuthInput::TestCredentials(const QString& userText, const QString& passwordText) {
    if (!CheckEnabled)
        return 0;
    const QString user = userText.trimmed(), password = passwordText.trimmed();
    switch (family_) {
    case 2:
    case 8: {
        QString reply;
        const QString url = DevUrl + QStringLiteral("/get_params.cgi?user=") + UrlQueryEncode(user) +
                            QStringLiteral("&pwd=") + UrlQueryEncode(password);
        return TTools::HttpGetText(url, user, password, 5000, reply) && reply.contains(QLatin1String("var")) ? 0 : -2;
    }
    case 5: {
        // "http://host:port": the host and the port after the scheme.
        const QString rest = DevUrl.mid(7);
        const qsizetype colon = rest.indexOf(QLatin1Char(':'));
        if (colon < 0)
            return -2;
        bool ok = false;
        const int port = rest.mid(colon + 1).toInt(&ok, 10);
        if (!ok || port <= 0 || port > 65535)
            return -2;
        TCTPSession session = TCTPSocket::GetCTPSession(rest.left(colon), port);
        if (!session)
            return -1;
        if (!session->Login(user, password))
            return -2;
        if (isVisible())
            accept();
        return 0;
    }
    case 9:
        return CgiCamera && CgiCamera->CheckLogin(DevUrl, user, password) ? 0 : -2;
    default:
        return -2;  // no test address for this family
    }
}

void TfrmAuthInput::btnOKClick() {
    if (TestCredentials(edUser->text(), edPwd->text()) == 0) {
        accept();
        return;
    }
    ResMessageBox(QStringLiteral("IDS_ERRACCESS"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
}
