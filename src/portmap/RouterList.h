#pragma once
// The router models of Router.ini, the download addresses of the router list and plug-ins,
// downloads into the user's "Router" folder and the version rules. Widget-free; every call that may
// wait on the network takes a cancel flag and is meant for a worker thread.

#include <QList>
#include <QString>
#include <atomic>

// One router model: an entry of the router drop-down.
struct TRouter {
    int Number = 0;       // i of the keys in Router.ini
    QString DisplayName;
    QString PlugInFile;   // file name inside the "Router" folder
};

// Where the dialog keeps and finds its files. Two "Router" folders: the one carried beside the
// executable, which an installed program cannot write to, and the user's own, which holds
// whatever is downloaded. A file is looked for in the user's folder first, then in the carried
// one; every write goes to the user's folder.
struct TPortMapSetup {
    QString RouterDir;      // the carried "Router" folder, with a trailing separator; only read
    QString UserRouterDir;  // the user's "Router" folder; empty: RouterDir serves as both
    QString ConfigPath;     // Config.ini
    QString PlugInHost;     // the helper that makes plug-in calls
    // The "Router" folder beside the executable (in whatever letter case it exists), the
    // user's folder of UserRouterFolder(), Config.ini beside the executable.
    static TPortMapSetup Default();

    // The folder that downloads go to, with a trailing separator.
    QString WritableDir() const;
    // name (matched without regard to case) in the user's folder when it is there, else in the
    // carried folder when it is there, else the user's-folder path where a download would put it.
    QString Find(const QString& name) const;
    // True when path lies in the user's folder (so the program may change it).
    bool IsWritable(const QString& path) const;
};

// The user's "Router" folder: the per-user data folder (XDG_DATA_HOME, else ~/.local/share) +
// "ipcam-wizard/Router/", shared by the program and its tools; empty without a home.
QString UserRouterFolder();

// The download server used when Config.ini names none.
inline constexpr const char* kDefaultPlugInServer = "http://router.ipcam-wizard.example";

struct TPlugInUrls {
    QString RouterListUrl;
    QString PlugInBaseUrl;
    // Built-in addresses, replaced by [Setup] RouterUrl / DownDllURL of an existing Config.ini;
    // a key present with an empty value keeps the built-in address.
    static TPlugInUrls FromConfig(const QString& configPath);
};

// dir + name when that exists; otherwise an existing entry of dir whose name matches without
// regard to case; otherwise dir + name as given. The program's platform matched names so.
QString FindNoCase(const QString& dir, const QString& name);

// Models of [Router] whose name in language lang and plug-in file are both given. Plug-in
// file names that would leave the "Router" folder are not offered.
QList<TRouter> LoadRouterList(const QString& path, const QString& lang);

// Writes key = value into [ROUTER] of the file, leaving every other byte as it was (the file
// may be in any code page). False when the file cannot be written.
bool WriteRouterIniValue(const QString& path, const QString& key, const QString& value);

// GET url into target + ".ll"; on success the old target is kept as target + ".old" and the
// new file takes its place. A failed, empty or cancelled download leaves target untouched.
bool DownloadFile(const QString& url, const QString& target, const std::atomic<bool>* cancel = nullptr);

// The newest version of model number according to the server's router list; empty when the
// list cannot be had.
QString RemoteVersion(int number, const QString& routerListUrl, const QString& routerDir,
                      const std::atomic<bool>* cancel = nullptr);

// True when a download of the plug-in should be offered: there is no plug-in, or its version
// is less than the remote one in a byte-wise comparison of the two texts.
bool NewerPlugInAvailable(bool plugInExists, const QString& installedVersion, const QString& remoteVersion);
