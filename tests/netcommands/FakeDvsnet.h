#pragma once
// Test controls of the fake family-4 library. The fake exports the library's three entry
// points (some variants leave one out) and these controls; tests reach both through dlopen of
// the same file, so they share one instance.

#ifdef __cplusplus
extern "C" {
#endif

enum FakeDvsnetMode {
    kFakeOwnThread = 0,     // callbacks from a thread of the library, after FakeDvsnet_Go
    kFakeCallerThread = 1,  // callbacks inside DVSNET_SearchServers, on the caller's thread
};

// What the fake reports, per camera i of a search.
enum FakeDvsnetScript {
    kFakeNormal = 0,   // well-formed cameras, values derived from i (see FakeDvsnet.cpp)
    kFakeHostile = 1,  // null texts, an oversized name, a null MAC, ports out of range
};

struct FakeDvsnetConfig {
    int calls;
    unsigned char mac[6];
    char user[64], password[64], name[64], ip[32], mask[32], gateway[32], extraAddr[32], dns[32];
    int webPort, dataPort, extraPort, dhcp;
};

typedef void (*FakeDvsnetAfterEach)(int index);

void FakeDvsnet_Reset(int mode, int script, int cameras);
// Lets a search of mode kFakeOwnThread begin calling back.
void FakeDvsnet_Go(void);
// Called on the calling-back thread after each callback has returned.
void FakeDvsnet_SetAfterEach(FakeDvsnetAfterEach fn);
// Result of the next DVSNET_ConfigServer calls.
void FakeDvsnet_SetConfigResult(int result);

int FakeDvsnet_SearchCalls(void);
void FakeDvsnet_LastSearch(int* waitMs, int* probes, int* port);
int FakeDvsnet_StopCalls(void);
// Callbacks begun and callbacks returned so far.
int FakeDvsnet_CallbacksEntered(void);
int FakeDvsnet_CallbacksReturned(void);
const struct FakeDvsnetConfig* FakeDvsnet_LastConfig(void);

#ifdef __cplusplus
}
#endif
