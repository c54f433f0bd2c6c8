#pragma once
// The HTTP-CGI camera family (family 9): found and re-addressed over UDP port 8600, configured
// through the CGI pages of its web server. One driver serves the family for the whole run,
// reached through ICgiCamera in the process-wide CgiCamera.

#include "CgiPackets.h"
#include "CgiRecvThread.h"
#include "DevInfo.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

class DiscoveryEngine;
class TDeviceList;

// One entry of the list a scan fills: its text and the network it shows.
struct TWiFiListItem {
    QString text;
    std::unique_ptr<TWiFiRecord> record;
};
using TWiFiList = std::vector<TWiFiListItem>;

// SetWiFiParams results.
enum TCgiWiFiResult : int {
    kWiFiNotTaken = 0,      // request failed or the camera did not take the settings
    kWiFiRestarting = 1,    // settings taken, restart requested
    kWiFiRestartFailed = 2  // settings taken, the restart request failed
};
// SetDDNSParams results.
enum TCgiDdnsResult : int { kDdnsAccepted = 0, kDdnsRefused = 1, kDdnsRequestFailed = 2 };

class ICgiCamera {
public:
    virtual ~ICgiCamera() = default;

    // Broadcasts the search probe to port and starts a receive thread; each camera found goes
    // to callback on the driver's thread. With a context object, records that arrive after it
    // is gone are dropped. Sends nothing while the previous search still holds its port.
    virtual void Search(quint16 port, TCgiSearchCallback callback, QObject* context = nullptr) = 0;
    // Broadcasts the new settings of the camera with next's MAC and waits briefly for its
    // answer; true when it accepted them. ip, port and current do not take part in addressing.
    virtual bool SetNetwork(const QString& ip, quint16 port, const QString& user,
                            const QString& password, const TDevInfo& next,
                            const TDevInfo& current) = 0;
    // Keeps a reference to rec (owned by the device list). With the list given, the reference
    // counts only while the list still holds that record for the same camera.
    virtual void SetCurrentDevice(TDevInfo* rec, const TDeviceList* owner = nullptr) = 0;
    virtual TDevInfo* GetCurrentDevice() = 0;
    // True when the camera at baseUrl answers and does not say "Auth Failed".
    virtual bool CheckLogin(const QString& baseUrl, const QString& user,
                            const QString& password) = 0;
    // Fills list with the networks the current camera sees; their count, or -1.
    virtual int ScanWiFiList(const QString& user, const QString& password, TWiFiList& list) = 0;
    // The driver's wireless settings, read from the camera the first time only; null when the
    // camera's answer held no values.
    virtual TCgiWiFiParams* GetWiFiParams(const QString& user, const QString& password) = 0;
    // Sends the driver's wireless settings and restarts the camera (TCgiWiFiResult).
    virtual int SetWiFiParams(const QString& user, const QString& password) = 0;
    // The driver's DDNS parameters, read anew unless useCache is set and they were read
    // before. A worker thread passes the camera's base URL instead of relying on the current
    // camera, which belongs to the user-interface thread.
    virtual TCgiFactoryParams* GetFactoryParams(const QString& user, const QString& password,
                                                bool useCache,
                                                const QString& baseUrl = QString()) = 0;
    // Sends the driver's DDNS parameters (TCgiDdnsResult).
    virtual int SetDDNSParams(const QString& user, const QString& password) = 0;
    // Uploads a firmware file; true when the camera took it without an error.
    virtual bool UpgradeSystem(const QString& baseUrl, const QString& user,
                               const QString& fileName, const QString& password) = 0;
    virtual bool UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                            const QString& password) = 0;

    // The window layer shows its wait cursor through this (true: busy, false: restore).
    virtual void SetBusyIndicator(std::function<void(bool)> indicator) = 0;
    // A copy of the DDNS parameters taken under the driver's lock, for other threads.
    virtual TCgiFactoryParams FactoryParamsCopy() const = 0;
};

class TT924Series final : public ICgiCamera {
public:
    // Records of a search go to the thread that creates the driver.
    TT924Series();
    ~TT924Series() override;
    TT924Series(const TT924Series&) = delete;
    TT924Series& operator=(const TT924Series&) = delete;

    void Search(quint16 port, TCgiSearchCallback callback, QObject* context = nullptr) override;
    bool SetNetwork(const QString& ip, quint16 port, const QString& user, const QString& password,
                    const TDevInfo& next, const TDevInfo& current) override;
    void SetCurrentDevice(TDevInfo* rec, const TDeviceList* owner = nullptr) override;
    TDevInfo* GetCurrentDevice() override;
    bool CheckLogin(const QString& baseUrl, const QString& user, const QString& password) override;
    int ScanWiFiList(const QString& user, const QString& password, TWiFiList& list) override;
    TCgiWiFiParams* GetWiFiParams(const QString& user, const QString& password) override;
    int SetWiFiParams(const QString& user, const QString& password) override;
    TCgiFactoryParams* GetFactoryParams(const QString& user, const QString& password,
                                        bool useCache, const QString& baseUrl = QString()) override;
    int SetDDNSParams(const QString& user, const QString& password) override;
    bool UpgradeSystem(const QString& baseUrl, const QString& user, const QString& fileName,
                       const QString& password) override;
    bool UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                    const QString& password) override;
    void SetBusyIndicator(std::function<void(bool)> indicator) override;
    TCgiFactoryParams FactoryParamsCopy() const override;

    // Receive threads still running (finished ones are reaped by the next search).
    int RunningSearches() const;
    // Stops and joins every receive thread.
    void StopSearches();

    // Milliseconds between the scan request and the request for its result.
    static constexpr int kScanSettleMs = 200;
    static constexpr int kLoginTimeoutMs = 5000;
    static constexpr int kParamsTimeoutMs = 10000;
    static constexpr int kFactoryTimeoutMs = 5000;
    static constexpr int kStatusTimeoutMs = 20000;
    static constexpr int kAnswerWaitMs = 30;
    // A LAN that keeps sending other datagrams must not hold an address change forever.
    static constexpr int kAnswerWaitLimitMs = 1000;

private:
    class TBusy;
    // The current camera, or null when none is set or its row is gone.
    TDevInfo* Current() const;
    bool Upgrade(const char* path, const QString& baseUrl, const QString& user,
                 const QString& fileName, const QString& password);

    std::unique_ptr<QObject> relay_;  // lives on the driver's thread; records are run there
    TDevInfo* current_ = nullptr;
    const TDeviceList* currentOwner_ = nullptr;
    QString currentMac_;
    std::unique_ptr<TCgiWiFiParams> wifi_;
    std::unique_ptr<TCgiFactoryParams> factory_;
    mutable std::mutex factoryMutex_;
    std::function<void(bool)> busy_;
    std::vector<std::unique_ptr<TRecvThread>> threads_;
};

// The process-wide driver; null before TCgiCameraScope creates it and after it ends.
extern ICgiCamera* CgiCamera;

// Creates the process-wide driver on construction and releases it on destruction; made once
// at start-up on the user-interface thread, after the application object.
class TCgiCameraScope {
public:
    TCgiCameraScope();
    ~TCgiCameraScope();
    TCgiCameraScope(const TCgiCameraScope&) = delete;
    TCgiCameraScope& operator=(const TCgiCameraScope&) = delete;

private:
    std::unique_ptr<TT924Series> driver_;
};

// Lets the family-9 search join the engine's tick: each pass searches through CgiCamera on
// port 8600 and merges what it finds through the engine, as any parsed reply is merged.
void JoinCgiSearch(DiscoveryEngine& engine);
