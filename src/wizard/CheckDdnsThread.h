#pragma once
// Step 6's check, line by line: the camera's own DDNS settings where its family reads them,
// then the registration, asked of the camera itself or of the check service (HTTP on port 808
// of the camera's DDNS server). Every outcome is a report; nothing is shown by the thread.

#include "DdnsCheckService.h"
#include "DevInfo.h"
#include "WizardThread.h"

class ICameraFamily;

class TCheckDDNSThread final : public TWizardThread {
public:
    // family must outlive the thread. fetch, when given, replaces the HTTP GET of the check
    // service (tests); the thread's requests end early when it is cancelled either way.
    TCheckDDNSThread(ICameraFamily& family, const TDevInfo& rec, const QString& pwd, const QString& user,
                     const QString& baseUrl, ddns::TDdnsCheckService::Fetch fetch = {});
    ~TCheckDDNSThread() override;

    // The fields the check works with (stage 1 may replace the DDNS values with the camera's).
    const qint32 Family;
    QString DdnsServer;
    QString DdnsUser;
    QString DdnsPwd;
    const QString Host;
    const quint16 Port;
    const QString BaseUrl;
    const QString User;
    const QString Pwd;

protected:
    void Execute() override;

private:
    void StageTwoOverHttp();
    static QString Text(const char* key);

    ICameraFamily& family_;
    const TDevInfo rec_;
    ddns::TDdnsCheckService::Fetch fetch_;
};
