// A fake of the family-4 library for the loader's tests: scripted cameras, from a thread of
// its own or from inside the search call, and a record of every call it got.
#include "FakeDvsnet.h"

#include <atomic>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" typedef void (*Callback)(const char*, const char*, const char*, const char*,
                                    const unsigned char*, int, int, const char*, const char*,
                                    const char*, const char*, int, int, int, void*);

namespace {

std::mutex gMutex;
std::condition_variable gChanged;
bool gGo = false;
bool gStop = false;
std::thread gWorker;

int gMode = kFakeOwnThread;
int gScript = kFakeNormal;
int gCameras = 0;
int gConfigResult = 0;
std::atomic<FakeDvsnetAfterEach> gAfterEach{nullptr};

std::atomic<int> gSearchCalls{0}, gStopCalls{0}, gEntered{0}, gReturned{0};
int gWaitMs = 0, gProbes = 0, gPort = 0;
FakeDvsnetConfig gConfig{};

void Call(Callback cb, void* user, int i, const char* name, const char* ip,
          const unsigned char* mac, int web, int data, const char* mask, const char* gw,
          const char* extra, const char* dns, int extraPort, int extraValue, int dhcp)
{
    ++gEntered;
    cb("SERIAL", name, "1.0", ip, mac, web, data, mask, gw, extra, dns, extraPort, extraValue,
       dhcp, user);
    ++gReturned;
    if (FakeDvsnetAfterEach after = gAfterEach.load())
        after(i);
}

bool Stopping()
{
    std::lock_guard<std::mutex> lock(gMutex);
    return gStop;
}

void Report(Callback cb, void* user)
{
    if (gScript == kFakeHostile) {
        const std::string longName(5000, 'N'), longIp(5000, '9');
        const unsigned char mac0[6] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};
        const unsigned char mac1[6] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x02};
        const unsigned char mac3[6] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x03};
        Call(cb, user, 0, nullptr, nullptr, mac0, -1, 70000, nullptr, nullptr, nullptr, nullptr,
             65536, 0, 1);
        Call(cb, user, 1, longName.c_str(), longIp.c_str(), mac1, 80, 81, "", "", "", "", 0, 0, 0);
        Call(cb, user, 2, "NoMac", "10.0.0.3", nullptr, 80, 81, "", "", "", "", 0, 0, 0);
        Call(cb, user, 3, "Odd", "10.0.0.4", mac3, 65535, 0, "", "", "", "", 0, 0, 7);
        return;
    }
    for (int i = 0; i < gCameras && !Stopping(); ++i) {
        const std::string name = "Cam" + std::to_string(i);
        const std::string ip = "10.0.0." + std::to_string(10 + i);
        const unsigned char mac[6] = {0x00, 0x1A, 0x2B, 0x3C, 0x4D,
                                      static_cast<unsigned char>(0x5E + i)};
        Call(cb, user, i, name.c_str(), ip.c_str(), mac, 80 + i, 554 + i, "255.255.255.0",
             "10.0.0.1", "10.0.0.254", "8.8.8.8", 9000 + i, 77 + i, i % 2);
    }
}

void JoinWorker()
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gStop = true;
    }
    gChanged.notify_all();
    if (gWorker.joinable())
        gWorker.join();
}

[[maybe_unused]] void Copy(char* to, size_t size, const char* from)
{
    std::strncpy(to, from ? from : "", size - 1);
    to[size - 1] = '\0';
}

}  // namespace

FAKE_EXPORT void FakeDvsnet_Reset(int mode, int script, int cameras)
{
    JoinWorker();
    std::lock_guard<std::mutex> lock(gMutex);
    gMode = mode;
    gScript = script;
    gCameras = cameras;
    gGo = gStop = false;
    gConfig = FakeDvsnetConfig{};
}

FAKE_EXPORT void FakeDvsnet_Go(void)
{
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gGo = true;
    }
    gChanged.notify_all();
}

FAKE_EXPORT void FakeDvsnet_SetAfterEach(FakeDvsnetAfterEach fn)
{
    gAfterEach = fn;
}

FAKE_EXPORT void FakeDvsnet_SetConfigResult(int result)
{
    gConfigResult = result;
}

FAKE_EXPORT int FakeDvsnet_SearchCalls(void) { return gSearchCalls; }
FAKE_EXPORT int FakeDvsnet_StopCalls(void) { return gStopCalls; }
FAKE_EXPORT int FakeDvsnet_CallbacksEntered(void) { return gEntered; }
FAKE_EXPORT int FakeDvsnet_CallbacksReturned(void) { return gReturned; }
FAKE_EXPORT const FakeDvsnetConfig* FakeDvsnet_LastConfig(void) { return &gConfig; }

FAKE_EXPORT void FakeDvsnet_LastSearch(int* waitMs, int* probes, int* port)
{
    *waitMs = gWaitMs;
    *probes = gProbes;
    *port = gPort;
}

FAKE_EXPORT int DVSNET_SearchServers(int waitMs, int probes, Callback cb, void* user, int port)
{
    ++gSearchCalls;
    gWaitMs = waitMs;
    gProbes = probes;
    gPort = port;
    if (!cb)
        return -1;
    if (gMode == kFakeCallerThread) {
        Report(cb, user);
        return 0;
    }
    JoinWorker();
    {
        std::lock_guard<std::mutex> lock(gMutex);
        gStop = false;
    }
    gWorker = std::thread([cb, user] {
        {
            std::unique_lock<std::mutex> lock(gMutex);
            gChanged.wait(lock, [] { return gGo || gStop; });
            if (gStop)
                return;
        }
        Report(cb, user);
    });
    return 0;
}

#ifndef FAKE_OMIT_CONFIG
FAKE_EXPORT int DVSNET_ConfigServer(const unsigned char* mac, const char* user,
                                    const char* password, const char* name, const char* ip,
                                    int webPort, int dataPort, const char* mask,
                                    const char* gateway, const char* extraAddr, const char* dns,
                                    int extraPort, int dhcp)
{
    ++gConfig.calls;
    std::memcpy(gConfig.mac, mac, 6);
    Copy(gConfig.user, sizeof gConfig.user, user);
    Copy(gConfig.password, sizeof gConfig.password, password);
    Copy(gConfig.name, sizeof gConfig.name, name);
    Copy(gConfig.ip, sizeof gConfig.ip, ip);
    Copy(gConfig.mask, sizeof gConfig.mask, mask);
    Copy(gConfig.gateway, sizeof gConfig.gateway, gateway);
    Copy(gConfig.extraAddr, sizeof gConfig.extraAddr, extraAddr);
    Copy(gConfig.dns, sizeof gConfig.dns, dns);
    gConfig.webPort = webPort;
    gConfig.dataPort = dataPort;
    gConfig.extraPort = extraPort;
    gConfig.dhcp = dhcp;
    return gConfigResult;
}
#endif

#ifndef FAKE_OMIT_STOP
FAKE_EXPORT int DVSNET_StopSearch(void)
{
    ++gStopCalls;
    JoinWorker();
    return 0;
}
#endif
