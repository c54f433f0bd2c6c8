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

#include "DevInfo.h"

#include <QByteArray>
#include <QString>

class QObject;
class TDeviceList;

// What the search engine offers a family: its five UDP sockets and its camera list.
class ISearchSink {
public:
    virtual ~ISearchSink() = default;
    // Broadcasts bytes from the engine's socket 1..5 to port; false when they did not go out.
    // Any thread.
    virtual bool SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port) = 0;
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

// The rules the windows follow for a family's cameras. Plain data, so that a window asks
// instead of switching on the family code.
struct TFamilyTraits {
    QString series;  // the list's first column

    // The camera list.
    bool expires = true;             // rows age out when the camera stops answering
    qint32 firstTimeToLive = 10;     // search ticks a new row gets

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
};

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
    // Recognises one received datagram. rec starts with Family -1.
    virtual TReplyMatch ParseReply(const QByteArray& datagram, TDevInfo& rec, ISearchSink& sink)
    {
        (void)datagram, (void)rec, (void)sink;
        return TReplyMatch::NotMine;
    }
    // Ends the family's own search work (threads, library searches) before the engine goes.
    virtual void StopSearch() {}

    // Sends the new network settings of a camera found as oldRec. Blocks for the family's
    // answer wait at most.
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
};
