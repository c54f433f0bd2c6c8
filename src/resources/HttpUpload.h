#pragma once
// Firmware upload to a camera's web server: one multipart form POST on libcurl, with the
// request each family's web server expects.

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <atomic>
#include <functional>

struct TFirmwarePost {
    QString url;
    QString filePath;     // sent under its own file name, in the form field "file"
    QByteArray partType = "application/x-zip-compressed";  // the file part's Content-Type
    // Request headers; an empty Accept-Encoding sends none.
    QByteArray accept = "image/gif, image/jpeg, image/pjpeg, image/pjpeg, application/x-shockwave-flash, */*";
    QByteArray acceptEncoding = "gzip,deflate";
    QString user;         // Basic credentials when not empty
    QString password;
    int timeoutMs = 60000;  // connect time-out, and the longest silence while transferring
    // Called on the uploading thread as the body goes out: bytes of the request body sent so
    // far and its whole size (0 while not known yet).
    std::function<void(qint64 sent, qint64 total)> progress;
    // Set from any thread: the upload ends as a failure within about a second.
    const std::atomic<bool>* abort = nullptr;
};

// True when the POST completes with a status below 400; false for an unreadable file, a
// connection failure, a time-out, an HTTP error status or an abort.
bool PostFirmware(const TFirmwarePost& post);
