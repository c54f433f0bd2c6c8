#include "AuthInput.h"

#include "BusyWork.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// User name and password fields take what the cameras store.
constexpr int kMaxCredential = 13;
}  // namespace

TfrmAuthInput::TfrmAuthInput(TFamilyRegistry& families, QWidget* parent)
    : QDialog(parent), families_(families)
{
    SetFormName(this, QStringLiteral("frmAuthInput"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    auto label = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(QLatin1String(name));
        return l;
    };
    Label3 = label("Label3");
    Label3->setWordWrap(true);
    Label1 = label("Label1");
    edUser = new QLineEdit(this);
    edUser->setObjectName(QStringLiteral("edUser"));
    edUser->setMaxLength(kMaxCredential);
    Label2 = label("Label2");
    edPwd = new QLineEdit(this);
    edPwd->setObjectName(QStringLiteral("edPwd"));
    edPwd->setMaxLength(kMaxCredential);
    edPwd->setEchoMode(QLineEdit::Password);
    lblTip = label("lblTip");
    lblTip->setWordWrap(true);
    btnOK = new QPushButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* fields = new QGridLayout;
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(edUser, 0, 1);
    fields->addWidget(Label2, 1, 0);
    fields->addWidget(edPwd, 1, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(16, 10, 16, 12);
    form->addWidget(Label3);
    form->addLayout(fields);
    form->addWidget(lblTip);
    form->addStretch(1);
    form->addLayout(buttons);
    setMinimumWidth(330);

    ApplyLanguage(this);
    connect(btnOK, &QPushButton::clicked, this, &TfrmAuthInput::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

void TfrmAuthInput::SetFamily(int family)
{
    family_ = family;
    const QString hint = families_.Traits(family).defaultAccountHintKey;
    if (!hint.isEmpty())
        lblTip->setText(ForDisplay(GetResString(hint)));
}

int TfrmAuthInput::TestCredentials(const QString& user, const QString& password)
{
    if (!CheckEnabled)
        return 0;
    ICameraFamily& family = families_.Get(family_);
    const TLogin login{user.trimmed(), password.trimmed()};
    const QString url = DevUrl;
    const TLoginResult r =
        BusyWork::Run([&family, url, login] { return family.TestCredentials(url, login); });
    if (r == TLoginResult::kAccepted && isVisible())
        accept();
    return int(r);
}

void TfrmAuthInput::btnOKClick()
{
    if (TestCredentials(edUser->text(), edPwd->text()) == 0) {
        accept();
        return;
    }
    ResMessageBox(QStringLiteral("IDS_ERRACCESS"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
}
