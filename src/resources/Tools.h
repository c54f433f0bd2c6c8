#pragma once
// Folders, files, text splitting and HTTP GET: stateless helpers callable from any thread.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>

class TTools {
public:
    TTools() = delete;

    // Temporary folder, with a trailing separator.
    static QString GetTempDir();
    // Folder of the running executable (the file itself, every link resolved), with a
    // trailing separator.
    static QString AppDir();
    // File name of the running executable (no folder).
    static QString ExeName();
    static bool ForceDirs(const QString& path);
    // Deletes the folder's contents recursively (and the folder itself when removeFolder),
    // without following links. Goes on past failures; true when nothing of what was to go is
    // left (also for an empty name or a folder that does not exist).
    static bool DeleteDir(const QString& folder, bool removeFolder);
    // Makes path a folder that only this user can enter: created with mode 0700, or an
    // existing one of this user's made so (emptied first when others could write to it). An
    // existing entry that is a link, not a folder, or another user's is refused: false, and
    // it is left as it is.
    static bool PrivateDir(const QString& path);
    using StopCheck = std::function<bool()>;
    static void FindFiles(QStringList& list, const QString& folder, bool noDuplicates,
                          const StopCheck& stopCheck, bool recurse, const QString& masks);
    // 26 is the per-user settings folder (XDG_CONFIG_HOME). Trailing separator when not empty.
    static QString SpecialFolder(int folderNumber, bool create);
    // SpecialFolder + executable name without extension + separator.
    static QString AppDataDir(int folderNumber, bool create);
    static void SplitText(const QString& text, const QString& separator, QStringList& list);

    // GET with agent "MyIP"; the status is not looked at. On success text is the body
    // (at most 512000 bytes, up to the first zero byte); on failure false and an empty text.
    // cancelled, when given, is asked every few milliseconds: true ends the request as failed.
    static bool HttpGetText(const QString& url, const QString& user, const QString& password,
                            int timeoutMs, QString& text,
                            const std::function<bool()>& cancelled = nullptr);
    // The same with the body's bytes as received (for texts kept in the camera's code page).
    static bool HttpGetBytes(const QString& url, const QString& user, const QString& password,
                             int timeoutMs, QByteArray& body);
};

// The text HttpGetText makes of a reply body: the bytes up to the first zero byte, as UTF-8
// when they are valid UTF-8, else as Latin-1. cut: the body was cut at the size limit, so an
// incomplete UTF-8 sequence at its very end does not count against it.
QString HttpBodyText(QByteArray body, bool cut);

// HTTP GET with Basic authentication when user is not empty; an HTTP error status is a failure.
bool HttpGetAuth(const QString& url, int timeoutMs, const QString& user, const QString& password,
                 QString& text);
// True exactly when a GET of url (cookies off, 20000 ms time-outs) completes with status 200.
bool UrlGetOk(const QString& url);
// GET of url into the file at path (created or emptied). True when the transfer completed with
// a 2xx status and at least one byte; redirects are followed (http and https only). A body
// larger than maxBytes, a file that cannot be written, or cancelled() returning true end it
// as a failure. The file is left for the caller to keep or remove.
bool HttpDownloadFile(const QString& url, const QString& path, int timeoutMs, qint64 maxBytes,
                      const std::function<bool()>& cancelled = nullptr);

// HTTP POST of body with the given Content-Type value, connect and receive time-outs of
// timeoutMs each. True when an answer came, whatever its status; status and reply are then
// set. An answer body longer than maxReply bytes (at most 8 MiB) is a failure.
bool HttpPost(const QString& url, const QByteArray& contentType, const QByteArray& body,
              int timeoutMs, qsizetype maxReply, long& status, QByteArray& reply);

// RFC 2045 Base64, broken into 76-character lines joined by CR LF.
QString Base64Encode(const QByteArray& bytes);
