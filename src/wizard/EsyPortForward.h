#pragma once
// Step 7: can the camera be reached from the Internet? TCheckFortwordThread asks the check
// service; when it cannot, the router's port mapping can be set (TfrmPortForward) and the check
// run again, or the router's own page opened.

#include "RouterList.h"
#include "WizardPage.h"
#include "WizardThread.h"

#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TImage;
class TSpeedButton;

class TfrmEsy_PortForward : public TWizardPage {
    Q_OBJECT
public:
    explicit TfrmEsy_PortForward(IPageHost* host);

    bool Back() override;
    // The next camera gets the next number.
    bool Next() override;

    // Where the port-mapping dialog finds the router list and plug-ins (tests).
    void SetPortMapSetup(const TPortMapSetup& setup) { setup_ = setup; }

    QLabel* Label1;
    QLineEdit* edIP;
    QLabel* Label2;
    QLineEdit* edPort;
    QLabel* Label5;
    QLineEdit* edDataPort;
    QLabel* Label4;
    QLineEdit* edRouterIP;
    TSpeedButton* spbOpenRouter;
    QLabel* Label6;
    QLineEdit* edOuterUrl;
    TSpeedButton* spbOpenOuter;
    TImage* imgArrow;
    QLabel* lblOK;
    QLabel* Label3;
    QPlainTextEdit* memResult;
    QPushButton* btnCheck;
    QPushButton* BitBtn1;

    const QStringList& Lines() const { return lines_; }
    int RunningChecks() const { return checks_.Running(); }

    void btnCheckClick();
    void BitBtn1Click();
    void spbOpenOuterClick();
    void spbOpenRouterClick();
    void OnStep(int kind, const QString& text);

protected:
    void FormShow() override;
    void FormHide() override;

private:
    void StartCheck(const TDevInfo& rec);
    void ClearReport();

    TPortMapSetup setup_ = TPortMapSetup::Default();
    QStringList lines_;
    TThreadKeeper checks_;
};
