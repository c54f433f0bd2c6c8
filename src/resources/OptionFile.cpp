#include "OptionFile.h"

#include "Tools.h"

#include <QFileInfo>
#include <atomic>

namespace {
std::atomic<TOptionFile::WriteErrorReporter> g_reporter{nullptr};
}

void TOptionFile::SetWriteErrorReporter(WriteErrorReporter reporter) { g_reporter = reporter; }

QString TOptionFile::UserFolder() {
    const QString dir = TTools::AppDataDir(26, true);
    return dir.isEmpty() ? TTools::AppDir() : dir;
}

TOptionFile::TOptionFile(const QString& fileName) : TOptionFile(fileName, TTools::AppDir(), UserFolder()) {}

TOptionFile::TOptionFile(const QString& fileName, const QString& programFolder, const QString& userFolder)
    : UserFile(userFolder + fileName) {
    const QString defaults = programFolder + fileName;
    if (QFileInfo(defaults).isFile() && defaults != UserFile.FileName())
        DefaultsFile.emplace(defaults);
}

QString TOptionFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    const QString v = DefaultsFile ? DefaultsFile->ReadString(section, key, def) : def;
    return UserFile.ReadString(section, key, v);
}

bool TOptionFile::ReadBool(const QString& section, const QString& key, bool def) const {
    const bool v = DefaultsFile ? DefaultsFile->ReadBool(section, key, def) : def;
    return UserFile.ReadBool(section, key, v);
}

bool TOptionFile::WriteString(const QString& section, const QString& key, const QString& value) {
    if (UserFile.WriteString(section, key, value))
        return true;
    if (auto r = g_reporter.load())
        r(UserFile.FileName());
    return false;
}

bool TOptionFile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QString TConfig::DefaultPath() { return TTools::AppDir() + QStringLiteral("Config.ini"); }

TConfig TConfig::Read(const QString& path) {
    TConfig c;
    QString actual = path;
    if (!QFileInfo(actual).isFile()) {
        // The file is named in either letter case; on Linux that is two names.
        const QFileInfo info(path);
        const QString lower = info.absolutePath() + QLatin1Char('/') + info.fileName().toLower();
        if (QFileInfo(lower).isFile())
            actual = lower;
    }
    const IniFile ini(actual);
    c.Exists = ini.Loaded();
    c.OnlineCD = ini.ReadString(QStringLiteral("LINK"), QStringLiteral("OnlineCD"), QString());
    c.About = ini.ReadString(QStringLiteral("LINK"), QStringLiteral("About"), QString());
    c.RouterUrl = ini.ReadString(QStringLiteral("Setup"), QStringLiteral("RouterUrl"), QString());
    c.DownDllURL = ini.ReadString(QStringLiteral("Setup"), QStringLiteral("DownDllURL"), QString());
    // A domain is a name, not a URL: blanks and a leading "." are dropped, an empty value keeps
    // the built-in one.
    QString domain = ini.ReadString(QStringLiteral("Setup"), QStringLiteral("DdnsDomain"), QString()).trimmed();
    while (domain.startsWith(u'.'))
        domain.remove(0, 1);
    if (!domain.isEmpty())
        c.DdnsDomain = domain;
    return c;
}
