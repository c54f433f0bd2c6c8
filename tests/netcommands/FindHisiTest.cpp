// The family-4 loader against a fake library installed in a temporary "909" folder.

#include "DiscoveryEngine.h"
#include "FakeDvsnet.h"
#include "FakeSearchSink.h"
#include "FamilyRegistry.h"
#include "FindHisi.h"
#include "HisiFamily.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <dlfcn.h>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}

namespace {

// The search as the program runs it, with family 4's library loaded from a program folder.
struct TLibrarySearch {
    TFamilyRegistry families;
    THisiFamily* family;
    DiscoveryEngine engine;

    explicit TLibrarySearch(const QString& programDir)
        : family(Add(families, programDir)), engine(families)
    {
    }
    TFind_Hisi& Hisi() { return family->Library(); }

private:
    static THisiFamily* Add(TFamilyRegistry& r, const QString& dir)
    {
        auto f = std::make_unique<THisiFamily>(dir);
        THisiFamily* p = f.get();
        r.Add(std::move(f));
        return p;
    }
};

// Merges what the library finds into engine, as the family does.
void DeliverTo(TFind_Hisi& hisi, DiscoveryEngine& engine)
{
    hisi.SetReceiver([&engine](const TDevInfo& rec) { engine.DeliverRecord(rec); });
}

// The test's own handle on the installed fake: the same file, so the same instance that
// TFind_Hisi loads.
class FakeControl {
public:
    explicit FakeControl(const QString& path)
        : handle_(dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL))
    {
    }
    ~FakeControl()
    {
        if (handle_)
            dlclose(handle_);
    }
    FakeControl(const FakeControl&) = delete;
    FakeControl& operator=(const FakeControl&) = delete;

    bool Ok() const { return handle_ != nullptr; }
    template <class F>
    F Fn(const char* name) const
    {
        return reinterpret_cast<F>(dlsym(handle_, name));
    }
    void Reset(int mode, int script, int cameras) const
    {
        Fn<void (*)(int, int, int)>("FakeDvsnet_Reset")(mode, script, cameras);
    }
    void Go() const { Fn<void (*)()>("FakeDvsnet_Go")(); }
    int Count(const char* name) const { return Fn<int (*)()>(name)(); }
    const FakeDvsnetConfig& Config() const
    {
        return *Fn<const FakeDvsnetConfig* (*)()>("FakeDvsnet_LastConfig")();
    }

private:
    void* handle_;
};

class HisiLoader : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString ProgramDir() const { return dir_.path(); }
    QString Installed() const { return TFind_Hisi::LibraryPath(dir_.path()); }
    // Copies a built fake into <program>/909/ under the library's file name.
    void Install(const QString& built) const
    {
        ASSERT_TRUE(QDir(dir_.path()).mkpath(TFind_Hisi::kLibraryFolder));
        ASSERT_TRUE(QFile::copy(built, Installed()));
    }

    QTemporaryDir dir_;
};

// A camera settings record that the loader accepts.
TDevInfo ValidSettings()
{
    TDevInfo n;
    n.Family = Hisi::kFamily;
    n.Mac = QStringLiteral("001A2B3C4D5E");
    n.Name = QStringLiteral("Hall");
    n.IP = QStringLiteral("192.168.0.37");
    n.Mask = QStringLiteral("255.255.255.0");
    n.Gateway = QStringLiteral("192.168.0.1");
    n.Dns1 = QStringLiteral("8.8.8.8");
    n.ExtraAddr = QStringLiteral("192.168.0.254");
    n.HttpPort = 82;
    n.DataPort = 555;
    n.ExtraPort = 9100;
    n.AddrMode = kAddrDhcp;
    n.LoginUser = QStringLiteral("admin");
    n.LoginPwd = QStringLiteral("qelvo");
    return n;
}

std::atomic<int> gMerged{0};
std::atomic<int> gOutOfStep{0};

// Runs on the library's thread after each callback: the record must already be in the list.
void CheckMergedBeforeReturn(int index)
{
    if (gMerged.load() != index + 1)
        ++gOutOfStep;
}

TEST_F(HisiLoader, RefusesWhatIsNotTheLibraryAndThenHasNoCameras)
{
    struct Case {
        const char* what;
        QString built;  // empty: nothing installed
        bool garbage;
    };
    const Case cases[] = {
        {"no 909 folder", QString(), false},
        {"a file that is no library", QString(), true},
        {"no DVSNET_ConfigServer", QStringLiteral(FAKE_DVSNET_NOCONFIG), false},
        {"no DVSNET_StopSearch", QStringLiteral(FAKE_DVSNET_NOSTOP), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const QString path = TFind_Hisi::LibraryPath(dir.path());
        if (c.garbage) {
            ASSERT_TRUE(QDir(dir.path()).mkpath(TFind_Hisi::kLibraryFolder));
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, '\x7f'));
        } else if (!c.built.isEmpty()) {
            ASSERT_TRUE(QDir(dir.path()).mkpath(TFind_Hisi::kLibraryFolder));
            ASSERT_TRUE(QFile::copy(c.built, path));
        }
        // Held open across the refusal, so that its counters survive it.
        std::unique_ptr<FakeControl> control;
        if (!c.built.isEmpty()) {
            control = std::make_unique<FakeControl>(path);
            ASSERT_TRUE(control->Ok());
            control->Reset(kFakeCallerThread, kFakeNormal, 2);
        }

        TLibrarySearch search(dir.path());
        DiscoveryEngine& engine = search.engine;
        TFind_Hisi& hisi = search.Hisi();
        EXPECT_FALSE(hisi.Loaded());
        EXPECT_FALSE(hisi.SearchServers());
        EXPECT_FALSE(hisi.ConfigServer(ValidSettings()));
        engine.Find();
        QCoreApplication::processEvents();
        EXPECT_EQ(engine.Devices().Count(), 0);
        if (control) {
            EXPECT_EQ(control->Count("FakeDvsnet_SearchCalls"), 0);
            EXPECT_EQ(control->Config().calls, 0);
        }
    }
}

TEST_F(HisiLoader, LibraryThreadRecordsAreMergedOnTheUiThreadBeforeTheCallbackReturns)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeOwnThread, kFakeNormal, 5);
    gMerged = 0;
    gOutOfStep = 0;
    fake.Fn<void (*)(FakeDvsnetAfterEach)>("FakeDvsnet_SetAfterEach")(&CheckMergedBeforeReturn);

    TLibrarySearch search(ProgramDir());
    DiscoveryEngine& engine = search.engine;
    TFind_Hisi& hisi = search.Hisi();
    ASSERT_TRUE(hisi.Loaded());
    int offThread = 0;
    QObject::connect(&engine, &DiscoveryEngine::deviceAdded, [&] {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            ++offThread;
        ++gMerged;
    });

    // The tick alone does not search with the library; Find does.
    engine.OnTick();
    EXPECT_EQ(fake.Count("FakeDvsnet_SearchCalls"), 0);
    engine.Find();
    ASSERT_EQ(fake.Count("FakeDvsnet_SearchCalls"), 1);
    int waitMs = 0, probes = 0, port = -1;
    fake.Fn<void (*)(int*, int*, int*)>("FakeDvsnet_LastSearch")(&waitMs, &probes, &port);
    EXPECT_EQ(waitMs, 3000);
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(port, 0);

    fake.Go();
    ASSERT_TRUE(QTest::qWaitFor([&] { return engine.Devices().Count() == 5; }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.Count("FakeDvsnet_CallbacksReturned") == 5; }));
    EXPECT_EQ(offThread, 0);
    EXPECT_EQ(gOutOfStep, 0);
    fake.Fn<void (*)(FakeDvsnetAfterEach)>("FakeDvsnet_SetAfterEach")(nullptr);

    // Camera 1 reports DHCP, camera 0 a static address.
    const TDevInfo* dhcp = engine.Devices().FindRecordByMac(QStringLiteral("001A2B3C4D5F"));
    ASSERT_NE(dhcp, nullptr);
    EXPECT_EQ(dhcp->Family, 4);
    EXPECT_EQ(dhcp->Name, "Cam1");
    EXPECT_EQ(dhcp->IP, "10.0.0.11");
    EXPECT_EQ(dhcp->Mask, "255.255.255.0");
    EXPECT_EQ(dhcp->Gateway, "10.0.0.1");
    EXPECT_EQ(dhcp->ExtraAddr, "10.0.0.254");
    EXPECT_EQ(dhcp->Dns1, "8.8.8.8");
    EXPECT_EQ(dhcp->HttpPort, 81);
    EXPECT_EQ(dhcp->DataPort, 555);
    EXPECT_EQ(dhcp->ExtraPort, 9001);
    EXPECT_EQ(dhcp->ExtraValue, 78);
    EXPECT_EQ(dhcp->AddrMode, kAddrDhcp);
    EXPECT_TRUE(dhcp->SN.isEmpty());       // the serial and version arguments are not read
    EXPECT_TRUE(dhcp->Version.isEmpty());
    const TDevInfo* fixed = engine.Devices().FindRecordByMac(QStringLiteral("001A2B3C4D5E"));
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->AddrMode, kAddrStatic);

    // Family-4 rows stay when their camera stops answering.
    for (int i = 0; i < 40; ++i)
        engine.OnTick();
    EXPECT_EQ(engine.Devices().Count(), 5);
}

TEST_F(HisiLoader, CallbackOnTheCallersOwnThreadIsMergedAtOnce)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeNormal, 3);

    TLibrarySearch search(ProgramDir());
    DiscoveryEngine& engine = search.engine;
    TFind_Hisi& hisi = search.Hisi();
    engine.Find();  // would wait for itself if it queued the hand-over
    EXPECT_EQ(engine.Devices().Count(), 3);
    EXPECT_EQ(fake.Count("FakeDvsnet_CallbacksReturned"), 3);
}

TEST_F(HisiLoader, HostileArgumentsAreReadWithBounds)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeHostile, 0);

    TLibrarySearch search(ProgramDir());
    DiscoveryEngine& engine = search.engine;
    TFind_Hisi& hisi = search.Hisi();
    engine.Find();
    EXPECT_EQ(fake.Count("FakeDvsnet_CallbacksReturned"), 4);
    EXPECT_EQ(engine.Devices().Count(), 3);  // the one without a MAC gives no record

    const TDevInfo* nulls = engine.Devices().FindRecordByMac(QStringLiteral("DEADBEEF0001"));
    ASSERT_NE(nulls, nullptr);
    EXPECT_TRUE(nulls->Name.isEmpty());
    EXPECT_TRUE(nulls->IP.isEmpty());
    EXPECT_TRUE(nulls->Dns1.isEmpty());
    EXPECT_EQ(nulls->HttpPort, 0);   // -1
    EXPECT_EQ(nulls->DataPort, 0);   // 70000
    EXPECT_EQ(nulls->ExtraPort, 0);  // 65536
    EXPECT_EQ(nulls->AddrMode, kAddrDhcp);

    const TDevInfo* huge = engine.Devices().FindRecordByMac(QStringLiteral("DEADBEEF0002"));
    ASSERT_NE(huge, nullptr);
    EXPECT_EQ(huge->Name, QString(256, u'N'));
    EXPECT_EQ(huge->IP, QString(64, u'9'));

    const TDevInfo* odd = engine.Devices().FindRecordByMac(QStringLiteral("DEADBEEF0003"));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(odd->HttpPort, 65535);
    EXPECT_EQ(odd->AddrMode, kAddrStatic);  // only 1 means DHCP
}

TEST_F(HisiLoader, DestroyingWhileACallbackWaitsForTheUiThreadNeitherHangsNorMerges)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeOwnThread, kFakeNormal, 3);

    TFamilyRegistry noFamilies;  // the engine only takes what the library delivers
    DiscoveryEngine engine(noFamilies);
    auto hisi = std::make_unique<TFind_Hisi>(ProgramDir());
    DeliverTo(*hisi, engine);
    hisi->SearchServers();
    fake.Go();
    // No events are processed here, so the first callback stays waiting.
    for (int i = 0; i < 500 && fake.Count("FakeDvsnet_CallbacksEntered") == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(fake.Count("FakeDvsnet_CallbacksEntered"), 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(fake.Count("FakeDvsnet_CallbacksReturned"), 0);

    hisi.reset();
    EXPECT_EQ(fake.Count("FakeDvsnet_StopCalls"), 1);
    EXPECT_EQ(fake.Count("FakeDvsnet_CallbacksEntered"),
              fake.Count("FakeDvsnet_CallbacksReturned"));
    QTest::qWait(50);
    EXPECT_EQ(engine.Devices().Count(), 0);
    engine.Find();  // nothing reaches the freed object
    EXPECT_EQ(fake.Count("FakeDvsnet_SearchCalls"), 1);
}

TEST_F(HisiLoader, EngineGoneFirstLeavesTheLoaderSafe)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeNormal, 1);

    TLibrarySearch search(ProgramDir());
    TFind_Hisi& hisi = search.Hisi();
    {
        DiscoveryEngine engine(search.families);
        engine.Find();  // the family's receiver now points at this engine
        EXPECT_EQ(engine.Devices().Count(), 1);
    }
    EXPECT_TRUE(hisi.SearchServers());  // the record has nowhere to go and is dropped
    EXPECT_EQ(fake.Count("FakeDvsnet_CallbacksReturned"), 2);
}

TEST_F(HisiLoader, ConfigServerSendsTheNewSettingsAndTheReportedMacBack)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeNormal, 1);

    TLibrarySearch search(ProgramDir());
    DiscoveryEngine& engine = search.engine;
    TFind_Hisi& hisi = search.Hisi();
    engine.Find();
    const TDevInfo* found = engine.Devices().FindRecordByMac(QStringLiteral("001A2B3C4D5E"));
    ASSERT_NE(found, nullptr);

    TDevInfo n = *found;
    const TDevInfo v = ValidSettings();
    n.Name = v.Name;
    n.IP = v.IP;
    n.Mask = v.Mask;
    n.Gateway = v.Gateway;
    n.ExtraAddr = QString();  // an empty further address is allowed
    n.HttpPort = v.HttpPort;
    n.DataPort = v.DataPort;
    n.ExtraPort = v.ExtraPort;
    n.LoginUser = v.LoginUser;
    n.LoginPwd = v.LoginPwd;
    n.AddrMode = kAddrDhcp;
    fake.Fn<void (*)(int)>("FakeDvsnet_SetConfigResult")(0);
    EXPECT_TRUE(hisi.ConfigServer(n));

    const FakeDvsnetConfig& c = fake.Config();
    ASSERT_EQ(c.calls, 1);
    const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(c.mac), 6),
              QByteArray(reinterpret_cast<const char*>(mac), 6));
    EXPECT_STREQ(c.user, "admin");
    EXPECT_STREQ(c.password, "qelvo");
    EXPECT_STREQ(c.name, "Hall");
    EXPECT_STREQ(c.ip, "192.168.0.37");
    EXPECT_STREQ(c.mask, "255.255.255.0");
    EXPECT_STREQ(c.gateway, "192.168.0.1");
    EXPECT_STREQ(c.extraAddr, "");
    EXPECT_STREQ(c.dns, "8.8.8.8");
    EXPECT_EQ(c.webPort, 82);
    EXPECT_EQ(c.dataPort, 555);
    EXPECT_EQ(c.extraPort, 9100);
    EXPECT_EQ(c.dhcp, 1);

    // Static is sent as 0, and a refusal by the library is false.
    n.AddrMode = kAddrStatic;
    fake.Fn<void (*)(int)>("FakeDvsnet_SetConfigResult")(2);
    EXPECT_FALSE(hisi.ConfigServer(n));
    EXPECT_EQ(c.calls, 2);
    EXPECT_EQ(c.dhcp, 0);
}

// A name the library reports in GBK ("前门") is shown decoded and goes back as it came while the
// user leaves it; an edited name goes as UTF-8.
TEST_F(HisiLoader, ConfigServerSendsAnUnchangedNameAsReported)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeNormal, 0);
    fake.Fn<void (*)(int)>("FakeDvsnet_SetConfigResult")(0);
    TFind_Hisi hisi(ProgramDir());
    ASSERT_TRUE(hisi.Loaded());

    const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    const std::optional<TDevInfo> rec = TFind_Hisi::RecordFromLibrary(
        "\xC7\xB0\xC3\xC5", "192.168.0.37", mac, 80, 8000, "255.255.255.0", "192.168.0.1", "",
        "192.168.0.1", 0, 0, 0);
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Name, QString::fromUtf8("\xe5\x89\x8d\xe9\x97\xa8"));
    TDevInfo n = *rec;
    n.LoginUser = QStringLiteral("admin");
    n.LoginPwd = QStringLiteral("qelvo");
    n.IP = QStringLiteral("192.168.0.38");
    ASSERT_TRUE(hisi.ConfigServer(n));
    EXPECT_EQ(QByteArray(fake.Config().name).toHex(), "c7b0c3c5");
    n.Name += QStringLiteral("2");
    ASSERT_TRUE(hisi.ConfigServer(n));
    EXPECT_EQ(QByteArray(fake.Config().name).toHex(), "e5898de997a832");
}

TEST_F(HisiLoader, MalformedSettingsNeverReachTheLibrary)
{
    Install(QStringLiteral(FAKE_DVSNET_FULL));
    FakeControl fake(Installed());
    ASSERT_TRUE(fake.Ok());
    fake.Reset(kFakeCallerThread, kFakeNormal, 0);
    fake.Fn<void (*)(int)>("FakeDvsnet_SetConfigResult")(0);
    TFind_Hisi hisi(ProgramDir());
    ASSERT_TRUE(hisi.Loaded());

    struct Case {
        const char* what;
        void (*spoil)(TDevInfo&);
    };
    const Case cases[] = {
        {"MAC of 11 digits", [](TDevInfo& n) { n.Mac = "001A2B3C4D5"; }},
        {"MAC with a non-hex digit", [](TDevInfo& n) { n.Mac = "001A2B3C4D5G"; }},
        {"MAC with colons", [](TDevInfo& n) { n.Mac = "00:1A:2B:3C:4D:5E"; }},
        {"IP part 256", [](TDevInfo& n) { n.IP = "192.168.0.256"; }},
        {"mask of three parts", [](TDevInfo& n) { n.Mask = "255.255.255"; }},
        {"empty gateway", [](TDevInfo& n) { n.Gateway = ""; }},
        {"DNS with a letter", [](TDevInfo& n) { n.Dns1 = "8.8.8.x"; }},
        {"further address of three parts", [](TDevInfo& n) { n.ExtraAddr = "1.2.3"; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TDevInfo n = ValidSettings();
        c.spoil(n);
        EXPECT_FALSE(hisi.ConfigServer(n));
    }
    EXPECT_EQ(fake.Config().calls, 0);
    EXPECT_TRUE(hisi.ConfigServer(ValidSettings()));  // the unspoilt record does go out
    EXPECT_EQ(fake.Config().calls, 1);
}

}  // namespace
