#pragma once
// Step 6: is the camera set up for dynamic DNS and registered with its service? The check runs
// in a TCheckDDNSThread and reports line by line; for a family whose DDNS settings can be
// changed, Modify opens TfrmEsy_SetDDNS, waits for the camera's return and checks again.

#include "WizardPage.h"
#include "WizardThread.h"

#include <QStringList>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class TSpeedButton;

class TfrmEsy_ChkDDNS : public TWizardPage {
    Q_OBJECT
public:
    static constexpr int kRestartSecs = 40;

    explicit TfrmEsy_ChkDDNS(IPageHost* host);

    bool Back() override;
    bool Next() override;

    QLabel* Label2;
    QLineEdit* edDDNSID;
    QLabel* Label3;
    QLineEdit* edDDNSServer;
    QLabel* lblOK;
    TSpeedButton* spbChangeDDNS;
    TSpeedButton* spbCheck;
    QLabel* Label4;
    QPlainTextEdit* memResult;

    // The report's lines.
    const QStringList& Lines() const { return lines_; }
    // Checks still running (the page's and detached ones).
    int RunningChecks() const { return checks_.Running(); }

    void spbCheckClick();
    void spbChangeDDNSClick();
    void OnStep(int kind, const QString& text);

protected:
    void FormShow() override;
    void FormHide() override;

private:
    void StartCheck(const TDevInfo& rec);
    void ClearReport();

    QStringList lines_;
    TThreadKeeper checks_;
};
