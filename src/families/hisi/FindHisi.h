#pragma once
// Family 4: cameras found and re-addressed only through an outside library, loaded at run time
// from the folder "909" beside the executable. Without the library family 4 simply has no
// cameras: every operation returns false and nothing else happens.
//
// The library reports cameras from a thread of its own. Each record is handed to the thread
// that created the TFind_Hisi (the user-interface thread) and the library's thread waits
// until it has been taken, as a blocking queued call would, except that the wait ends early
// while that thread is itself inside a library call or the object is going away, so that no
// library that joins its own thread can deadlock against us.

#include "DevInfo.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QObject;

extern "C" {
// The entry points, C linkage; texts zero-terminated 8-bit, 16-bit ports in 32-bit slots.
typedef void (*THisiSearchCallback)(const char* serial, const char* name, const char* version,
                                    const char* ip, const unsigned char* mac, int webPort,
                                    int dataPort, const char* mask, const char* gateway,
                                    const char* extraAddr, const char* dns, int extraPort,
                                    int extraValue, int dhcp, void* userData);
typedef int (*THisiSearchServers)(int waitMs, int probes, THisiSearchCallback callback,
                                  void* userData, int port);
typedef int (*THisiConfigServer)(const unsigned char* mac, const char* user,
                                 const char* password, const char* name, const char* ip,
                                 int webPort, int dataPort, const char* mask, const char* gateway,
                                 const char* extraAddr, const char* dns, int extraPort, int dhcp);
typedef int (*THisiStopSearch)();
}

// Receives one camera; runs on the thread that created the TFind_Hisi. The record lives only
// during the call.
using THisiReceiver = std::function<void(const TDevInfo&)>;

class TFind_Hisi {
public:
    static constexpr const char* kLibraryFolder = "909";
    static constexpr const char* kLibraryFile = "libdvsnetclient.so";
    // Arguments of the search call.
    static constexpr int kSearchWaitMs = 3000;
    static constexpr int kSearchProbes = 1;
    static constexpr int kSearchPort = 0;

    // Loads the library from "909" beside the executable. A failure is not reported.
    TFind_Hisi();
    // Loads it from "909" inside programDir instead.
    explicit TFind_Hisi(const QString& programDir);
    // Ends a running search (the library waits for its thread), then unloads.
    ~TFind_Hisi();
    TFind_Hisi(const TFind_Hisi&) = delete;
    TFind_Hisi& operator=(const TFind_Hisi&) = delete;

    // The library was found and exports all three entry points. One without "DVSNET_StopSearch"
    // is refused as well: its search thread could outlive the unload.
    bool Loaded() const { return handle_ != nullptr; }
    static QString LibraryPath(const QString& programDir);

    void SetReceiver(THisiReceiver receiver);

    // True when the library took the call (it answered 0).
    bool SearchServers();
    // Applies newRec's settings to the camera with newRec's Mac: LoginUser and LoginPwd as the
    // login, then Name, IP, HttpPort, DataPort, Mask, Gateway, ExtraAddr, Dns1, ExtraPort and
    // DHCP when AddrMode is 1. False without the library, on a MAC that is not twelve
    // hexadecimal digits or a malformed address (ExtraAddr may be empty), or when the library
    // refuses.
    bool ConfigServer(const TDevInfo& newRec);

    // The record the search callback makes from the library's arguments. Every text is read
    // up to a bound; null texts are empty; a null MAC gives no record; ports outside 0..65535
    // become 0.
    static std::optional<TDevInfo> RecordFromLibrary(const char* name, const char* ip,
                                                     const unsigned char* mac, int webPort,
                                                     int dataPort, const char* mask,
                                                     const char* gateway, const char* extraAddr,
                                                     const char* dns, int extraPort,
                                                     int extraValue, int dhcp);

    struct THub;  // shared with the library's thread

private:
    void Load(const QString& path);
    void Unload();

    void* handle_ = nullptr;
    THisiSearchServers search_ = nullptr;
    THisiConfigServer config_ = nullptr;
    THisiStopSearch stop_ = nullptr;
    std::shared_ptr<THub> hub_;
    std::unique_ptr<QObject> target_;  // lives on the creating thread; receives the records
};
