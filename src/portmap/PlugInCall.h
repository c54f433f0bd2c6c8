#pragma once
// Calling a router plug-in. A plug-in is a shared library exporting
//   unsigned char GetPortForward(const char* router, const char* user, const char* password, char** buffer);
//   unsigned char SetPortForward(...same...);
// and optionally `const char PlugInVersion[]` ("1.0.0.3"). It is never loaded into this
// process: the helper ipcam-plugin-host, installed beside the program, loads it and makes the
// call, so a plug-in that crashes, hangs or scribbles over memory only takes the helper down.

#include <QByteArray>
#include <QString>
#include <atomic>

// Size of the buffer handed to the plug-in.
inline constexpr int kPlugInBufferSize = 102400;
// A plug-in call that has not answered after this long is ended (code 6).
inline constexpr int kPlugInTimeoutMs = 60000;
// Result codes of the plug-ins.
namespace PlugInCode {
constexpr unsigned char Ok = 0, InvalidUser = 1, WrongRouter = 2, ReadError = 3, DataError = 4,
                        RouterConfigError = 5, ProgramError = 6, ParameterError = 7;
}

struct TPlugInCallOptions {
    int timeoutMs = kPlugInTimeoutMs;
    const std::atomic<bool>* cancel = nullptr;  // set: the call is ended at once (code 6)
    QString hostPath;  // the helper executable; empty: DefaultPlugInHost()
};

// Calls entry of the plug-in at path; text is the input on the way in and the plug-in's reply
// (at most kPlugInBufferSize - 1 bytes) on the way out. 6 when the plug-in cannot be loaded,
// lacks the entry point, crashes, hangs past the time limit, returns no zero-terminated text
// within its buffer, or when the input does not fit the buffer; otherwise the plug-in's code.
unsigned char CallPlugIn(const QString& path, const QString& entry, const QString& router,
                         const QString& user, const QString& password, QByteArray& text,
                         const TPlugInCallOptions& options = {});

// The plug-in's version text, four decimal numbers joined by "."; empty when it exports none
// (or none of that form) or cannot be loaded.
QString PlugInVersion(const QString& path, const TPlugInCallOptions& options = {});

// The helper executable beside the program.
QString DefaultPlugInHost();
