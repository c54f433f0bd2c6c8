#pragma once
// The driver of the HTTP-CGI family (family 9): found and re-addressed over UDP port 8600,
// configured through the CGI pages of its web server. The family object owns one driver for
// the whole run. Every camera operation names its camera; the driver keeps per camera what it
// read (wireless settings, DDNS parameters) and reads again for another camera.

#include "CgiPackets.h"
#include "CgiRecvThread.h"
#include "DevInfo.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

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

// How a firmware upload reports its progress and is ended early; both optional. progress
// gets the bytes of the request body sent and its size, on the uploading thread.
struct TCgiUploadControl {
    std::function<void(qint64 sent, qint64 total)> progress;
    const std::atomic<bool>* abort = nullptr;
};

class ICgiCamera {
public:
    virtual ~ICgiCamera() = default;

    // Broadcasts the search probe to port, out of each of adapters (interface indexes; none:
    // as the routing table sends it), and starts a receive thread; each camera found goes to
    // callback on the driver's thread, with the adapter it answered on. With a context object,
    // records that arrive after it is gone are dropped. Sends nothing while the previous
    // search still holds its port.
    virtual void Search(quint16 port, TCgiSearchCallback callback, QObject* context = nullptr,
                        const std::vector<quint32>& adapters = {}) = 0;
    // Broadcasts the new settings of the camera with next's MAC out of the adapter current
    // answered on (every search adapter when that is not known) and waits briefly for its
    // answer; true when it accepted them. ip and port do not take part in addressing.
    virtual bool SetNetwork(const QString& ip, quint16 port, const QString& user,
                            const QString& password, const TDevInfo& next,
                            const TDevInfo& current) = 0;
    // True when the camera at baseUrl answers and does not say "Auth Failed".
    virtual bool CheckLogin(const QString& baseUrl, const QString& user,
                            const QString& password) = 0;
    // Fills list with the networks cam sees; their count, or -1.
    virtual int ScanWiFiList(const TDevInfo& cam, const QString& user, const QString& password,
                             TWiFiList& list) = 0;
    // cam's wireless settings, read from the camera the first time only (a failed read is not
    // kept); none when the camera could not be read or its answer held no values.
    virtual std::optional<TCgiWiFiParams> GetWiFiParams(const TDevInfo& cam, const QString& user,
                                                        const QString& password) = 0;
    // Sends wireless settings to cam and restarts it (TCgiWiFiResult); taken settings are
    // what GetWiFiParams gives for cam from then on.
    virtual int SetWiFiParams(const TDevInfo& cam, const QString& user, const QString& password,
                              const TCgiWiFiParams& params) = 0;
    // The DDNS parameters of the camera at baseUrl, read anew unless useCache is set and they
    // were read before. Values an answer does not give keep what an earlier answer gave.
    virtual TCgiFactoryParams GetFactoryParams(const QString& baseUrl, const QString& user,
                                               const QString& password, bool useCache) = 0;
    // Sends DDNS parameters to the camera at baseUrl (TCgiDdnsResult).
    virtual int SetDDNSParams(const QString& baseUrl, const TCgiFactoryParams& params,
                              const QString& user, const QString& password) = 0;
    // Uploads a firmware file; true when the camera took it without an error. With cam
    // given, its version decides where the upload goes; without, the camera is asked. An
    // abort ends the upload with false (not the question, which takes at most 20 s).
    virtual bool UpgradeSystem(const QString& baseUrl, const QString& user, const QString& fileName,
                               const QString& password, const TDevInfo* cam = nullptr,
                               const TCgiUploadControl& control = {}) = 0;
    virtual bool UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                            const QString& password, const TDevInfo* cam = nullptr,
                            const TCgiUploadControl& control = {}) = 0;
};

// The driver. Camera operations block their caller (up to the time-outs below) and may run on
// any thread; records of a search go to the thread that created the driver.
class TT924Series final : public ICgiCamera {
public:
    TT924Series();
    ~TT924Series() override;
    TT924Series(const TT924Series&) = delete;
    TT924Series& operator=(const TT924Series&) = delete;

    void Search(quint16 port, TCgiSearchCallback callback, QObject* context = nullptr,
                const std::vector<quint32>& adapters = {}) override;
    bool SetNetwork(const QString& ip, quint16 port, const QString& user, const QString& password,
                    const TDevInfo& next, const TDevInfo& current) override;
    bool CheckLogin(const QString& baseUrl, const QString& user, const QString& password) override;
    int ScanWiFiList(const TDevInfo& cam, const QString& user, const QString& password,
                     TWiFiList& list) override;
    std::optional<TCgiWiFiParams> GetWiFiParams(const TDevInfo& cam, const QString& user,
                                                const QString& password) override;
    int SetWiFiParams(const TDevInfo& cam, const QString& user, const QString& password,
                      const TCgiWiFiParams& params) override;
    TCgiFactoryParams GetFactoryParams(const QString& baseUrl, const QString& user,
                                       const QString& password, bool useCache) override;
    int SetDDNSParams(const QString& baseUrl, const TCgiFactoryParams& params, const QString& user,
                      const QString& password) override;
    bool UpgradeSystem(const QString& baseUrl, const QString& user, const QString& fileName,
                       const QString& password, const TDevInfo* cam = nullptr,
                       const TCgiUploadControl& control = {}) override;
    bool UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                    const QString& password, const TDevInfo* cam = nullptr,
                    const TCgiUploadControl& control = {}) override;

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
    bool Upgrade(const char* path, const QString& baseUrl, const QString& user,
                 const QString& fileName, const QString& password, const TDevInfo* cam,
                 const TCgiUploadControl& control);

    std::unique_ptr<QObject> relay_;  // lives on the driver's thread; records are run there
    std::vector<std::unique_ptr<TRecvThread>> threads_;
    mutable std::mutex cacheMutex_;
    std::map<QString, TCgiWiFiParams> wifi_;         // by camera MAC
    std::map<QString, TCgiFactoryParams> factory_;   // by camera address
};
