#include "SetIP.h"

#include "AdvMain.h"
#include "AuthInput.h"
#include "CameraFamily.h"
#include "CheckDevThread.h"
#include "Clock.h"
#include "Controls.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"
#include "Look.h"
#include "SetIPRules.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

namespace {

const QString kForm = QStringLiteral("Form_frmEsy_SetIP");

QString Res(const char* key) { return ForDisplay(GetResString(QLatin1String(key))); }

void SetColour(QLabel* l, const QColor& c) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, c);
    l->setPalette(p);
}

}  // namespace

TfrmEsy_SetIP::TfrmEsy_SetIP(IPageHost* host)
    : TWizardPage(host, QStringLiteral("frmEsy_SetIP")), clockMs_([] { return QTime::currentTime().msec(); }) {
    BuildFrame();

    lblChecking = new QLabel(Panel1);
    lblChecking->setObjectName(QStringLiteral("lblChecking"));
    lblChecking->setAlignment(Qt::AlignCenter);
    lblChecking->setWordWrap(true);
    SetColour(lblChecking, QColor(220, 0, 0));
    Image1 = new TImage(Panel1, QStringLiteral("Image1"));
    Image1->SetPicture(Picture(QStringLiteral("busy.png")));
    Image1->setFixedSize(64, 64);
    lblOK = new QLabel(Panel1);
    lblOK->setObjectName(QStringLiteral("lblOK"));
    lblOK->setWordWrap(true);
    lblOK->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label10 = new QLabel(Panel1);
    Label10->setObjectName(QStringLiteral("Label10"));
    edLanUrl = new QLineEdit(Panel1);
    edLanUrl->setObjectName(QStringLiteral("edLanUrl"));
    edLanUrl->setReadOnly(true);
    edLanUrl->setMinimumWidth(240);
    spbOpenLanUrl = new TSpeedButton(Panel1);
    spbOpenLanUrl->setObjectName(QStringLiteral("spbOpenLanUrl"));
    spbOpenLanUrl->setText(QStringLiteral("Open"));
    spbOpenLanUrl->setMinimumSize(60, 24);
    imgArrow = new TImage(Panel1, QStringLiteral("imgArrow"));
    imgArrow->SetPicture(Picture(QStringLiteral("arrow.png")));
    imgArrow->setFixedSize(40, 24);
    lblDevAuthInfo = new QLabel(Panel1);
    lblDevAuthInfo->setObjectName(QStringLiteral("lblDevAuthInfo"));
    lblDevAuthInfo->setWordWrap(true);

    auto* url = new QHBoxLayout;
    url->addWidget(Label10);
    url->addWidget(edLanUrl, 1);
    url->addWidget(spbOpenLanUrl);
    url->addWidget(imgArrow);
    auto* box = new QVBoxLayout(Panel1);
    box->setContentsMargins(24, 20, 24, 20);
    box->addStretch(1);
    box->addWidget(Image1, 0, Qt::AlignHCenter);
    box->addWidget(lblChecking);
    box->addWidget(lblOK);
    box->addSpacing(12);
    box->addLayout(url);
    box->addWidget(lblDevAuthInfo);
    box->addStretch(2);

    ApplyLanguage(this);
    connect(spbOpenLanUrl, &QToolButton::clicked, this, &TfrmEsy_SetIP::spbOpenLanUrlClick);
    ShowResult(false);
    lblOK->hide();
    btnNext->hide();
    btnJNext->hide();
}

TfrmEsy_SetIP::~TfrmEsy_SetIP() = default;

bool TfrmEsy_SetIP::Back() {
    Host()->ShowPage(QStringLiteral("TfrmEsy_DevList"));
    return true;
}

void TfrmEsy_SetIP::ShowResult(bool on) {
    for (QWidget* w : {static_cast<QWidget*>(Label10), static_cast<QWidget*>(edLanUrl),
                       static_cast<QWidget*>(spbOpenLanUrl), static_cast<QWidget*>(imgArrow),
                       static_cast<QWidget*>(lblDevAuthInfo)})
        w->setVisible(on);
}

void TfrmEsy_SetIP::SetApplying(bool on) {
    applying_ = on;
    // Leaving the page would not stop the camera from moving; the wait is seen to its end.
    btnPre->setEnabled(!on);
    BtnJPre->setEnabled(!on);
}

void TfrmEsy_SetIP::FormShow() {
    if (busy_)
        return;  // the sequence started earlier is still on its way
    ShowResult(false);
    btnNext->hide();
    btnJNext->hide();
    Image1->show();
    lblChecking->show();
    SetColour(lblOK, Qt::black);
    busy_ = true;
    // The page is painted first; the work starts a moment later.
    timer2_ = Clock().After(kStartMs, [this] { Timer2Timer(); });
}

void TfrmEsy_SetIP::FormHide() {
    if (applying_)
        return;  // the camera is moving: the wait goes on and ends quietly
    timer2_.reset();
    checks_.DetachAll();
    busy_ = false;
}

void TfrmEsy_SetIP::Timer2Timer() {
    timer2_.reset();
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec) {
        Image1->hide();
        lblChecking->setText(Res("IDS_CANTCONNECT"));
        busy_ = false;
        return;
    }
    edLanUrl->setText(InnerUrl(*rec));

    QStringList inUse;
    const TDeviceList& list = Devices();
    for (int i = 0; i < list.Count(); ++i)
        if (list.RecordAt(i)->Mac != rec->Mac)
            inUse << list.RecordAt(i)->IP;
    const SetIP::TNewSettings n =
        SetIP::Decide(*rec, Adv()->edCurIP->text().trimmed(), Adv()->edCurGate->text().trimmed(), clockMs_(), inUse);
    switch (n.decision) {
    case SetIP::TDecision::kKeep:
        AccessCheck(*rec, true);
        break;
    case SetIP::TDecision::kSend:
        ApplyAndWait(*rec, n.settings);
        break;
    case SetIP::TDecision::kImpossible:
        AccessCheck(*rec, false);
        break;
    }
}

void TfrmEsy_SetIP::ApplyAndWait(const TDevInfo& rec, const TDevInfo& next) {
    SetApplying(true);
    waitMac_ = Cur().CurDevMac;  // which camera this wait is for
    waitFor_ = next;
    polls_ = 0;
    lblChecking->setText(Res("IDS_CONFIGURING"));
    Image1->show();
    if (!Adv()->ApplyNetSettings(rec, next, !Cur().CurDevAuthOK)) {
        EndWait(false);
        return;
    }
    // The camera takes its new address and is found again by the search, which goes on meanwhile.
    wait_ = Clock().After(kSettleMs, [this] {
        wait_ = Clock().Every(kPollMs, [this] { Poll(); });
        Poll();
    });
}

void TfrmEsy_SetIP::Poll() {
    // 500 looks, each followed by a pause of 100 ms: the wait ends 30 s + 50 s after the command.
    if (polls_ >= kPolls) {
        EndWait(false);
        return;
    }
    ++polls_;
    if (Devices().FindItemByIP(waitFor_.IP) >= 0) {
        // Only for the camera this wait is about: the user may have chosen another meanwhile.
        if (Cur().CurDevMac == waitMac_)
            Cur().CurDevIP = waitFor_.IP;
        EndWait(true);
    }
}

void TfrmEsy_SetIP::EndWait(bool found) {
    wait_.reset();
    SetApplying(false);
    // Left meanwhile, or another camera chosen: the wait ends quietly; showing the page again
    // starts afresh.
    if (!isVisible() || Cur().CurDevMac != waitMac_) {
        busy_ = false;
        return;
    }
    AccessCheck(waitFor_, found);
}

void TfrmEsy_SetIP::AccessCheck(const TDevInfo& rec, bool ok) {
    if (!ok) {
        lblChecking->setText(Res("IDS_CONFIGUR_ERROR"));
        Image1->hide();
        timer2_ = Clock().After(kBackMs, [this] {
            timer2_.reset();
            busy_ = false;
            if (isVisible())
                Back();
        });
        return;
    }
    lblChecking->show();
    Image1->show();
    lblChecking->setText(Res("IDS_CHECKINGACCESS"));
    const QString hint = Host()->Families().Traits(rec.Family).defaultAccountHintKey;
    lblDevAuthInfo->setText(hint.isEmpty() ? ForDisplay(GetLangString(kForm, QStringLiteral("lblDevAuthInfo.Caption")))
                                           : ForDisplay(GetResString(hint)));
    lblOK->hide();
    auto t = std::make_unique<TCheckDevThread>(FamilyOf(rec), rec);
    t->Link().SetOnStep([this](int reachable, const QString&) { Checked(reachable != 0); });
    checks_.Start(std::move(t));
}

void TfrmEsy_SetIP::Checked(bool reachable) {
    busy_ = false;
    if (!reachable) {
        lblChecking->setText(Res("IDS_CANNOTVISIT"));
        lblChecking->show();
        Image1->hide();
        ShowResult(false);
        return;
    }
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec) {
        lblChecking->setText(Res("IDS_CANTCONNECT"));
        Back();
        return;
    }
    lblChecking->hide();
    Image1->hide();
    lblOK->setText(Res("IDS_CANVISIT"));
    SetColour(lblOK, Qt::black);
    lblOK->show();
    edLanUrl->setText(InnerUrl(*rec));
    ShowResult(true);
    btnNext->show();
    btnJNext->show();
}

void TfrmEsy_SetIP::spbOpenLanUrlClick() { Host()->OpenAddress(edLanUrl->text()); }

bool TfrmEsy_SetIP::Next() {
    const std::optional<TDevInfo> rec = CurrentDevice();
    if (!rec)
        return false;
    TCurrentCamera& cur = Cur();
    if (!cur.CurDevAuthOK) {
        TfrmAuthInput dlg(Host()->Families(), this);
        dlg.edUser->setText(cur.CurDevUser);
        dlg.edPwd->setText(cur.CurDevPwd);
        dlg.CheckEnabled = true;
        dlg.SetFamily(rec->Family);
        dlg.DevUrl = QStringLiteral("http://") + rec->IP + u':' + QString::number(rec->HttpPort);
        if (dlg.TestCredentials(cur.CurDevUser, cur.CurDevPwd) != 0) {
            if (RunModal(dlg) != QDialog::Accepted)
                return false;
            cur.CurDevUser = dlg.edUser->text().trimmed();
            cur.CurDevPwd = dlg.edPwd->text().trimmed();
        }
    }
    cur.CurDevAuthOK = true;
    Host()->ShowPage(QStringLiteral("TfrmEsy_SetWIFI"));
    lblOK->hide();
    ShowResult(false);
    return true;
}
