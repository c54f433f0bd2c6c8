#include "FindHisi.h"

#include "CameraText.h"
#include "HisiFamily.h"
#include "NetAddress.h"

#include <QCoreApplication>
#include <QDir>
#include <QObject>
#include <QThread>

#include <condition_variable>
#include <cstring>
#include <mutex>

#include <dlfcn.h>

namespace {
// Bounds for the texts the library hands us; nothing it reports is longer in practice.
constexpr size_t kMaxNameBytes = 256;
constexpr size_t kMaxAddrBytes = 64;

QByteArray Bounded(const char* p, size_t max)
{
    return p ? QByteArray(p, qsizetype(strnlen(p, max))) : QByteArray();
}

quint16 Port(int v)
{
    return v >= 0 && v <= 0xFFFF ? quint16(v) : quint16(0);
}
}  // namespace

struct TFind_Hisi::THub : std::enable_shared_from_this<THub> {
    std::mutex mutex;
    std::condition_variable changed;
    bool closing = false;
    int ownerInLibrary = 0;  // the owner's thread is inside a library call
    THisiReceiver receiver;
    QObject* target = nullptr;  // deleted only once the library's thread is gone

    // Runs on the owner's thread.
    void Receive(const TDevInfo& rec)
    {
        THisiReceiver r;
        {
            std::lock_guard lock(mutex);
            if (closing)
                return;
            r = receiver;
        }
        if (r)
            r(rec);
    }

    void Deliver(const TDevInfo& rec);
};

namespace {

// Destroyed with the posted call, whether it ran or was discarded, which ends the wait.
struct TTaken {
    std::shared_ptr<TFind_Hisi::THub> hub;
    ~TTaken()
    {
        if (!hub)
            return;
        std::lock_guard lock(hub->mutex);
        hub->changed.notify_all();
    }
};

// Marks a library call made by the owner's thread, so that a callback waiting for that
// thread gives up waiting (its record is still taken once the thread is back).
class TOwnerCall {
public:
    explicit TOwnerCall(TFind_Hisi::THub& hub)
        : hub_(hub), counted_(QThread::currentThread() == hub.target->thread())
    {
        if (!counted_)
            return;
        std::lock_guard lock(hub_.mutex);
        ++hub_.ownerInLibrary;
        hub_.changed.notify_all();
    }
    ~TOwnerCall()
    {
        if (!counted_)
            return;
        std::lock_guard lock(hub_.mutex);
        --hub_.ownerInLibrary;
    }
    TOwnerCall(const TOwnerCall&) = delete;
    TOwnerCall& operator=(const TOwnerCall&) = delete;

private:
    TFind_Hisi::THub& hub_;
    bool counted_;
};

}  // namespace

void TFind_Hisi::THub::Deliver(const TDevInfo& rec)
{
    if (QThread::currentThread() == target->thread()) {
        Receive(rec);  // the library called back from inside our own call
        return;
    }
    {
        std::lock_guard lock(mutex);
        if (closing)
            return;
    }
    auto taken = std::make_shared<TTaken>();
    taken->hub = shared_from_this();
    const std::weak_ptr<TTaken> watch = taken;
    // The record is copied into the call: it outlives the library's arguments, so giving up
    // the wait early never leaves the owner reading freed memory.
    QMetaObject::invokeMethod(
        target, [hub = shared_from_this(), rec, taken = std::move(taken)] { hub->Receive(rec); },
        Qt::QueuedConnection);
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return watch.expired() || closing || ownerInLibrary > 0; });
}

extern "C" {
static void HisiSearchCallback(const char* /*serial*/, const char* name, const char* /*version*/,
                               const char* ip, const unsigned char* mac, int webPort,
                               int dataPort, const char* mask, const char* gateway,
                               const char* extraAddr, const char* dns, int extraPort,
                               int extraValue, int dhcp, void* userData)
{
    if (!userData)
        return;
    // Nothing may unwind into the library's C frames.
    try {
        const std::optional<TDevInfo> rec =
            TFind_Hisi::RecordFromLibrary(name, ip, mac, webPort, dataPort, mask, gateway,
                                          extraAddr, dns, extraPort, extraValue, dhcp);
        if (rec)
            static_cast<TFind_Hisi::THub*>(userData)->Deliver(*rec);
    } catch (...) {
    }
}
}

std::optional<TDevInfo> TFind_Hisi::RecordFromLibrary(const char* name, const char* ip,
                                                      const unsigned char* mac, int webPort,
                                                      int dataPort, const char* mask,
                                                      const char* gateway, const char* extraAddr,
                                                      const char* dns, int extraPort,
                                                      int extraValue, int dhcp)
{
    if (!mac)
        return std::nullopt;
    TDevInfo rec;
    rec.Family = Hisi::kFamily;
    rec.Mac = HexDigits(QByteArray(reinterpret_cast<const char*>(mac), 6));
    rec.MacHex = rec.Mac;
    rec.NameRaw = Bounded(name, kMaxNameBytes);
    rec.Name = CameraTextFromBytes(rec.NameRaw);
    rec.IP = QString::fromLatin1(Bounded(ip, kMaxAddrBytes));
    rec.Mask = QString::fromLatin1(Bounded(mask, kMaxAddrBytes));
    rec.Gateway = QString::fromLatin1(Bounded(gateway, kMaxAddrBytes));
    rec.ExtraAddr = QString::fromLatin1(Bounded(extraAddr, kMaxAddrBytes));
    rec.Dns1 = QString::fromLatin1(Bounded(dns, kMaxAddrBytes));
    rec.HttpPort = Port(webPort);
    rec.DataPort = Port(dataPort);
    rec.ExtraPort = Port(extraPort);
    rec.ExtraValue = extraValue;
    rec.AddrMode = dhcp == 1 ? kAddrDhcp : kAddrStatic;
    return rec;
}

TFind_Hisi::TFind_Hisi() : TFind_Hisi(QCoreApplication::applicationDirPath())
{
}

TFind_Hisi::TFind_Hisi(const QString& programDir)
    : hub_(std::make_shared<THub>()), target_(std::make_unique<QObject>())
{
    hub_->target = target_.get();
    Load(LibraryPath(programDir));
}

TFind_Hisi::~TFind_Hisi()
{
    {
        std::lock_guard lock(hub_->mutex);
        hub_->closing = true;
        hub_->receiver = nullptr;
        hub_->changed.notify_all();
    }
    Unload();
    // Calls still queued for the target are discarded with it.
    target_.reset();
}

QString TFind_Hisi::LibraryPath(const QString& programDir)
{
    return QDir(programDir).filePath(QString::fromLatin1(kLibraryFolder) + u'/' +
                                     QString::fromLatin1(kLibraryFile));
}

void TFind_Hisi::Load(const QString& path)
{
    void* h = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!h)
        return;
    auto search = reinterpret_cast<THisiSearchServers>(dlsym(h, "DVSNET_SearchServers"));
    auto config = reinterpret_cast<THisiConfigServer>(dlsym(h, "DVSNET_ConfigServer"));
    auto stop = reinterpret_cast<THisiStopSearch>(dlsym(h, "DVSNET_StopSearch"));
    if (!search || !config || !stop) {
        dlclose(h);
        return;
    }
    handle_ = h;
    search_ = search;
    config_ = config;
    stop_ = stop;
}

void TFind_Hisi::Unload()
{
    if (!handle_)
        return;
    {
        TOwnerCall call(*hub_);
        stop_();
    }
    dlclose(handle_);
    handle_ = nullptr;
    search_ = nullptr;
    config_ = nullptr;
    stop_ = nullptr;
}

void TFind_Hisi::SetReceiver(THisiReceiver receiver)
{
    std::lock_guard lock(hub_->mutex);
    hub_->receiver = std::move(receiver);
}

bool TFind_Hisi::SearchServers()
{
    if (!search_)
        return false;
    TOwnerCall call(*hub_);
    return search_(kSearchWaitMs, kSearchProbes, &HisiSearchCallback, hub_.get(), kSearchPort) == 0;
}

bool TFind_Hisi::ConfigServer(const TDevInfo& newRec)
{
    if (!config_)
        return false;
    const std::optional<QByteArray> mac = HexToBytes(newRec.Mac);
    if (!mac || mac->size() != 6)
        return false;
    if (!IpToBytes(newRec.IP) || !IpToBytes(newRec.Mask) || !IpToBytes(newRec.Gateway) ||
        !IpToBytes(newRec.Dns1) || (!newRec.ExtraAddr.isEmpty() && !IpToBytes(newRec.ExtraAddr)))
        return false;
    // Kept alive for the whole call: the library reads the texts through these pointers.
    const QByteArray user = newRec.LoginUser.toUtf8();
    const QByteArray password = newRec.LoginPwd.toUtf8();
    // An unchanged name goes back as the camera sent it.
    const QByteArray name = CameraTextBytes(newRec.Name, newRec.NameRaw);
    const QByteArray ip = newRec.IP.toLatin1();
    const QByteArray mask = newRec.Mask.toLatin1();
    const QByteArray gateway = newRec.Gateway.toLatin1();
    const QByteArray extraAddr = newRec.ExtraAddr.toLatin1();
    const QByteArray dns = newRec.Dns1.toLatin1();
    TOwnerCall call(*hub_);
    return config_(reinterpret_cast<const unsigned char*>(mac->constData()), user.constData(),
                   password.constData(), name.constData(), ip.constData(), newRec.HttpPort,
                   newRec.DataPort, mask.constData(), gateway.constData(),
                   extraAddr.constData(), dns.constData(), newRec.ExtraPort,
                   newRec.AddrMode == kAddrDhcp ? 1 : 0) == 0;
}
