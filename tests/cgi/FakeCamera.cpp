#include "FakeCamera.h"

HttpHandler Family9Pages::Handler()
{
    return [this](const HttpRequest& r) { return Answer(r); };
}

bool Family9Pages::QueryCredentialsOk(const HttpRequest& r, const char* userKey,
                                      const char* pwdKey) const
{
    return r.query.count(userKey) && r.Param(userKey) == user && r.Param(pwdKey) == password;
}

bool Family9Pages::BasicOk(const HttpRequest& r) const
{
    return r.hasBasic && r.basicUser == user && r.basicPassword == password;
}

std::string Family9Pages::Answer(const HttpRequest& r)
{
    static const std::string kAuthFailed = "Auth Failed\r\n";
    static const std::string kUnauthorized = "WWW-Authenticate: Basic realm=\"ipcam\"\r\n";
    const std::string& p = r.path;
    // Some firmware serves its pages under a doubled slash as well.
    const std::string page = p.substr(p.find_first_not_of('/') == std::string::npos
                                          ? p.size()
                                          : p.find_first_not_of('/'));
    if (page == "get_params.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? params : kAuthFailed);
    if (page == "wifi_scan.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? "ok.\r\n" : kAuthFailed);
    if (page == "get_wifi_scan_result.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? scanResult : kAuthFailed);
    if (page == "set_wifi.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? setWiFiAnswer : kAuthFailed);
    if (page == "reboot.cgi")
        return BasicOk(r) ? HttpAnswer(200, "<html>reboot</html>")
                          : HttpAnswer(401, "Unauthorized", kUnauthorized);
    if (page == "get_factory_param.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd") ? factory : kAuthFailed);
    if (page == "set_ddns.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "loginuse", "loginpas") ? setDdnsAnswer
                                                                             : kAuthFailed);
    if (page == "get_status.cgi")
        return HttpAnswer(200, QueryCredentialsOk(r, "user", "pwd")
                                   ? "var sys_ver=\"" + version + "\";\r\nvar id=\"T1\";\r\n"
                                   : kAuthFailed);
    if (page == "upgrade_firmware.cgi" || page == "upgrade_htmls.cgi") {
        if (r.method != "POST" || !BasicOk(r) || !QueryCredentialsOk(r, "loginuse", "loginpas"))
            return HttpAnswer(401, "Unauthorized", kUnauthorized);
        return HttpAnswer(uploadStatus, "<html>upgrading</html>");
    }
    return HttpAnswer(404, "Not Found");
}
