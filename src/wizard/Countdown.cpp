#include "Countdown.h"

#include "DeviceList.h"
#include "LangForms.h"
#include "LangRes.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

TfrmCountdown::TfrmCountdown(const TDeviceList& list, IClock& clock, QWidget* parent)
    : QDialog(parent), list_(list), clock_(clock) {
    SetFormName(this, QStringLiteral("frmCountdown"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    lblHint = new QLabel(this);
    lblHint->setObjectName(QStringLiteral("lblHint"));
    lblHint->setWordWrap(true);
    lblHint->setAlignment(Qt::AlignCenter);
    lblHint->setText(QStringLiteral("The camera is restarting..."));
    lblTime = new QLabel(this);
    lblTime->setObjectName(QStringLiteral("lblTime"));
    lblTime->setAlignment(Qt::AlignCenter);
    btnCancel = new QPushButton(this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    btnCancel->setText(QStringLiteral("&Cancel"));
    btnCancel->setMinimumSize(84, 26);

    auto* box = new QVBoxLayout(this);
    box->setContentsMargins(12, 12, 12, 12);
    box->addWidget(lblHint);
    box->addWidget(lblTime, 1);
    box->addWidget(btnCancel, 0, Qt::AlignHCenter);

    ApplyLanguage(this);
    // The number is big whatever the language's font rule says.
    QFont big = lblTime->font();
    big.setPointSize(36);
    big.setBold(true);
    lblTime->setFont(big);
    lblTime->setText(QString::number(LeftSecs));

    setFixedSize(kClientWidth, kClientHeight);
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
    connect(btnCancel, &QPushButton::clicked, this, &TfrmCountdown::btnCancelClick);
}

TfrmCountdown::~TfrmCountdown() = default;

void TfrmCountdown::Setup(int seconds, const QString& mac, const QString& ip, const QString& hint) {
    TotalSecs = seconds;
    LeftSecs = seconds;
    lblTime->setText(QString::number(seconds));
    KeyMac = mac;
    KeyIP = ip;
    if (!hint.isEmpty()) {
        lblHint->setText(ForDisplay(hint));
        Blink = true;
    }
}

void TfrmCountdown::StartTimers() {
    timer1_ = clock_.Every(1000, [this] { Timer1Timer(); });
    timer2_ = clock_.Every(100, [this] { Timer2Timer(); });
}

void TfrmCountdown::StopTimers() {
    timer1_.reset();
    timer2_.reset();
}

void TfrmCountdown::Timer1Timer() {
    if (finished_)
        return;
    if (LeftSecs > 0)
        --LeftSecs;
    if (LeftSecs < 1) {
        WaitResult = kTimeOut;
        Finish();
    }
    lblTime->setText(QString::number(LeftSecs));
    if (Blink) {
        QPalette p = lblHint->palette();
        p.setColor(QPalette::WindowText, LeftSecs % 2 ? palette().color(QPalette::WindowText) : QColor(Qt::red));
        lblHint->setPalette(p);
    }
}

void TfrmCountdown::Timer2Timer() {
    if (finished_ || TotalSecs - LeftSecs <= kQuietSecs)
        return;
    if (list_.FindItemByMac(KeyMac) >= 0 || list_.FindItemByIP(KeyIP) >= 0) {
        WaitResult = kFound;
        Finish();
    }
}

void TfrmCountdown::btnCancelClick() {
    if (finished_)
        return;
    WaitResult = kCancelled;
    if (ConfirmCancel())
        Finish();
}

void TfrmCountdown::closeEvent(QCloseEvent* e) {
    // The close box: the same question as Cancel, with whatever result the wait has so far.
    e->ignore();
    if (!finished_ && ConfirmCancel())
        Finish();
}

void TfrmCountdown::reject() {
    // Escape.
    if (!finished_ && ConfirmCancel())
        Finish();
}

bool TfrmCountdown::ConfirmCancel() {
    if (asking_)
        return false;
    asking_ = true;
    // The timers go on meanwhile: the wait may still end with the camera found or the time out.
    const int answer = ResMessageBox(QStringLiteral("IDS_CANCELWAIT"), QStringLiteral("IDS_CONFIRM"),
                                     MB::ICONQUESTION | MB::YESNO | MB::DEFBUTTON2);
    asking_ = false;
    return answer == MB::IDYES && !finished_;
}

void TfrmCountdown::Finish() {
    if (finished_)
        return;
    finished_ = true;
    StopTimers();
    if (asking_) {
        // The wait ended while the user was being asked: the question has no subject any more.
        const QString question = ForDisplay(GetResString(QStringLiteral("IDS_CANCELWAIT")));
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text() == question)
                box->done(QMessageBox::No);
    }
    done(WaitResult == kFound ? QDialog::Accepted : QDialog::Rejected);
}
