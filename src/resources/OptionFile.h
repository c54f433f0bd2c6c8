#pragma once
// option.ini: a per-user file laid over an optional copy in the program folder. Every write
// goes to the per-user file; nothing is ever written into the program folder.

#include "IniFile.h"

#include <QString>
#include <optional>

class TOptionFile {
public:
    // Reports a user file that cannot be written: (path). The program goes on.
    using WriteErrorReporter = void (*)(const QString& path);
    static void SetWriteErrorReporter(WriteErrorReporter reporter);

    explicit TOptionFile(const QString& fileName = QStringLiteral("option.ini"));
    // The same with both folders given (each with a trailing separator).
    TOptionFile(const QString& fileName, const QString& programFolder, const QString& userFolder);

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteBool(const QString& section, const QString& key, bool value);

    // The per-user folder: application data + executable name; the program folder when the
    // application-data folder cannot be determined.
    static QString UserFolder();
    QString UserFilePath() const { return UserFile.FileName(); }

private:
    std::optional<IniFile> DefaultsFile;
    IniFile UserFile;
};

// The dynamic-DNS domain of the cameras' provider, for a camera whose DDNS server names no
// domain; Config.ini [Setup] DdnsDomain replaces it.
inline constexpr const char* kDefaultDdnsDomain = "ipcam-wizard.example";

// The links, download addresses and product values of Config.ini in the program folder.
struct TConfig {
    QString OnlineCD;
    QString About;
    QString RouterUrl;
    QString DownDllURL;
    QString DdnsDomain = QString::fromLatin1(kDefaultDdnsDomain);  // without a leading "."
    bool Exists = false;

    static TConfig Read(const QString& path);
    static QString DefaultPath();
};
