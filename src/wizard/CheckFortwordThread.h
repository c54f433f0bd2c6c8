#pragma once
// Step 7's check: can the camera be reached from the Internet? The DDNS service gives the
// camera's public address; the check service is asked (up to three times) to fetch a file
// from there. Every outcome is a report line (StepReport.h); nothing is shown by the thread.

#include "DdnsCheckService.h"
#include "WizardThread.h"

class TCheckFortwordThread final : public TWizardThread {
public:
    static constexpr int kAttempts = 3;
    static constexpr int kPauseMs = 500;

    // Only the DDNS server and account take part; password, user and outer address are kept
    // for completeness. fetch, when given, replaces the HTTP GET of the service (tests).
    TCheckFortwordThread(const QString& ddnsServer, const QString& ddnsUser, const QString& pwd, const QString& user,
                         const QString& outerUrl, ddns::TDdnsCheckService::Fetch fetch = {});
    ~TCheckFortwordThread() override;

    const QString DdnsServer;
    const QString DdnsUser;
    const QString Pwd;
    const QString User;
    const QString OuterUrl;

protected:
    void Execute() override;

private:
    ddns::TDdnsCheckService::Fetch fetch_;
};
