#include "WizardPage.h"

#include "AdvMain.h"
#include "CameraFamily.h"
#include "Clock.h"
#include "Controls.h"
#include "Countdown.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"
#include "QInfo.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QShowEvent>
#include <QPushButton>
#include <QVBoxLayout>

TWizardPage::TWizardPage(IPageHost* host, const QString& formName) : TfrmPageBase(host, formName) {
    QFont base = font();
    base.setPointSize(8);
    setFont(base);
}

void TWizardPage::showEvent(QShowEvent* e) {
    TfrmPageBase::showEvent(e);
    if (!e->spontaneous())
        FormShow();
}

void TWizardPage::hideEvent(QHideEvent* e) {
    TfrmPageBase::hideEvent(e);
    if (!e->spontaneous())
        FormHide();
}

int TWizardPage::RunModal(QDialog& dialog) {
    return runner_ ? runner_(dialog) : dialog.exec();
}

void TWizardPage::BuildFrame(bool smallNext) {
    Panel1 = new TPanel(this, QStringLiteral("Panel1"));
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    Panel1->setPalette(white);
    Panel1->setFrameShape(QFrame::StyledPanel);

    auto button = [this](const char* name, const QString& text, int minWidth) {
        auto* b = new QPushButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setMinimumSize(minWidth, 26);
        return b;
    };
    btnPre = button("btnPre", QStringLiteral("&Back"), 84);
    BtnJPre = button("BtnJPre", QStringLiteral("\u300A"), 30);
    BtnJPre->setMaximumWidth(34);
    btnNext = button("btnNext", QStringLiteral("&Next"), 84);
    if (smallNext) {
        btnJNext = button("btnJNext", QStringLiteral("\u300B"), 30);
        btnJNext->setMaximumWidth(34);
    }
    connect(btnPre, &QPushButton::clicked, this, [this] { Back(); });
    connect(BtnJPre, &QPushButton::clicked, this, [this] { Back(); });
    connect(btnNext, &QPushButton::clicked, this, [this] { Next(); });
    if (btnJNext)
        connect(btnJNext, &QPushButton::clicked, this, [this] { Next(); });

    auto* nav = new QHBoxLayout;
    nav->setSpacing(2);
    nav->addStretch(1);
    nav->addWidget(BtnJPre);
    nav->addWidget(btnPre);
    nav->addSpacing(12);
    nav->addWidget(btnNext);
    if (btnJNext)
        nav->addWidget(btnJNext);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(8, 8, 8, 6);
    page->setSpacing(6);
    page->addWidget(Panel1, 1);
    page->addLayout(nav);
}

TfrmAdv_Main* TWizardPage::Adv() const {
    return qobject_cast<TfrmAdv_Main*>(Host()->Page(QStringLiteral("TfrmAdv_Main")));
}

TDeviceList& TWizardPage::Devices() const {
    // The advanced window exists from start-up to the end of the run.
    return Adv()->Devices();
}

std::optional<TDevInfo> TWizardPage::CurrentDevice() const {
    if (const TDevInfo* rec = Cur().Find(std::as_const(Devices())))
        return *rec;
    return std::nullopt;
}

ICameraFamily& TWizardPage::FamilyOf(const TDevInfo& rec) const { return Host()->Families().Get(rec.Family); }

TLogin TWizardPage::CurrentLogin() const { return TLogin{Cur().CurDevUser, Cur().CurDevPwd}; }

int TWizardPage::WaitForRestart(int seconds, const QString& mac, const QString& ip, const QString& hint) {
    TfrmCountdown dlg(Devices(), Clock(), Host()->HostWindow());
    dlg.Setup(seconds, mac, ip, hint);
    dlg.StartTimers();
    RunModal(dlg);
    dlg.StopTimers();
    return dlg.WaitResult;
}

void TWizardPage::ShowHelp(const QString& key) {
    TFrmQInfo box(Host()->HostWindow());
    box.SetInfo(ForDisplay(GetResString(key)));
    RunModal(box);
}

TSpeedButton* MakeOpenButton(QWidget* parent, const char* name)
{
    auto* b = MakeNamed<TSpeedButton>(parent, name);
    b->setText(QStringLiteral("Open"));
    b->setMinimumSize(60, 24);
    return b;
}

QLabel* MakeLinkLabel(QWidget* parent, const QString& name, const QColor& color) {
    auto* l = new TClickLabel(parent, name);
    QFont f = l->font();
    f.setUnderline(true);
    l->setFont(f);
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}
