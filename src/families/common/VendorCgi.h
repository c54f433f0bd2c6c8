#pragma once
// The CGI pages that the web servers of families 2 and 8 share: the login test on
// get_params.cgi and the restart page.

#include "CameraFamily.h"

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

}  // namespace VendorCgi
