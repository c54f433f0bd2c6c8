#include "SetDDNS.h"

#include "BusyWork.h"
#include "CameraCapabilities.h"
#include "Controls.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "Look.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TfrmEsy_SetDDNS::TfrmEsy_SetDDNS(TFamilyRegistry& families, QWidget* parent) : QDialog(parent), families_(families) {
    SetFormName(this, QStringLiteral("frmEsy_SetDDNS"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    auto label = [this](const char* name) { return MakeNamed<QLabel>(this, name); };
    auto edit = [this](const char* name) {
        auto* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setMinimumWidth(200);
        return e;
    };
    lblID = label("lblID");
    edID = edit("edID");
    lblPwdDDNS = label("lblPwdDDNS");
    edPwd = edit("edPwd");  // shown in clear text, as printed on the camera's label
    Label1 = label("Label1");
    edServer = edit("edServer");
    Panel1 = new TPanel(this, QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Image1 = new TImage(Panel1, QStringLiteral("Image1"));
    Image1->SetPicture(Picture(QStringLiteral("label.png")));
    Image1->setFixedSize(180, 96);
    Label4 = new QLabel(Panel1);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setWordWrap(true);
    Label4->setAlignment(Qt::AlignCenter);
    auto* picture = new QVBoxLayout(Panel1);
    picture->addWidget(Image1, 0, Qt::AlignHCenter);
    picture->addWidget(Label4);
    btnOK = new QPushButton(this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* fields = new QGridLayout;
    fields->addWidget(lblID, 0, 0);
    fields->addWidget(edID, 0, 1);
    fields->addWidget(lblPwdDDNS, 1, 0);
    fields->addWidget(edPwd, 1, 1);
    fields->addWidget(Label1, 2, 0);
    fields->addWidget(edServer, 2, 1);
    fields->setColumnStretch(1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(16, 12, 16, 12);
    form->addWidget(Panel1);
    form->addLayout(fields);
    form->addStretch(1);
    form->addLayout(buttons);

    ApplyLanguage(this);
    connect(btnOK, &QPushButton::clicked, this, &TfrmEsy_SetDDNS::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    adjustSize();
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

void TfrmEsy_SetDDNS::SetCamera(const TDevInfo& cam, const TLogin& login) {
    cam_ = cam;
    login_ = login;
}

void TfrmEsy_SetDDNS::btnOKClick() {
    ICameraDdns* ddns = families_.Get(cam_.Family).Ddns();
    if (!ddns)
        return;  // nothing can be changed: only Cancel closes the dialog
    const TDevInfo cam = cam_;
    const TLogin login = login_;
    const QString id = edID->text(), pwd = edPwd->text(), server = edServer->text();
    switch (BusyWork::Run([ddns, cam, login, id, pwd, server] { return ddns->Change(cam, login, id, pwd, server); })) {
    case TDdnsChange::kAccepted:
        accept();
        break;
    case TDdnsChange::kNoConnection:
        ResMessageBox(QStringLiteral("IDS_CANTCONNECT"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        break;
    case TDdnsChange::kRefused:
        ResMessageBox(QStringLiteral("IDS_ERRAUTH"), QStringLiteral("IDS_ERROR"), MB::ICONERROR);
        break;
    case TDdnsChange::kUnsupported:
        break;
    }
}
