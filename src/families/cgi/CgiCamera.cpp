#include "CgiCamera.h"

#include "HttpUpload.h"
#include "SearchAdapters.h"
#include "Tools.h"

#include <QElapsedTimer>
#include <QThread>

#include <algorithm>

namespace {

// A GET without Basic credentials, the way every family-9 page but the restart is asked.
bool Get(const QString& url, int timeoutMs, QString& text)
{
    return TTools::HttpGetText(url, QString(), QString(), timeoutMs, text);
}

// The same with the answer's bytes, for pages whose texts (network names) are kept as sent.
bool GetBytes(const QString& url, int timeoutMs, QByteArray& body)
{
    return TTools::HttpGetBytes(url, QString(), QString(), timeoutMs, body);
}

}  // namespace

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

void TT924Series::Search(quint16 port, TCgiSearchCallback callback, QObject* context,
                         const std::vector<quint32>& adapters)
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
    socket.EnableArrivalInterface();
    if (adapters.empty())
        socket.SendBroadcast(Cgi::SearchProbe(), port);
    for (const quint32 adapter : adapters)
        socket.SendBroadcast(Cgi::SearchProbe(), port, adapter);
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
    const QByteArray packet = Cgi::AddressChange(next, user, password);
    if (packet.isEmpty())
        return false;
    TCgiUdpSocket socket;
    if (!socket.Open())
        return false;
    socket.Bind(Cgi::kPort);  // the answer may come to the port or to whatever we got
    socket.AllowBroadcast();
    // Out of the adapter the camera answered on; a camera found otherwise may be behind any.
    std::vector<quint32> adapters;
    if (current.Adapter != 0)
        adapters.push_back(current.Adapter);
    else
        adapters = SearchAdapterIndexes();
    bool sent = false;
    if (adapters.empty())
        sent = socket.SendBroadcast(packet, Cgi::kPort);
    for (const quint32 adapter : adapters)
        sent = socket.SendBroadcast(packet, Cgi::kPort, adapter) || sent;
    if (!sent)
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

bool TT924Series::CheckLogin(const QString& baseUrl, const QString& user, const QString& password)
{
    QString text;
    return Get(Cgi::CheckLoginUrl(baseUrl, user, password), kLoginTimeoutMs, text) &&
           !text.contains(QStringLiteral("Auth Failed"));
}

int TT924Series::ScanWiFiList(const TDevInfo& cam, const QString& user, const QString& password,
                              TWiFiList& list)
{
    list.clear();
    const QString scanBase = Cgi::ScanBase(cam);
    QString text;
    if (!Get(Cgi::ScanUrl(scanBase, user, password), kLoginTimeoutMs, text) ||
        !text.contains(QStringLiteral("ok")))
        return -1;
    QThread::msleep(kScanSettleMs);
    QByteArray result;
    if (!GetBytes(Cgi::ScanResultUrl(scanBase, user, password), kLoginTimeoutMs, result) ||
        !result.contains("var"))
        return -1;
    std::vector<TWiFiRecord> records = Cgi::ParseScanResult(result);
    list.reserve(records.size());
    for (TWiFiRecord& r : records) {
        QString itemText = Cgi::ScanItemText(r);
        list.push_back({std::move(itemText), std::make_unique<TWiFiRecord>(std::move(r))});
    }
    return int(list.size());
}

std::optional<TCgiWiFiParams> TT924Series::GetWiFiParams(const TDevInfo& cam, const QString& user,
                                                         const QString& password)
{
    {
        std::lock_guard lock(cacheMutex_);
        if (auto it = wifi_.find(cam.Mac); it != wifi_.end())
            return it->second;
    }
    QByteArray body;
    // Neither a failed request nor an answer without values is kept: the next call asks again.
    if (!GetBytes(Cgi::GetParamsUrl(Cgi::BaseUrl(cam), user, password), kParamsTimeoutMs, body) ||
        !body.contains("var"))
        return std::nullopt;
    TCgiWiFiParams params;
    Cgi::ParseWiFiParams(body, params);
    std::lock_guard lock(cacheMutex_);
    wifi_[cam.Mac] = params;
    return params;
}

int TT924Series::SetWiFiParams(const TDevInfo& cam, const QString& user, const QString& password,
                               const TCgiWiFiParams& params)
{
    const QString base = Cgi::BaseUrl(cam);
    QString text;
    if (!Get(Cgi::SetWiFiUrl(base, user, password, params), kParamsTimeoutMs, text) ||
        !text.contains(QStringLiteral("reboot")))
        return kWiFiNotTaken;
    {
        std::lock_guard lock(cacheMutex_);
        wifi_[cam.Mac] = params;
    }
    QString ignored;
    return HttpGetAuth(Cgi::RebootUrl(base), kParamsTimeoutMs, user, password, ignored)
               ? kWiFiRestarting
               : kWiFiRestartFailed;
}

TCgiFactoryParams TT924Series::GetFactoryParams(const QString& baseUrl, const QString& user,
                                                const QString& password, bool useCache)
{
    {
        std::lock_guard lock(cacheMutex_);
        if (auto it = factory_.find(baseUrl); it != factory_.end() && useCache)
            return it->second;
    }
    QString text;
    const bool ok = !baseUrl.isEmpty() &&
                    Get(Cgi::FactoryUrl(baseUrl, user, password), kFactoryTimeoutMs, text);
    std::lock_guard lock(cacheMutex_);
    TCgiFactoryParams& held = factory_[baseUrl];
    Cgi::ReadFactoryAnswer(ok, text, held);
    return held;
}

int TT924Series::SetDDNSParams(const QString& baseUrl, const TCgiFactoryParams& params,
                               const QString& user, const QString& password)
{
    if (baseUrl.isEmpty())
        return kDdnsRequestFailed;
    QString text;
    if (!Get(Cgi::SetDdnsUrl(baseUrl, params, user, password), kParamsTimeoutMs, text))
        return kDdnsRequestFailed;
    return text.contains(QStringLiteral("ok")) ? kDdnsAccepted : kDdnsRefused;
}

bool TT924Series::Upgrade(const char* path, const QString& baseUrl, const QString& user,
                          const QString& fileName, const QString& password, const TDevInfo* cam,
                          const TCgiUploadControl& control)
{
    const auto aborted = [&control] { return control.abort && control.abort->load(); };
    if (aborted())
        return false;
    QString version;
    QString host;
    if (cam) {
        version = cam->Version;
        host = cam->IP;
    } else {
        QString text;
        if (Get(Cgi::StatusUrl(baseUrl, user, password), kStatusTimeoutMs, text) &&
            !text.isEmpty())
            version = Cgi::StatusVersion(text);
        host = Cgi::HostOfBaseUrl(baseUrl);
        if (aborted())
            return false;
    }
    TFirmwarePost post;
    post.url = Cgi::UploadUrl(version, baseUrl, host, path, user, password);
    post.filePath = fileName;
    post.user = user.trimmed();
    post.password = password.trimmed();
    post.progress = control.progress;
    post.abort = control.abort;
    return PostFirmware(post);
}

bool TT924Series::UpgradeSystem(const QString& baseUrl, const QString& user,
                                const QString& fileName, const QString& password,
                                const TDevInfo* cam, const TCgiUploadControl& control)
{
    return Upgrade(Cgi::kSystemFirmwarePath, baseUrl, user, fileName, password, cam, control);
}

bool TT924Series::UpgradeWeb(const QString& baseUrl, const QString& user, const QString& fileName,
                             const QString& password, const TDevInfo* cam,
                             const TCgiUploadControl& control)
{
    return Upgrade(Cgi::kWebPagesPath, baseUrl, user, fileName, password, cam, control);
}
