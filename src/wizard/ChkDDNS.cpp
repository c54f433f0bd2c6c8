#include "ChkDDNS.h"

#include "CameraFamily.h"
#include "CheckDdnsThread.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"
#include "SetDDNS.h"
#include "StepReport.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

QString Res(const char* key) { return ForDisplay(GetResString(QLatin1String(key))); }

}  // namespace

TfrmEsy_ChkDDNS::TfrmEsy_ChkDDNS(IPageHost* host) : TWizardPage(host, QStringLiteral("frmEsy_ChkDDNS")) {
    BuildFrame();
    auto label = [this](const char* name) { return MakeNamed<QLabel>(Panel1, name); };
    auto edit = [this](const char* name) { return MakeNamed<QLineEdit>(Panel1, name); };
    auto button = [this](const char* name) {
        auto* b = new TSpeedButton(Panel1);
        b->setObjectName(QLatin1String(name));
        b->setMinimumSize(84, 24);
        return b;
    };
    Label2 = label("Label2");
    edDDNSID = edit("edDDNSID");
    Label3 = label("Label3");
    edDDNSServer = edit("edDDNSServer");
    lblOK = label("lblOK");
    lblOK->setWordWrap(true);
    QFont bold = lblOK->font();
    bold.setBold(true);
    lblOK->setFont(bold);
    spbChangeDDNS = button("spbChangeDDNS");
    spbCheck = button("spbCheck");
    Label4 = label("Label4");
    memResult = new QPlainTextEdit(Panel1);
    memResult->setObjectName(QStringLiteral("memResult"));
    memResult->setReadOnly(true);
    memResult->setLineWrapMode(QPlainTextEdit::NoWrap);
    memResult->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memResult->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memResult->setTabStopDistance(32);

    auto* fields = new QGridLayout;
    fields->addWidget(Label2, 0, 0);
    fields->addWidget(edDDNSID, 0, 1);
    fields->addWidget(spbChangeDDNS, 0, 2);
    fields->addWidget(Label3, 1, 0);
    fields->addWidget(edDDNSServer, 1, 1);
    fields->addWidget(spbCheck, 1, 2);
    fields->setColumnStretch(1, 1);
    auto* box = new QVBoxLayout(Panel1);
    box->setContentsMargins(12, 10, 12, 10);
    box->addLayout(fields);
    box->addWidget(lblOK);
    box->addWidget(Label4);
    box->addWidget(memResult, 1);

    ApplyLanguage(this);
    connect(spbCheck, &QToolButton::clicked, this, &TfrmEsy_ChkDDNS::spbCheckClick);
    connect(spbChangeDDNS, &QToolButton::clicked, this, &TfrmEsy_ChkDDNS::spbChangeDDNSClick);
}

bool TfrmEsy_ChkDDNS::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_SetWIFI"));
    return true;
}

bool TfrmEsy_ChkDDNS::Next() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_PortForward"));
    return true;
}

void TfrmEsy_ChkDDNS::FormShow() {
    lblOK->setText(Res("IDS_CHECKING"));
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    spbChangeDDNS->setVisible(Host()->Families().Traits(rec->Family).ddnsEditable);
    edDDNSID->setText(rec->DdnsUser);
    edDDNSServer->setText(rec->DdnsServer);
    ClearReport();
    StartCheck(*rec);
}

void TfrmEsy_ChkDDNS::FormHide() {
    // A check of a page that is not shown reports nowhere; showing it again checks anew.
    checks_.DetachAll();
}

void TfrmEsy_ChkDDNS::ClearReport() {
    lines_.clear();
    memResult->clear();
}

void TfrmEsy_ChkDDNS::StartCheck(const TDevInfo& rec) {
    // Only the newest check reports: an older one still running goes on into nothing.
    checks_.DetachAll();
    auto t = std::make_unique<TCheckDDNSThread>(FamilyOf(rec), rec, Cur().CurDevPwd, Cur().CurDevUser, InnerUrl(rec));
    t->Link().SetOnStep([this](int kind, const QString& text) { OnStep(kind, text); });
    checks_.Start(std::move(t));
}

void TfrmEsy_ChkDDNS::OnStep(int kind, const QString& text) {
    ApplyStep(lines_, kind, text);
    memResult->setPlainText(lines_.join(u'\n'));
    if (kind == kStepSuccess)
        lblOK->setText(Res("IDS_CONTINUESET"));
}

void TfrmEsy_ChkDDNS::spbCheckClick() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    checks_.DetachAll();
    ClearReport();
    lblOK->setText(Res("IDS_CHECKING"));
    StartCheck(*rec);
}

void TfrmEsy_ChkDDNS::spbChangeDDNSClick() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return;
    TfrmEsy_SetDDNS dlg(Host()->Families(), this);
    dlg.SetCamera(*rec, CurrentLogin());
    dlg.edID->setText(edDDNSID->text());
    dlg.edPwd->setText(rec->DdnsPwd);
    dlg.edServer->setText(edDDNSServer->text());
    if (RunModal(dlg) != QDialog::Accepted)
        return;
    const int r = WaitForRestart(kRestartSecs, Cur().CurDevMac, Cur().CurDevIP, QString());
    if (r == 0) {
        spbCheckClick();
        if (const std::optional<TDevInfo> again = CurrentDevice()) {
            edDDNSID->setText(again->DdnsUser);
            edDDNSServer->setText(again->DdnsServer);
        }
    } else if (r == 1) {
        Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
    } else if (ResMessageBox(QStringLiteral("IDS_NOFOUNDAFTERSET"), QStringLiteral("IDS_WARNING"),
                             MB::ICONWARNING | MB::YESNO) == MB::IDYES) {
        Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
    }
}
