#include "EsyPortForward.h"

#include "AdvMain.h"
#include "CameraFamily.h"
#include "CheckFortwordThread.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Look.h"
#include "StepReport.h"
#include "PortForward.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Res(const char* key) { return ForDisplay(GetResString(QLatin1String(key))); }

}  // namespace

TfrmEsy_PortForward::TfrmEsy_PortForward(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_PortForward")) {
    BuildFrame(false);
    auto label = [this](const char* name) { return MakeNamed<QLabel>(Panel1, name); };
    auto edit = [this](const char* name) { return MakeNamed<QLineEdit>(Panel1, name); };
    auto open = [this](const char* name) { return MakeOpenButton(Panel1, name); };
    Label1 = label("Label1");
    edIP = edit("edIP");
    Label2 = label("Label2");
    edPort = edit("edPort");
    Label5 = label("Label5");
    edDataPort = edit("edDataPort");
    Label4 = label("Label4");
    edRouterIP = edit("edRouterIP");
    spbOpenRouter = open("spbOpenRouter");
    Label6 = label("Label6");
    edOuterUrl = edit("edOuterUrl");
    spbOpenOuter = open("spbOpenOuter");
    imgArrow = new TImage(Panel1, QStringLiteral("imgArrow"));
    imgArrow->SetPicture(Picture(QStringLiteral("arrow.png")));
    imgArrow->setFixedSize(40, 24);
    lblOK = label("lblOK");
    lblOK->setWordWrap(true);
    QFont bold = lblOK->font();
    bold.setBold(true);
    lblOK->setFont(bold);
    Label3 = label("Label3");
    memResult = new QPlainTextEdit(Panel1);
    memResult->setObjectName(QStringLiteral("memResult"));
    memResult->setReadOnly(true);
    memResult->setLineWrapMode(QPlainTextEdit::NoWrap);
    memResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memResult->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memResult->setTabStopDistance(32);
    btnCheck = new QPushButton(Panel1);
    btnCheck->setObjectName(QStringLiteral("btnCheck"));
    btnCheck->setMinimumSize(84, 26);
    BitBtn1 = new QPushButton(Panel1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setMinimumSize(120, 26);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(6);
    fields->addWidget(Label1, 0, 0);
    fields->addWidget(edIP, 0, 1);
    fields->addWidget(Label2, 0, 2);
    fields->addWidget(edPort, 0, 3);
    fields->addWidget(Label5, 0, 4);
    fields->addWidget(edDataPort, 0, 5);
    fields->addWidget(Label4, 1, 0);
    fields->addWidget(edRouterIP, 1, 1);
    fields->addWidget(spbOpenRouter, 1, 2);
    fields->addWidget(Label6, 2, 0);
    fields->addWidget(edOuterUrl, 2, 1, 1, 3);
    fields->addWidget(spbOpenOuter, 2, 4);
    fields->addWidget(imgArrow, 2, 5);
    fields->setColumnStretch(1, 2);
    fields->setColumnStretch(3, 1);
    fields->setColumnStretch(5, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Label3);
    buttons->addStretch(1);
    buttons->addWidget(btnCheck);
    buttons->addWidget(BitBtn1);
    auto* box = new QVBoxLayout(Panel1);
    box->setContentsMargins(12, 10, 12, 10);
    box->addLayout(fields);
    box->addWidget(lblOK);
    box->addLayout(buttons);
    box->addWidget(memResult, 1);

    ApplyLanguage(this);
    // The PC's gateway, once: what the user types there later stays.
    if (TfrmAdv_Main* adv = Adv())
        edRouterIP->setText(adv->edCurGate->text());

    connect(btnCheck, &QPushButton::clicked, this, &TfrmEsy_PortForward::btnCheckClick);
    connect(BitBtn1, &QPushButton::clicked, this, &TfrmEsy_PortForward::BitBtn1Click);
    connect(spbOpenOuter, &QToolButton::clicked, this, &TfrmEsy_PortForward::spbOpenOuterClick);
    connect(spbOpenRouter, &QToolButton::clicked, this, &TfrmEsy_PortForward::spbOpenRouterClick);
}

bool TfrmEsy_PortForward::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_ChkDDNS"));
    return true;
}

bool TfrmEsy_PortForward::Next() {
    ++Cur().CurCamNo;
    Host()->ShowPage(QStringLiteral("TfrmEsy_SelAccess"));
    return true;
}

void TfrmEsy_PortForward::FormShow() {
    if (const std::optional<TDevInfo> rec = CurrentDevice()) {
        const bool dataPort = Host()->Families().Traits(rec->Family).mapsDataPort;
        edDataPort->setVisible(dataPort);
        Label5->setVisible(dataPort);
        edIP->setText(rec->IP);
        edPort->setText(QString::number(rec->HttpPort));
        edDataPort->setText(QString::number(rec->DataPort));
        edOuterUrl->setText(OuterUrl(*rec));
        ClearReport();
        StartCheck(*rec);
    } else {
        edIP->clear();
        edPort->clear();
        edDataPort->clear();
        edOuterUrl->clear();
    }
    imgArrow->hide();
    spbOpenOuter->hide();
    lblOK->setText(Res("IDS_SETPORTMAPPING"));
}

void TfrmEsy_PortForward::FormHide() { checks_.DetachAll(); }

void TfrmEsy_PortForward::ClearReport() {
    lines_.clear();
    memResult->clear();
}

void TfrmEsy_PortForward::StartCheck(const TDevInfo& rec) {
    checks_.DetachAll();
    auto t = std::make_unique<TCheckFortwordThread>(rec.DdnsServer, rec.DdnsUser, Cur().CurDevPwd, Cur().CurDevUser,
                                                    OuterUrl(rec));
    t->Link().SetOnStep([this](int kind, const QString& text) { OnStep(kind, text); });
    checks_.Start(std::move(t));
}

void TfrmEsy_PortForward::OnStep(int kind, const QString& text) {
    ApplyStep(lines_, kind, text);
    memResult->setPlainText(lines_.join(u'\n'));
    if (kind == kStepSuccess) {
        imgArrow->show();
        spbOpenOuter->show();
        lblOK->setText(Res("IDS_PORTMAPPINGOK"));
    }
}

void TfrmEsy_PortForward::btnCheckClick() {
    checks_.DetachAll();
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    ClearReport();
    StartCheck(*rec);
    imgArrow->hide();
    spbOpenOuter->hide();
}

void TfrmEsy_PortForward::spbOpenOuterClick() { Host()->OpenAddress(edOuterUrl->text()); }

void TfrmEsy_PortForward::spbOpenRouterClick() {
    if (!edRouterIP->text().isEmpty())
        Host()->OpenAddress(QStringLiteral("http://") + edRouterIP->text());
}

void TfrmEsy_PortForward::BitBtn1Click() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    TfrmPortForward dlg(this, setup_);
    dlg.RouterIP = edRouterIP->text();
    dlg.AddMapping(edIP->text(), edPort->text(), QStringLiteral("TCP"));
    if (Host()->Families().Traits(rec->Family).mapsDataPort)
        dlg.AddMapping(edIP->text(), edDataPort->text(), QStringLiteral("TCP"));
    if (RunModal(dlg) == QDialog::Accepted)
        btnCheckClick();
}
