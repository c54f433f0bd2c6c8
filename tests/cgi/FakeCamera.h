#pragma once
// A family-9 camera's web server on 127.0.0.1 for the driver tests: POSIX sockets on a
// thread, one thread per connection. It records every request (head, decoded query, body)
// and answers through a handler; Family9Pages is a handler that answers like a camera.

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct HttpRequest {
    std::string method;
    std::string target;  // as sent: path and query
    std::string path;
    std::map<std::string, std::string> query;  // percent-decoded
    std::string head;
    std::string body;
    bool hasBasic = false;
    std::string basicUser;
    std::string basicPassword;

    std::string Header(const std::string& name) const;  // case-insensitive; empty when absent
    std::string Param(const std::string& name) const;
};

// Decodes %XX (and "+" as a blank, as camera CGI decoders do).
std::string PercentDecode(const std::string& s);

// An answer: the bytes to send, then whether to close at once.
using HttpHandler = std::function<std::string(const HttpRequest&)>;

class CameraServer {
public:
    // port 0: any free port.
    explicit CameraServer(HttpHandler handler, std::uint16_t port = 0);
    ~CameraServer();
    CameraServer(const CameraServer&) = delete;
    CameraServer& operator=(const CameraServer&) = delete;

    bool Listening() const { return listen_ >= 0; }
    std::uint16_t Port() const { return port_; }
    QString BaseUrl() const;  // "http://127.0.0.1:" + port
    std::vector<HttpRequest> Requests() const;
    size_t RequestCount() const;
    void ClearRequests();

private:
    void AcceptLoop();
    void Serve(int fd);

    HttpHandler handler_;
    int listen_ = -1;
    int wake_[2] = {-1, -1};
    std::uint16_t port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<HttpRequest> requests_;
};

std::string HttpAnswer(int status, const std::string& body, const std::string& extraHeaders = {});

// A port on 127.0.0.1 on which nothing listens.
std::uint16_t RefusedPort();

// The pages of a family-9 camera. Pages that take credentials in the query answer
// "Auth Failed" without any "var" when they are wrong; the restart and upload pages want
// Basic credentials and answer 401 otherwise.
class Family9Pages {
public:
    std::string user = "admin";
    std::string password;
    std::string version = "48.2.0.99";
    // Answer bodies of the script pages.
    std::string params =
        "var wifi_enable=1;\r\nvar wifi_ssid=\"HomeNet\";\r\nvar wifi_mode=0;\r\n"
        "var wifi_encrypt=4;\r\nvar wifi_authtype=0;\r\nvar wifi_defkey=0;\r\n"
        "var wifi_keyformat=0;\r\nvar wifi_key1=\"\";\r\nvar wifi_key2=\"\";\r\n"
        "var wifi_key3=\"\";\r\nvar wifi_key4=\"\";\r\nvar wifi_key1_bits=0;\r\n"
        "var wifi_key2_bits=0;\r\nvar wifi_key3_bits=0;\r\nvar wifi_key4_bits=0;\r\n"
        "var wifi_wpa_psk=\"secret key\";\r\n";
    std::string scanResult =
        "var ap_number=2;\r\nvar ap_ssid=new Array();\r\n"
        "ap_ssid[0]=\"HomeNet\";\r\nap_mac[0]=\"00:11:22:33:44:55\";\r\nap_security[0]=4;\r\n"
        "ap_dbm0[0]='70';\r\nap_dbm1[0]='-40';\r\nap_mode[0]=0;\r\n"
        "ap_ssid[1]=\" Cafe \";\r\nap_mac[1]=\"66:77:88:99:AA:BB\";\r\nap_security[1]=0;\r\n"
        "ap_dbm0[1]=' 35 ';\r\nap_dbm1[1]=' -80';\r\nap_mode[1]=1;\r\n";
    std::string factory =
        "var factory_index=10;\r\nvar factory_server=\"ddns.example.net\";\r\n"
        "var factory_port=808;\r\nvar factory_user=\"T0012345\";\r\nvar factory_passwd=\"pw\";\r\n";
    std::string setWiFiAnswer = "<html>rebootme</html>";
    std::string setDdnsAnswer = "ok.";
    int uploadStatus = 200;

    HttpHandler Handler();
    std::string Answer(const HttpRequest& r);

private:
    bool QueryCredentialsOk(const HttpRequest& r, const char* userKey, const char* pwdKey) const;
    bool BasicOk(const HttpRequest& r) const;
};
