#pragma once
// The modal countdown while a camera restarts: it ends when the camera is listed again (after
// the first 31 seconds, so that the row of the camera before its restart does not count), when
// the time runs out, or when the user confirms that the wait is to be cancelled.

#include "Clock.h"

#include <QDialog>
#include <memory>

class QLabel;
class QPushButton;
class TDeviceList;

class TfrmCountdown : public QDialog {
    Q_OBJECT
public:
    enum TResult { kFound = 0, kCancelled = 1, kTimeOut = 2 };
    static constexpr int kClientWidth = 252;
    static constexpr int kClientHeight = 172;
    // The camera is looked for only after this many seconds of the wait.
    static constexpr int kQuietSecs = 30;

    // list is the advanced window's camera list; both must outlive the dialog.
    TfrmCountdown(const TDeviceList& list, IClock& clock, QWidget* parent = nullptr);
    ~TfrmCountdown() override;

    int TotalSecs = 60;
    int LeftSecs = 60;
    bool Blink = false;
    int WaitResult = kCancelled;
    QString KeyMac;
    QString KeyIP;

    QLabel* lblHint;
    QLabel* lblTime;
    QPushButton* btnCancel;

    // The wait's length and camera; a non-empty hint replaces the language file's and blinks.
    void Setup(int seconds, const QString& mac, const QString& ip, const QString& hint);
    // Timer1 (every second) and Timer2 (every 100 ms) run between these two.
    void StartTimers();
    void StopTimers();
    bool Finished() const { return finished_; }

    void Timer1Timer();
    void Timer2Timer();
    void btnCancelClick();

    // Escape.
    void reject() override;

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    // Any close but "found" and "time out": asks first; true when the user says Yes.
    bool ConfirmCancel();
    void Finish();

    const TDeviceList& list_;
    IClock& clock_;
    std::unique_ptr<TClockTimer> timer1_;
    std::unique_ptr<TClockTimer> timer2_;
    bool finished_ = false;
    bool asking_ = false;
};
