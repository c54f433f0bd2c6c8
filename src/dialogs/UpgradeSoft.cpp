#include "UpgradeSoft.h"

#include "Controls.h"
#include "FamilyRegistry.h"
#include "LangForms.h"
#include "LangRes.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

namespace {

const QString kError = QStringLiteral("IDS_ERROR");

// The values of a text put in place of its "%s" markers, in order.
QString Fill(QString text, std::initializer_list<QString> values)
{
    qsizetype from = 0;
    for (const QString& v : values) {
        const qsizetype at = text.indexOf(QLatin1String("%s"), from);
        if (at < 0)
            break;
        text.replace(at, 2, v);
        from = at + v.size();
    }
    return text;
}

// Whole KiB: what has gone is rounded down, the size up, so "of" never shows more sent than
// there is until the last byte is out.
QString KiB(qint64 bytes, bool roundUp)
{
    return QString::number(roundUp ? (bytes + 1023) / 1024 : bytes / 1024);
}

constexpr int kBarSteps = 1000;

// Reports that the window shows the same way, with only their numbers different.
bool SameSort(const TFirmwareProgress& a, const TFirmwareProgress& b)
{
    return a.stage == b.stage && (a.secondsLeft < 0) == (b.secondsLeft < 0);
}

}  // namespace

TfrmUpgradeSoft::TfrmUpgradeSoft(TFamilyRegistry& families, QWidget* parent)
    : QDialog(parent), families_(families)
{
    SetFormName(this, QStringLiteral("frmUpgradeSoft"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont base = font();
    base.setPointSize(8);
    setFont(base);

    RadioButton2 = new QRadioButton(this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setChecked(true);
    RadioButton1 = new QRadioButton(this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setMinimumWidth(260);
    Label1->setBuddy(Edit1);
    BitBtn1 = new QPushButton(this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    BitBtn1->setFixedWidth(BitBtn1->sizeHint().height() + 6);
    BitBtn2 = new QPushButton(this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setDefault(true);
    BitBtn3 = new QPushButton(this);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->SetFilter(QStringLiteral("Upgrade package(*.bin)|*.bin"));

    // The progress line takes its room from the start, so that the fixed-size window does not
    // change when an upgrade begins.
    lblProgress = new QLabel(this);
    lblProgress->setObjectName(QStringLiteral("lblProgress"));
    pbProgress = new QProgressBar(this);
    pbProgress->setObjectName(QStringLiteral("pbProgress"));
    pbProgress->setTextVisible(false);
    pbProgress->setFixedHeight(14);
    for (QWidget* w : {static_cast<QWidget*>(lblProgress), static_cast<QWidget*>(pbProgress)}) {
        QSizePolicy p = w->sizePolicy();
        p.setRetainSizeWhenHidden(true);
        w->setSizePolicy(p);
    }

    auto* kinds = new QHBoxLayout;
    kinds->addWidget(RadioButton2);
    kinds->addSpacing(16);
    kinds->addWidget(RadioButton1);
    kinds->addStretch(1);
    auto* source = new QHBoxLayout;
    source->addWidget(Label1);
    source->addWidget(Edit1, 1);
    source->addWidget(BitBtn1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn2);
    buttons->addWidget(BitBtn3);
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(16, 14, 16, 12);
    form->setSpacing(10);
    form->addLayout(kinds);
    form->addLayout(source);
    form->addWidget(lblProgress);
    form->addWidget(pbProgress);
    form->addLayout(buttons);
    form->setSizeConstraint(QLayout::SetFixedSize);

    // Captions before the language file's, for a file that lacks them.
    setWindowTitle(QStringLiteral("Select Firmware"));
    RadioButton2->setText(QStringLiteral("Embeded Web UI Firmware"));
    RadioButton1->setText(QStringLiteral("System Firmware"));
    Label1->setText(QStringLiteral("Source File:"));
    BitBtn1->setToolTip(QStringLiteral("Browse"));
    BitBtn2->setText(QStringLiteral("&Upgrade"));
    BitBtn3->setText(QStringLiteral("&Exit"));
    ApplyLanguage(this);
    // The longest progress text of this language has room: a fixed-size window would cut it.
    lblProgress->setMinimumWidth(lblProgress->fontMetrics().horizontalAdvance(
        Fill(GetResString(QStringLiteral("IDS_UPGRADE_SENDING")),
             {QStringLiteral("9999999"), QStringLiteral("9999999")})));
    SetProgressVisible(false);

    connect(BitBtn1, &QPushButton::clicked, this, &TfrmUpgradeSoft::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TfrmUpgradeSoft::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TfrmUpgradeSoft::BitBtn3Click);
    adjustSize();
    if (parent)
        move(parent->window()->geometry().center() - rect().center());
}

TfrmUpgradeSoft::~TfrmUpgradeSoft() = default;

void TfrmUpgradeSoft::BitBtn1Click()
{
    if (ICameraFirmware* firmware = families_.Get(DevFamily).Firmware())
        OpenDialog1->SetFilter(firmware->ChooserFilter(OpenDialog1->Filter()));
    const QString filter = OpenDialog1->QtFilter();
    const QString chosen = chooser_ ? chooser_(filter)
                                    : QFileDialog::getOpenFileName(this, QString(), QString(), filter);
    if (!chosen.isEmpty())
        Edit1->setText(QDir::toNativeSeparators(chosen));
}

void TfrmUpgradeSoft::BitBtn2Click()
{
    if (busy_)
        return;
    ICameraFamily& family = families_.Get(DevFamily);
    ICameraFirmware* firmware = family.Firmware();
    if (!firmware) {
        // A family that takes no firmware: nothing can be sent.
        ResMessageBox(QStringLiteral("IDS_UPGRADEFAIL"), kError, MB::ICONERROR);
        return;
    }
    TFirmwareJob job;
    job.fileName = Edit1->text().trimmed();
    job.kind = RadioButton1->isChecked() ? TFirmwareKind::System : TFirmwareKind::WebPages;
    job.ip = DevIP;
    job.port = DevPort;
    job.user = DevUser;
    job.password = DevPwd;
    job.camera = DevRecord;

    // The file is looked at before anything is sent.
    switch (firmware->CheckFile(job.fileName, job.kind)) {
    case TFirmwareCheck::kOk:
        break;
    case TFirmwareCheck::kIgnored:
        return;
    case TFirmwareCheck::kBadFile:
        ResMessageBox(QStringLiteral("IDS_ERRFILE"), kError, MB::ICONERROR);
        return;
    }

    const TFirmwareOutcome outcome = RunUpgrade(family, std::move(job));
    if (outcome.result == TFirmwareResult::kDone) {
        ResMessageBox(QStringLiteral("IDS_UPGRADESUCC"), QStringLiteral("IDS_INFORMATION"),
                      MB::ICONINFORMATION);
        closeRequested_ = false;
        accept();
        return;
    }
    if (closeRequested_) {
        // Exit or the window's close ended the upgrade: no message, just go.
        closeRequested_ = false;
        QDialog::reject();
        return;
    }
    switch (outcome.result) {
    case TFirmwareResult::kIgnored:
    case TFirmwareResult::kAborted:
        break;
    case TFirmwareResult::kBadFile:  // the file changed after the check
        ResMessageBox(QStringLiteral("IDS_ERRFILE"), kError, MB::ICONERROR);
        break;
    default:
        ResMessageBox(QStringLiteral("IDS_UPGRADEFAIL"), kError, MB::ICONERROR);
        break;
    }
}

void TfrmUpgradeSoft::BitBtn3Click()
{
    reject();
}

void TfrmUpgradeSoft::reject()
{
    if (busy_) {
        // End the running upgrade first; the click handler that waits on it closes the dialog.
        closeRequested_ = true;
        abort_ = true;
        return;
    }
    QDialog::reject();
}

TFirmwareOutcome TfrmUpgradeSoft::RunUpgrade(ICameraFamily& family, TFirmwareJob job)
{
    busy_ = true;
    abort_ = false;
    closeRequested_ = false;
    {
        const std::lock_guard<std::mutex> guard(progressLock_);
        pending_.clear();
    }
    job.abort = &abort_;
    job.progress = [this](const TFirmwareProgress& p) { PostProgress(p); };

    const QList<QWidget*> controls{RadioButton2, RadioButton1, Edit1, BitBtn1, BitBtn2};
    for (QWidget* w : controls)
        w->setEnabled(false);
    shown_ = TFirmwareProgress();
    waitSeconds_ = 0;
    SetProgressVisible(true);
    ShowProgress(shown_);
    QApplication::setOverrideCursor(Qt::BusyCursor);

    TFirmwareOutcome outcome;
    QEventLoop loop;
    QThread* worker = QThread::create([&] { outcome = UpgradeCamera(family, job); });
    connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    worker->start();
    emit upgradeStarted();
    if (!worker->isFinished())
        loop.exec();
    // The work refers to this frame: it must be over before we return. An abort is seen
    // within about a second.
    worker->wait();
    delete worker;
    // Reports still queued belong to the upgrade that has ended.
    {
        const std::lock_guard<std::mutex> guard(progressLock_);
        pending_.clear();
    }

    QApplication::restoreOverrideCursor();
    SetProgressVisible(false);
    for (QWidget* w : controls)
        w->setEnabled(true);
    busy_ = false;
    return outcome;
}

void TfrmUpgradeSoft::PostProgress(const TFirmwareProgress& p)
{
    {
        const std::lock_guard<std::mutex> guard(progressLock_);
        const bool queued = !pending_.empty();
        if (queued && SameSort(pending_.back(), p))
            pending_.back() = p;
        else
            pending_.push_back(p);
        if (queued)
            return;  // the window takes them all when it gets to the first
    }
    QMetaObject::invokeMethod(this, &TfrmUpgradeSoft::ShowPendingProgress, Qt::QueuedConnection);
}

void TfrmUpgradeSoft::ShowPendingProgress()
{
    std::vector<TFirmwareProgress> reports;
    {
        const std::lock_guard<std::mutex> guard(progressLock_);
        reports.swap(pending_);
    }
    for (const TFirmwareProgress& p : reports) {
        if (!busy_)
            break;
        ShowProgress(p);
    }
}

void TfrmUpgradeSoft::ShowProgress(const TFirmwareProgress& p)
{
    using TStage = TFirmwareProgress::TStage;
    switch (p.stage) {
    case TStage::Connecting:
        lblProgress->setText(ForDisplay(GetResString(QStringLiteral("IDS_UPGRADE_CONNECTING"))));
        pbProgress->setRange(0, 0);  // no measure yet: the bar just moves
        break;
    case TStage::Sending: {
        const qint64 total = std::max<qint64>(p.bytesTotal, 0);
        const qint64 sent = std::clamp<qint64>(p.bytesSent, 0, total);
        lblProgress->setText(ForDisplay(Fill(GetResString(QStringLiteral("IDS_UPGRADE_SENDING")),
                                             {sent == total ? KiB(sent, true) : KiB(sent, false),
                                              KiB(total, true)})));
        pbProgress->setRange(0, kBarSteps);
        pbProgress->setValue(total > 0 ? int(sent * kBarSteps / total) : 0);
        break;
    }
    case TStage::WaitingForCamera:
        if (p.secondsLeft < 0) {
            lblProgress->setText(ForDisplay(GetResString(QStringLiteral("IDS_UPGRADE_LOOKING"))));
            pbProgress->setRange(0, 0);
            break;
        }
        // A new wait starts when the stage changes or the count goes up again.
        if (shown_.stage != TStage::WaitingForCamera || shown_.secondsLeft < 0 ||
            p.secondsLeft > shown_.secondsLeft || waitSeconds_ <= 0)
            waitSeconds_ = std::max(p.secondsLeft, 1);
        lblProgress->setText(ForDisplay(Fill(GetResString(QStringLiteral("IDS_UPGRADE_WAITING")),
                                             {QString::number(p.secondsLeft)})));
        pbProgress->setRange(0, waitSeconds_);
        pbProgress->setValue(std::clamp(waitSeconds_ - p.secondsLeft, 0, waitSeconds_));
        break;
    }
    shown_ = p;
    emit progressShown();
}

void TfrmUpgradeSoft::SetProgressVisible(bool visible)
{
    lblProgress->setVisible(visible);
    pbProgress->setVisible(visible);
    if (!visible)
        lblProgress->clear();
}
