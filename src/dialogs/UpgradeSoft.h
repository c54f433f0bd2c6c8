#pragma once
// The firmware upgrade dialog: the user picks a file of one of two kinds (the camera's system
// firmware or its web pages) and sends it the way of the camera's family (ICameraFirmware).
// The caller sets the Dev* values and shows it modally: Accepted after a successful upgrade,
// Rejected on every other way out.
//
// The upgrade runs on a worker thread. Meanwhile the dialog stays modal and keeps painting,
// shows how far the upload has got (bytes sent, then the seconds of each wait for the camera)
// with the busy cursor, and every control but Exit is disabled. Exit (or closing the window)
// ends the running upgrade and closes the dialog once it has stopped.

#include "CameraFirmware.h"
#include "DevInfo.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class TFamilyRegistry;
class TOpenDialog;

class TfrmUpgradeSoft : public QDialog {
    Q_OBJECT
public:
    // families must outlive the dialog.
    explicit TfrmUpgradeSoft(TFamilyRegistry& families, QWidget* parent = nullptr);
    ~TfrmUpgradeSoft() override;

    // The camera, set by the caller before the dialog is shown.
    QString DevIP;
    QString DevUser;
    QString DevPwd;
    qint32 DevPort = 80;  // the camera's device (web) port
    qint32 DevFamily = 0;
    // The camera's record from the list, when the caller has one (family 9 chooses where its
    // upload goes by the record's version and asks the camera without it).
    std::optional<TDevInfo> DevRecord;

    QRadioButton* RadioButton2;  // web pages, selected at start
    QRadioButton* RadioButton1;  // system firmware
    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn1;  // browse
    QPushButton* BitBtn2;  // upgrade
    QPushButton* BitBtn3;  // exit
    TOpenDialog* OpenDialog1;
    QLabel* lblProgress;
    QProgressBar* pbProgress;

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();

    // The file chooser: gets the chooser's filter in Qt's form, answers the chosen path or an
    // empty text. Tests replace it; an empty function restores the file dialog.
    using FileChooser = std::function<QString(const QString& qtFilter)>;
    void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

    bool Busy() const { return busy_; }
    // The last progress shown (Connecting before the first report).
    TFirmwareProgress LastProgress() const { return shown_; }

signals:
    // The worker has started the upgrade (tests wait on it).
    void upgradeStarted();
    // A progress report has been put on the window.
    void progressShown();

protected:
    void reject() override;

private:
    // The upgrade itself off the user-interface thread; the outcome once it has ended.
    TFirmwareOutcome RunUpgrade(ICameraFamily& family, TFirmwareJob job);
    // Worker side of a report: queues it for the window, in place of a queued one of the same
    // sort (bytes replace bytes, seconds replace seconds), so that the window never falls
    // behind yet shows every step at least once.
    void PostProgress(const TFirmwareProgress& p);
    void ShowPendingProgress();
    void ShowProgress(const TFirmwareProgress& p);
    void SetProgressVisible(bool visible);

    TFamilyRegistry& families_;
    FileChooser chooser_;
    bool busy_ = false;
    bool closeRequested_ = false;
    std::atomic<bool> abort_{false};
    std::mutex progressLock_;
    std::vector<TFirmwareProgress> pending_;  // guarded by progressLock_
    TFirmwareProgress shown_;
    int waitSeconds_ = 0;  // the length of the wait being counted down
};
