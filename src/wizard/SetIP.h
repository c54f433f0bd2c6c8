#pragma once
// Step 4: the chosen camera gets a fixed address in the PC's subnet (decided from its record,
// its MAC text and the PC's adapter, without asking), is found again there, and its web page
// is checked; then its LAN address is shown. The sequence starts each time the page is shown.

#include "DevInfo.h"
#include "WizardPage.h"
#include "WizardThread.h"

#include <QColor>
#include <functional>
#include <memory>

class QLabel;
class QLineEdit;
class TClockTimer;
class TImage;
class TSpeedButton;
class TfrmAuthInput;

class TfrmEsy_SetIP : public TWizardPage {
    Q_OBJECT
    // True from the moment new settings are decided until the wait for the camera has ended:
    // the main window does not close meanwhile.
    Q_PROPERTY(bool Applying READ Applying)
public:
    // The camera is looked for at its new address after this wait, then every 100 ms so many times.
    static constexpr int kSettleMs = 30000;
    static constexpr int kPollMs = 100;
    static constexpr int kPolls = 500;
    static constexpr int kStartMs = 100;
    static constexpr int kBackMs = 200;

    explicit TfrmEsy_SetIP(IPageHost* host);
    ~TfrmEsy_SetIP() override;

    bool Back() override;
    // Confirms the camera's login (asking only when the stored one is refused), then step 5.
    bool Next() override;
    bool Applying() const { return applying_; }
    // The sequence is between its start and its end (shown again meanwhile, it goes on).
    bool Busy() const { return busy_; }

    // The millisecond part of the time of day, for a camera without a usable MAC text.
    void SetClockMillis(std::function<int()> f) { clockMs_ = std::move(f); }

    QLabel* lblChecking;
    TImage* Image1;
    QLabel* lblOK;
    QLabel* Label10;
    QLineEdit* edLanUrl;
    TSpeedButton* spbOpenLanUrl;
    TImage* imgArrow;
    QLabel* lblDevAuthInfo;

    void Timer2Timer();
    void spbOpenLanUrlClick();

protected:
    void FormShow() override;
    void FormHide() override;

private:
    void ApplyAndWait(const TDevInfo& rec, const TDevInfo& next);
    void Poll();
    void EndWait(bool found);
    void AccessCheck(const TDevInfo& rec, bool ok);
    void Checked(bool reachable);
    void SetApplying(bool on);
    void ShowResult(bool on);

    bool applying_ = false;
    bool busy_ = false;
    std::function<int()> clockMs_;
    std::unique_ptr<TClockTimer> timer2_;
    std::unique_ptr<TClockTimer> wait_;
    int polls_ = 0;
    QString waitMac_;  // CurDevMac when the wait began
    TDevInfo waitFor_;
    TThreadKeeper checks_;
};
