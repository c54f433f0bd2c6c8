#pragma once
// The pages of a family-9 camera's web server, answered through the test support's
// CameraServer.

#include "TestHttpServer.h"

#include <string>

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
