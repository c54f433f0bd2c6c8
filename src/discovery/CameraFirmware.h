#pragma once
// The firmware upgrade of a camera family that has one: the file chooser's filter, the check
// of the chosen file before anything is sent, and the upload itself with its progress and an
// abort flag. A family hands it out through ICameraFamily::Firmware(); the upgrade dialog and
// the ipcam tool call UpgradeCamera and never ask which family it is.
//
// Threads: CheckFile and Send block their caller (Send for up to minutes) and may run on any
// thread; the progress callback runs on that same thread.

#include "DevInfo.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>
#include <optional>

class ICameraFamily;

// The two kinds of firmware a camera takes.
enum class TFirmwareKind { WebPages, System };

struct TFirmwareProgress {
    enum class TStage {
        Connecting,        // before anything of the file goes out
        Sending,           // bytesSent of bytesTotal
        WaitingForCamera,  // the camera switches modes or restarts; secondsLeft of this wait
    };
    TStage stage = TStage::Connecting;
    qint64 bytesSent = 0;
    qint64 bytesTotal = 0;  // 0 while not known
    int secondsLeft = -1;   // whole seconds left of a fixed wait, rounded up; -1 while trying
};
using TFirmwareProgressFn = std::function<void(const TFirmwareProgress&)>;

// One upgrade: what the user chose, and the camera.
struct TFirmwareJob {
    QString fileName;  // trimmed of blanks by UpgradeCamera
    TFirmwareKind kind = TFirmwareKind::WebPages;
    QString ip;
    qint32 port = 80;  // the camera's device (web) port
    QString user;      // as entered; each family trims where its cameras want it
    QString password;
    // The camera's record from the list, when the caller has one (a copy): family 9 chooses
    // where the upload goes by its version, and asks the camera without it.
    std::optional<TDevInfo> camera;
    TFirmwareProgressFn progress;       // optional
    std::atomic<bool>* abort = nullptr;  // optional; true ends the upgrade as kAborted
};

// What the check of a chosen file found.
enum class TFirmwareCheck {
    kOk,
    kIgnored,  // nothing is done with this name (family 5: no such file), and nothing said
    kBadFile,  // unreadable, too short or of the wrong kind: "IDS_ERRFILE"
};

enum class TFirmwareResult {
    kDone,         // the camera took the file ("IDS_UPGRADESUCC")
    kIgnored,      // see TFirmwareCheck::kIgnored
    kBadFile,      // "IDS_ERRFILE", nothing was sent
    kFailed,       // "IDS_UPGRADEFAIL"
    kAborted,      // the abort flag ended it; the camera may be left waiting for the rest
    kUnsupported,  // the family has no firmware upgrade
};

struct TFirmwareOutcome {
    TFirmwareResult result = TFirmwareResult::kFailed;
    // Set when the family itself saw the camera accept connections again after the upgrade;
    // otherwise the camera is found again by searching.
    bool cameraBack = false;
    // The key of a more precise reason the family gave for a failure (family 5's first phase:
    // "IDS_CANTCONNECT", "IDS_ERRACCESS", ...); empty when it gave none. The dialog does not
    // show it; the ipcam tool may.
    QString detailKey;
};

class ICameraFirmware {
public:
    virtual ~ICameraFirmware() = default;

    // The file chooser's filter ("Upgrade package(*.bin)|*.bin" in the language file's form)
    // for this family's files; applying it again changes nothing more.
    virtual QString ChooserFilter(const QString& filter) const { return filter; }
    // Looks at the chosen file (fileName already trimmed) before anything is sent.
    virtual TFirmwareCheck CheckFile(const QString& fileName, TFirmwareKind kind) const = 0;
    // Sends a file that passed CheckFile to the camera (job.fileName trimmed). Never kBadFile
    // for a checked file that did not change meanwhile.
    virtual TFirmwareOutcome Send(const TFirmwareJob& job) = 0;

    // The first size bytes of the file, or none when it cannot be opened for reading or is
    // shorter. What the families' checks read.
    static std::optional<QByteArray> FirstBytes(const QString& fileName, int size = 4);
    // "http://" + ip, plus ":" + port unless the port is 80.
    static QString BaseUrl(const QString& ip, qint32 port);
};

// The upgrade of a camera of family: the file name trimmed, CheckFile, then Send. kUnsupported
// for a family without a firmware upgrade; kAborted when the abort flag was set, whatever the
// family's operation answered. Reports Connecting before the family starts.
TFirmwareOutcome UpgradeCamera(ICameraFamily& family, TFirmwareJob job);
