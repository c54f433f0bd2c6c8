#pragma once
// Firmware upload to a family-9 camera: one multipart form POST on libcurl.

#include <QString>

struct TFirmwarePost {
    QString url;
    QString filePath;     // sent under its own file name, in the form field "file"
    QString user;         // Basic credentials when not empty
    QString password;
    int timeoutMs = 60000;  // connect time-out, and the longest silence while transferring
};

// True when the POST completes with a status below 400; false for an unreadable file, a
// connection failure, a time-out or an HTTP error status.
bool PostFirmware(const TFirmwarePost& post);
