#pragma once
// The CGI pages that the web servers of families 2 and 8 share: the login test on
// get_params.cgi, the restart page, and the firmware upload as a multipart POST.

#include "CameraFamily.h"

#include <QByteArray>

namespace VendorCgi {

inline constexpr int kLoginTimeoutMs = 5000;
inline constexpr int kRestartTimeoutMs = 10000;
// The reachability test of easy mode after an address change.
inline constexpr int kReachTimeoutMs = 5000;
inline constexpr int kSettleAfterAddressMs = 3000;

// "http://" + IP + ":" + port, the port always written: the login dialog's camera address.
QString DevUrlOf(const TDevInfo& rec);

// devUrl + "/get_params.cgi?user=" + user + "&pwd=" + password, both trimmed and query-encoded,
// also sent as Basic credentials; accepted when the answer holds "var".
TLoginResult TestParamsLogin(const QString& devUrl, const TLogin& login);

// A GET of the camera's restart page (path after the camera's web address) with the login as
// Basic credentials; true when the camera answered.
bool RequestRestart(const TDevInfo& cam, const QString& path, const TLogin& login);

// How a family's web server wants its firmware upload.
struct TUpgradeRequest {
    QString url;
    QByteArray partType;        // the file part's Content-Type
    QByteArray accept;          // the Accept header
    QByteArray acceptEncoding;  // empty: none
    QString user;               // Basic credentials when not empty
    QString password;
};
inline constexpr int kUpgradeTimeoutMs = 60000;  // connect, and silence while transferring
// The Accept header of the browsers these web servers were made for.
inline constexpr const char* kBrowserAccept =
    "image/gif, image/jpeg, image/pjpeg, image/pjpeg, application/x-shockwave-flash, */*";

// POSTs job's file as the form field "file" with the job's progress and abort flag: kDone when
// the camera answered with a status below 400, else kFailed.
TFirmwareOutcome PostUpgrade(const TUpgradeRequest& request, const TFirmwareJob& job);

}  // namespace VendorCgi
