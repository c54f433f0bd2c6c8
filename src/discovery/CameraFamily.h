#pragma once
// One camera family behind one small interface: how it is searched and how its replies are
// read, how its network settings are changed, how a login is tested, how it restarts, and the
// rules the windows follow for it. Each family lives in a folder of its own under
// src/families/ and is found through TFamilyRegistry by its code; nothing outside a family's
// folder switches on a family code.
//
// Threads: the search hooks (SendProbes, ParseReply) run on the search engine's thread. The
// camera operations (ApplyNetwork, TestCredentials, Restart) block their caller for up to
// the family's own time limits; the windows call them off the user-interface thread, and a
// family that sends through the engine's sockets may do so from any thread.

#include "CameraFirmware.h"
#include "CancelToken.h"
#include "DevInfo.h"

#include <QByteArray>
#include <QString>
#include <vector>

class ICameraDdns;
class ICameraWiFi;
class QObject;
class TDeviceList;

// What the search engine offers a family: its five UDP sockets and its camera list.
class ISearchSink {
public:
    virtual ~ISearchSink() = default;
    // Broadcasts bytes from the engine's socket 1..5 to port, out of every adapter of the
    // search; false when they went out of none. Any thread.
    virtual bool SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port) = 0;
    // The same out of one adapter only (an interface index, as TDevInfo::Adapter holds it):
    // a camera's commands leave where it answered. 0 is every adapter, as SendBroadcast. A
    // sink that knows no adapters sends as SendBroadcast does.
    virtual bool SendBroadcastOn(quint32 adapter, int socketNumber, const QByteArray& bytes,
                                 quint16 port)
    {
        (void)adapter;
        return SendBroadcast(socketNumber, bytes, port);
    }
    // The adapters a pass of probes goes out of, for families that search through sockets of
    // their own; empty: the one the routing table picks.
    virtual std::vector<quint32> SearchAdapterIndexes() const { return {}; }
    // Merges a camera found by the family's own means, exactly as a parsed reply is merged.
    // The engine's thread only.
    virtual void DeliverRecord(const TDevInfo& rec) = 0;
    // The list replies are merged into (a family-8 reply completes a known row).
    virtual const TDeviceList& Devices() const = 0;
    // Lives as long as the engine: records that arrive after it is gone are dropped.
    virtual QObject* SearchOwner() = 0;
};

// What ParseReply made of a datagram.
enum class TReplyMatch {
    NotMine,  // another family's (or nobody's) datagram
    Handled,  // this family's, nothing to merge
    Record,   // rec is to be merged
};

// Where a settings change comes from: the advanced window and easy mode send some families'
// commands from different sockets.
enum class TApplyOrigin { Advanced, Easy };

// The result of a settings command. Only kSent (or kAccepted, for a family that waits for the
// camera's answer) means the camera got it.
enum class TApplyResult {
    kSent,         // handed to the network; the camera is found again by searching
    kAccepted,     // the camera answered that it took the settings
    kRefused,      // the camera or its library refused them
    kMalformed,    // a value the family cannot carry; nothing was sent
    kSendFailed,   // the network did not take it
    kUnsupported,  // the family has no such command from this window
};
inline bool Applied(TApplyResult r) { return r == TApplyResult::kSent || r == TApplyResult::kAccepted; }

// The result of a login test, with the login dialog's numbers.
enum class TLoginResult : int { kAccepted = 0, kNoConnection = -1, kRefused = -2 };

struct TLogin {
    QString user;
    QString password;
};

// The values of a network-settings change, as bits: which of them a family's command carries
// and which its search replies report back.
enum TNetField : quint32 {
    kNetNone = 0,
    kNetIP = 1u << 0,
    kNetMask = 1u << 1,
    kNetGateway = 1u << 2,
    kNetDns1 = 1u << 3,
    kNetDns2 = 1u << 4,
    kNetHttpPort = 1u << 5,
    kNetDataPort = 1u << 6,
    kNetName = 1u << 7,
    kNetAddrMode = 1u << 8,
    kNetUser = 1u << 9,      // the login's user name
    kNetPassword = 1u << 10, // the login's password
};

// Why a settings change cannot be sent as it stands.
enum class TNetProblem {
    kNone,
    kBadAddress,  // not four numbers 0..255; the camera's own address also not ending in 0 or 255
    kBadPort,     // port 0
    kTooLong,     // a text longer than its field (limit: UTF-8 bytes)
    kBadText,     // a text holding what the command cannot carry (a line break)
    kBadMode,     // an address mode the family does not offer
};
struct TNetCheck {
    TNetProblem problem = TNetProblem::kNone;
    TNetField field = kNetNone;  // the value concerned
    int limit = 0;               // kTooLong: the most UTF-8 bytes the field takes
    bool Ok() const { return problem == TNetProblem::kNone; }
};

// The rules the windows follow for a family's cameras. Plain data, so that a window asks
// instead of switching on the family code.
struct TFamilyTraits {
    QString series;  // the list's first column

    // The camera list.
    bool expires = true;             // rows age out when the camera stops answering
    qint32 firstTimeToLive = 10;     // search ticks a new row gets
    // What ParseReply makes of a datagram depends only on its bytes, the adapter it came in
    // on and the list's row of the camera it names (as long as that row is unchanged), and
    // what it sends in answer only on the same: the engine then replays the outcome of a
    // datagram it has seen before instead of parsing it again, so that a large LAN costs
    // almost nothing while nothing changes.
    bool repeatableReplies = true;

    // Choosing a camera in easy mode: the password assumed until the user gives one.
    QString factoryPassword;

    // The advanced window's editor.
    bool nameEditable = true;
    bool addressModeChoice = true;   // the address-mode list is shown
    bool offersPppoe = true;         // the list offers PPPoE dial-up
    bool dataPort = false;           // the data-port field is shown
    bool ddnsPassword = true;        // the DDNS password is shown
    bool firmwareUpgrade = false;    // the upgrade button is shown
    bool mapsDataPort = false;       // port mapping also forwards the data port

    // Apply of the advanced window sends a settings command (after its login dialog).
    bool applyCommand = false;
    // The login dialog before Apply: its password preset, whether the entries go into the
    // new record as its login, whether the busy cursor shows while sending, and the hint
    // key that replaces the dialog's default-account tip.
    QString applyPasswordPreset;
    bool applyKeepsLogin = false;
    bool applyShowsBusy = false;
    QString defaultAccountHintKey;

    // Easy mode's settings change: whether the stored credentials are tested first (and the
    // dialog shown when they fail), and whether the login dialog runs whatever the caller asked.
    bool easyChecksLogin = false;
    bool easyAlwaysLogsIn = false;

    // Step 6 offers to change the camera's DDNS settings.
    bool ddnsEditable = true;

    // The network-settings command: the values it carries and those the search replies
    // report back (TNetField bits, so that a tool refuses what cannot be sent and sees a
    // change arrive), and the most UTF-8 bytes its texts take (0: no limit of the command's).
    quint32 netCarried = 0;
    quint32 netReported = 0;
    int nameBytes = 0;
    int userBytes = 0;
    int passwordBytes = 0;
    // Easy mode sets up the family's cameras: step 3 lists them.
    bool easyListed = false;
};

// The checks every family's settings change passes before anything is sent, from the traits:
// each address the command carries is four numbers 0..255 (Dns2 may be empty) and the
// camera's own does not end in 0 or 255; the web port is not 0, nor a carried data port that
// changes; carried texts fit their fields (the login trimmed, as it is sent); the address mode
// is one the family offers.
TNetCheck CheckNetworkValues(const TFamilyTraits& traits, const TDevInfo& oldRec,
                             const TDevInfo& newRec, const TLogin& login);

class ICameraFamily {
public:
    virtual ~ICameraFamily() = default;

    virtual qint32 Code() const = 0;
    virtual const TFamilyTraits& Traits() const = 0;

    // The search. SendProbes sends this family's part of one pass (tick numbers a pass of the
    // timer; withLibrary is set by the Find button). Errors are swallowed.
    virtual void SendProbes(ISearchSink& sink, int tick, bool withLibrary)
    {
        (void)sink, (void)tick, (void)withLibrary;
    }
    // Recognises one received datagram. rec starts with Family -1 and the Adapter the datagram
    // came in on (0 when not known), which the engine keeps in the record it merges; answers
    // to the datagram go out of that adapter.
    virtual TReplyMatch ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink)
    {
        (void)datagram, (void)rec, (void)sink;
        return TReplyMatch::NotMine;
    }
    // Ends the family's own search work (threads, library searches) before the engine goes.
    virtual void StopSearch() {}

    // Whether ApplyNetwork can send this change: the window and the ipcam tool refuse the
    // same values through it, before anything is sent.
    virtual TNetCheck CheckNetwork(const TDevInfo& oldRec, const TDevInfo& newRec,
                                   const TLogin& login) const
    {
        return CheckNetworkValues(Traits(), oldRec, newRec, login);
    }
    // Sends the new network settings of a camera found as oldRec, out of the adapter it
    // answered on (oldRec.Adapter). Blocks for the family's answer wait at most.
    virtual TApplyResult ApplyNetwork(ISearchSink& sink, TApplyOrigin origin, const TDevInfo& oldRec,
                                      const TDevInfo& newRec, const TLogin& login)
    {
        (void)sink, (void)origin, (void)oldRec, (void)newRec, (void)login;
        return TApplyResult::kUnsupported;
    }
    // Tests a user name and password against the camera at devUrl ("http://" + IP + ":" +
    // port); both are trimmed first. A family without a test refuses.
    virtual TLoginResult TestCredentials(const QString& devUrl, const TLogin& login)
    {
        (void)devUrl, (void)login;
        return TLoginResult::kRefused;
    }
    // Asks the camera to restart; true when the request was taken. The camera is found again
    // by searching.
    virtual bool CanRestart() const { return false; }
    virtual bool Restart(const TDevInfo& cam, const TLogin& login)
    {
        (void)cam, (void)login;
        return false;
    }

    // Optional capabilities: null when the family has none. They live as long as the family.
    // The firmware upgrade (CameraFirmware.h); Traits().firmwareUpgrade says the same to the
    // windows.
    virtual ICameraFirmware* Firmware() { return nullptr; }
    // Whether the camera answers at its LAN address, after its address was set. A family
    // without a test of its own is tested by a GET of its web page (InnerUrl) by the caller.
    // cancel ends the test early (then: not reachable).
    virtual bool ChecksReachability() const { return false; }
    virtual bool CheckReachable(const TDevInfo& cam, const TCancelToken& cancel)
    {
        (void)cam, (void)cancel;
        return false;
    }

    // Optional capabilities (CameraCapabilities.h); null when the family has none.
    virtual ICameraWiFi* WiFi() { return nullptr; }
    virtual ICameraDdns* Ddns() { return nullptr; }
};
