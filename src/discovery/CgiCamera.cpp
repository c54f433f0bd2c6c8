#include "CgiCamera.h"

#include "CgiUpload.h"
#include "DeviceList.h"
#include "DiscoveryEngine.h"
#include "Probes.h"
#include "Tools.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

ICgiCamera* CgiCamera = nullptr;

namespace {

// A GET without Basic credentials, the way every family-9 page but the restart is asked.
bool Get(const QString& url, int timeoutMs, QString& text)
{
    return TTools::HttpGetText(url, QString(), QString(), timeoutMs, text);
}

}  // namespace

// Shows the busy indicator for the lifetime of the object, on every way out.
class TT924Series::TBusy {
public:
    explicit TBusy(const std::function<void(bool)>& indicator) : indicator_(indicator)
    {
        if (indicator_)
            indicator_(true);
    }
    ~TBusy()
    {
        if (indicator_)
            indicator_(false);
    }
    TBusy(const TBusy&) = delete;
    TBusy& operator=(const TBusy&) = delete;

private:
    const std::function<void(bool)>& indicator_;
};

TT924Series::TT924Series() : relay_(std::make_unique<QObject>()) {}

TT924Series::~TT924Series()
{
    StopSearches();
}

void TT924Series::StopSearches()
{
    for (auto& t : threads_)
        t->Stop();
    threads_.clear();  // each destructor joins its thread
}

int TT924Series::RunningSearches() const
{
    return int(std::count_if(threads_.begin(), threads_.end(),
                             [](const auto& t) { return !t->IsFinished(); }));
}

void TT924Series::Search(quint16 port, TCgiSearchCallback callback, QObject* context)
{
    threads_.erase(std::remove_if(threads_.begin(), threads_.end(),
                                  [](const auto& t) { return t->IsFinished(); }),
                   threads_.end());
    TCgiUdpSocket socket;
    if (!socket.Open())
        return;
    // Taken while an earlier search still listens: this pass sends nothing, the next tries.
    if (!socket.Bind(Cgi::kSearchLocalPort))
        return;
    socket.AllowBroadcast();
    socket.SendBroadcast(Cgi::SearchProbe(), port);
    auto thread = std::make_unique<TRecvThread>(std::move(socket), std::move(callback),
                                                relay_.get(), context);
    thread->Start();
    threads_.push_back(std::move(thread));
}

bool TT924Series::SetNetwork(const QString& ip, quint16 port, const QString& user,
                             const QString& password, const TDevInfo& next,
                             const TDevInfo& current)
{
    // The camera is addressed by the MAC inside the packet.
    Q_UNUSED(ip);
    Q_UNUSED(port);
    Q_UNUSED(current);
    const QByteArray packet = Cgi::AddressChange(next, user, password);
    if (packet.isEmpty())
        return false;
    TCgiUdpSocket socket;
    if (!socket.Open())
        return false;
    socket.Bind(Cgi::kPort);  // the answer may come to the port or to whatever we got
    socket.AllowBroadcast();
    if (!socket.SendBroadcast(packet, Cgi::kPort))
        return false;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < kAnswerWaitLimitMs) {
        if (socket.WaitReadable(kAnswerWaitMs) != TCgiUdpSocket::TWait::Ready)
            return false;
        switch (Cgi::ParseAddressChangeAnswer(socket.Receive(Cgi::kAnswerSize))) {
        case Cgi::TAnswer::Accepted:
            return true;
        case Cgi::TAnswer::Refused:
            return false;
        case Cgi::TAnswer::NotAnswer:
            break;  // our own broadcast, another packet: keep waiting
        }
    }
    return false;
}

void TT924Series::SetCurrentDevice(TDevInfo* rec, const TDeviceList* owner)
{
    current_ = rec;
    currentOwner_ = rec ? owner : nullptr;
    currentMac_ = rec ? rec->Mac : QString();
}

TDevInfo* TT924Series::Current() const
{
    if (!current_ || !currentOwner_)
        return current_;
    // Rows come and go with the search; a record that left the list, or whose memory now
    // holds another camera, is no longer the current camera.
    if (currentOwner_->FindItemByRecord(current_) < 0 || current_->Mac != currentMac_)
        return nullptr;
    return current_;
}

TDevInfo* TT924Series::GetCurrentDevice()
{
    return Current();
}

bool TT924Series::CheckLogin(const QString& baseUrl, const QString& user, const QString& password)
{
    QString text;
    return Get(Cgi::CheckLoginUrl(baseUrl, user, password), kLoginTimeoutMs, text) &&
           !text.contains(QStringLiteral("Auth Failed"));
}

int TT924Series::ScanWiFiList(const QString& user, const QString& password, TWiFiList& list)
{
    list.clear();
    const TDevInfo* cur = Current();
    if (!cur)
        return -1;
    const QString scanBase = Cgi::ScanBase(*cur);
    QString text;
    if (!Get(Cgi::ScanUrl(scanBase, user, password), kLoginTimeoutMs, text) ||
        !text.contains(QStringLiteral("ok")))
        return -1;
    QThread::msleep(kScanSettleMs);
    if (!Get(Cgi::ScanResultUrl(scanBase, user, password), kLoginTimeoutMs, text) ||
        !text.contains(QStringLiteral("var")))
        return -1;
    std::vector<TWiFiRecord> records = Cgi::ParseScanResult(text);
    list.reserve(records.size());
    for (TWiFiRecord& r : records) {
        QString itemText = Cgi::ScanItemText(r);
        list.push_back({std::move(itemText), std::make_unique<TWiFiRecord>(std::move(r))});
    }
    return int(list.size());
}

TCgiWiFiParams* TT924Series::GetWiFiParams(const QString& user, const QString& password)
{
    // Read once, then kept for the whole run, whichever camera is chosen later.
    if (wifi_)
        return wifi_.get();
    const TDevInfo* cur = Current();
    if (!cur)
        return nullptr;
    wifi_ = std::make_unique<TCgiWiFiParams>();
    TBusy busy(busy_);
    QString text;
    if (!Get(Cgi::GetParamsUrl(Cgi::BaseUrl(*cur), user, password), kParamsTimeoutMs, text))
        return wifi_.get();
    if (!text.contains(QStringLiteral("var")))
        return nullptr;
    Cgi::ParseWiFiParams(text, *wifi_);
    return wifi_.get();
}

int TT924Series::SetWiFiParams(const QString& user, const QString& password)
{
    const TDevInfo* cur = Current();
    if (!wifi_ || !cur)
        return kWiFiNotTaken;
    const QString base = Cgi::BaseUrl(*cur);
    TBusy busy(busy_);
    QString text;
    if (!Get(Cgi::SetWiFiUrl(base, user, password, *wifi_), kParamsTimeoutMs, text) ||
        !text.contains(QStringLiteral("reboot")))
        return kWiFiNotTaken;
    QString ignored;
    return HttpGetAuth(Cgi::RebootUrl(base), kParamsTimeoutMs, user, password, ignored)
               ? kWiFiRestarting
               : kWiFiRestartFailed;
}

TCgiFactoryParams* TT924Series::GetFactoryParams(const QString& user, const QString& password,
                                                 bool useCache, const QString& baseUrl)
{
    {
        std::lock_guard lock(factoryMutex_);
        if (!factory_)
            factory_ = std::make_unique<TCgiFactoryParams>();
        else if (useCache)
            return factory_.get();
    }
    QString base = baseUrl;
    if (base.isEmpty()) {
        // The device list belongs to the user-interface thread; elsewhere only the reference.
        const bool ownThread = QThread::currentThread() == relay_->thread();
        const TDevInfo* cur = ownThread ? Current() : current_;
        if (cur)
            base = Cgi::BaseUrl(*cur);
    }
    QString text;
    const bool ok = !base.isEmpty() &&
                    Get(Cgi::FactoryUrl(base, user, password), kFactoryTimeoutMs, text);
    std::lock_guard lock(factoryMutex_);
    Cgi::ReadFactoryAnswer(ok, text, *factory_);
    return factory_.get();
}

TCgiFactoryParams TT924Series::FactoryParamsCopy() const
{
    std::lock_guard lock(factoryMutex_);
    return factory_ ? *factory_ : TCgiFactoryParams();
}

int TT924Series::SetDDNSParams(const QString& user, const QString& password)
{
    TCgiFactoryParams params;
    {
        std::lock_guard lock(factoryMutex_);
        if (!factory_)
            return kDdnsRequestFailed;
        params = *factory_;
    }
    const TDevInfo* cur = Current();
    if (!cur)
        return kDdnsRequestFailed;
    QString text;
    if (!Get(Cgi::SetDdnsUrl(Cgi::BaseUrl(*cur), params, user, password), kParamsTimeoutMs, text))
        return kDdnsRequestFailed;
    return text.contains(QStringLiteral("ok")) ? kDdnsAccepted : kDdnsRefused;
}

bool TT924Series::Upgrade(const char* path, const QString& baseUrl, const QString& user,
                          const QString& fileName, const QString& password)
{
    QString version;
    QString host;
    if (const TDevInfo* cur = Current()) {
        version = cur->Version;
        host = cur->IP;
    } else {
        QString text;
        if (Get(Cgi::StatusUrl(baseUrl, user, password), kStatusTimeoutMs, text) &&
            !text.isEmpty())
            version = Cgi::StatusVersion(text);
        host = Cgi::HostOfBaseUrl(baseUrl);
    }
    TFirmwarePost post;
    post.url = Cgi::UploadUrl(version, baseUrl, host, path, user, password);
    post.filePath = fileName;
    post.user = user.trimmed();
    post.password = password.trimmed();
    TBusy busy(busy_);
    return PostFirmware(post);
}

bool TT924Series::UpgradeSystem(const QString& baseUrl, const QString& user,
                                const QString& fileName, const QString& password)
{
    return Upgrade(Cgi::kSystemFirmwarePath, baseUrl, user, fileName, password);
}

bool TT924Series::UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                             const QString& password)
{
    return Upgrade(Cgi::kWebPagesPath, baseUrl, user, fileName, password);
}

void TT924Series::SetBusyIndicator(std::function<void(bool)> indicator)
{
    busy_ = std::move(indicator);
}

TCgiCameraScope::TCgiCameraScope() : driver_(std::make_unique<TT924Series>())
{
    CgiCamera = driver_.get();
}

TCgiCameraScope::~TCgiCameraScope()
{
    if (CgiCamera == driver_.get())
        CgiCamera = nullptr;
    driver_.reset();
}

void JoinCgiSearch(DiscoveryEngine& engine)
{
    engine.SetFamily9Search([&engine] {
        if (CgiCamera)
            CgiCamera->Search(
                DiscoveryNet::kCgiSearchPort,
                [&engine](const TDevInfo& rec) { engine.DeliverRecord(rec); }, &engine);
    });
}
