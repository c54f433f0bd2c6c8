#include "RouterList.h"

#include "PlugInCall.h"

#include "IniFile.h"
#include "LangRes.h"
#include "Tools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTextCodec>

#include <algorithm>
#include <cstdio>

namespace {

// Downloads of the router list and of plug-ins: a plug-in is a few megabytes at most.
constexpr qint64 kMaxDownloadBytes = 64 * 1024 * 1024;
constexpr int kDownloadTimeoutMs = 20000;

QString WithSeparator(QString path) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool IsUtf8(const QByteArray& bytes) {
    QStringDecoder d(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = d.decode(bytes);  // decoding happens on conversion
    return !d.hasError();
}

// A plug-in file name names a file inside the "Router" folder, nothing else.
bool IsPlainFileName(const QString& name) {
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')) &&
           name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QChar(0));
}

QByteArray TrimBlanks(QByteArray s) {
    while (!s.isEmpty() && (s.front() == ' ' || s.front() == '\t')) s.remove(0, 1);
    while (!s.isEmpty() && (s.back() == ' ' || s.back() == '\t')) s.chop(1);
    return s;
}

}  // namespace

QString UserRouterFolder() {
    // The XDG rule, as for the settings folder: no home, no folder of the user's.
    QString data = QString::fromLocal8Bit(qgetenv("XDG_DATA_HOME"));
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
        if (home.isEmpty() || !QDir::isAbsolutePath(home))
            return QString();
        data = home + QStringLiteral("/.local/share");
    }
    return WithSeparator(data) + QStringLiteral("ipcam-wizard/Router/");
}

TPortMapSetup TPortMapSetup::Default() {
    TPortMapSetup s;
    s.RouterDir = WithSeparator(FindNoCase(TTools::AppDir(), QStringLiteral("Router")));
    s.UserRouterDir = UserRouterFolder();
    s.ConfigPath = FindNoCase(TTools::AppDir(), QStringLiteral("Config.ini"));
    s.PlugInHost = DefaultPlugInHost();
    return s;
}

QString TPortMapSetup::WritableDir() const {
    // Without a home the program folder is all there is, as for option.ini.
    return WithSeparator(UserRouterDir.isEmpty() ? RouterDir : UserRouterDir);
}

QString TPortMapSetup::Find(const QString& name) const {
    const QString mine = FindNoCase(WritableDir(), name);
    if (QFileInfo::exists(mine) || RouterDir.isEmpty())
        return mine;
    const QString carried = FindNoCase(RouterDir, name);
    return QFileInfo::exists(carried) ? carried : mine;
}

bool TPortMapSetup::IsWritable(const QString& path) const {
    const QString dir = WithSeparator(QFileInfo(path).absolutePath());
    return QDir::cleanPath(dir) == QDir::cleanPath(WritableDir());
}

TPlugInUrls TPlugInUrls::FromConfig(const QString& configPath) {
    const QString server = QString::fromLatin1(kDefaultPlugInServer);
    TPlugInUrls u;
    u.RouterListUrl = server + QStringLiteral("/router/router.txt");
    u.PlugInBaseUrl = server + QStringLiteral("/router/");
    if (!QFileInfo(configPath).isFile())
        return u;
    const IniFile ini(configPath);
    const QString setup = QStringLiteral("Setup");
    if (!ini.HasKey(setup, QStringLiteral("RouterUrl")))
        u.RouterListUrl = server + QStringLiteral("/router/Router.txt");
    else if (const QString v = ini.ReadString(setup, QStringLiteral("RouterUrl"), QString()); !v.isEmpty())
        u.RouterListUrl = v;
    if (const QString v = ini.ReadString(setup, QStringLiteral("DownDllURL"), QString()); !v.isEmpty())
        u.PlugInBaseUrl = v;
    return u;
}

QString FindNoCase(const QString& dir, const QString& name) {
    const QString d = WithSeparator(dir);
    if (QFileInfo::exists(d + name))
        return d + name;
    const QStringList entries = QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                                  QDir::Name);
    for (const QString& e : entries)
        if (e.compare(name, Qt::CaseInsensitive) == 0)
            return d + e;
    return d + name;
}

QList<TRouter> LoadRouterList(const QString& path, const QString& lang) {
    QList<TRouter> out;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    const QByteArray bytes = ReadAtMost(f, IniFile::kMaxFileSize);
    // Read byte for byte; each name is decoded afterwards: a list written on another system
    // holds every language's names in that language's code page.
    const IniFile ini = IniFile::FromBytes(bytes, QTextCodec::codecForName("ISO-8859-1"));
    QTextCodec* names = IsUtf8(bytes) ? QTextCodec::codecForName("UTF-8") : CodecForLanguage(lang);
    const QString section = QStringLiteral("Router");
    const int n = ini.ReadInteger(section, QStringLiteral("Count"), 0);
    // Walk only the numbers that have a plug-in key: a hostile Count of billions costs nothing.
    QList<int> numbers;
    for (const QString& key : ini.Keys(section)) {
        if (!key.startsWith(QLatin1String("rpath"), Qt::CaseInsensitive))
            continue;
        bool ok = false;
        const int i = key.mid(5).toInt(&ok, 10);
        if (ok && i >= 1 && i <= n && key.mid(5) == QString::number(i))
            numbers.append(i);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    for (const int i : numbers) {
        const QString name = names->toUnicode(
            ini.ReadString(section, QStringLiteral("R") + lang + QStringLiteral("Name") + QString::number(i), QString())
                .toLatin1());
        const QString file = QString::fromUtf8(
            ini.ReadString(section, QStringLiteral("rpath") + QString::number(i), QString()).toLatin1());
        if (name.isEmpty() || file.isEmpty() || !IsPlainFileName(file))
            continue;
        out.append(TRouter{i, name, file});
    }
    return out;
}

bool WriteRouterIniValue(const QString& path, const QString& key, const QString& value) {
    QByteArray bytes;
    {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            bytes = ReadAtMost(f, IniFile::kMaxFileSize);
    }
    QByteArray v = value.toUtf8();
    v.replace('\r', ' ').replace('\n', ' ').replace('\0', ' ');
    const QByteArray k = key.toUtf8();
    const QByteArray newLine = k + '=' + TrimBlanks(v);

    // Lines as IniFile reads them: a line feed or a zero byte ends one, a UTF-8 byte-order mark
    // at the start of the file is not part of the first. The byte that ended each line is
    // kept, so that everything but the changed line goes back as it was.
    QList<QByteArray> lines;
    QList<char> ends;
    const qsizetype bom = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    qsizetype start = bom;
    for (qsizetype i = bom; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' || bytes[i] == '\0') {
            lines.append(bytes.mid(start, i - start));
            ends.append(bytes[i]);
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        lines.append(bytes.mid(start));
        ends.append('\n');
    }
    qsizetype sectionStart = -1, lastOfSection = -1;
    bool inSection = false, done = false;
    for (qsizetype i = 0; i < lines.size() && !done; ++i) {
        QByteArray t = lines[i];
        if (t.endsWith('\r'))
            t.chop(1);
        const QByteArray trimmed = TrimBlanks(t);
        if (trimmed.startsWith('[')) {
            const qsizetype close = trimmed.indexOf(']');
            if (close > 0) {
                // Only the first [Router] section counts: any header after it ends it, a
                // repeated [Router] as well (readers never look into a repeated one).
                if (inSection)
                    break;
                if (TrimBlanks(trimmed.mid(1, close - 1)).toLower() == "router") {
                    inSection = true;
                    sectionStart = lastOfSection = i;
                }
                continue;
            }
        }
        if (!inSection)
            continue;
        if (!trimmed.isEmpty())
            lastOfSection = i;
        const qsizetype eq = t.indexOf('=');
        if (eq > 0 && TrimBlanks(t.left(eq)).toLower() == k.toLower()) {
            lines[i] = newLine + (lines[i].endsWith('\r') ? "\r" : "");
            done = true;
        }
    }
    if (!done) {
        if (sectionStart >= 0) {
            lines.insert(lastOfSection + 1, newLine + '\r');
            ends.insert(lastOfSection + 1, '\n');
        } else {
            lines.append("[ROUTER]\r");
            lines.append(newLine + '\r');
            ends.append('\n');
            ends.append('\n');
        }
    }
    QByteArray out = bytes.left(bom);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        out += lines[i];
        out += ends[i];
    }
    return WriteFileAtomically(path, out);
}

bool DownloadFile(const QString& url, const QString& target, const std::atomic<bool>* cancel) {
    const QString part = target + QStringLiteral(".ll");
    const auto cancelled = [cancel] { return cancel && cancel->load(); };
    if (!HttpDownloadFile(url, part, kDownloadTimeoutMs, kMaxDownloadBytes, cancelled)) {
        QFile::remove(part);
        return false;
    }
    const QString old = target + QStringLiteral(".old");
    if (QFileInfo::exists(old))
        QFile::remove(old);
    if (QFileInfo::exists(target) && std::rename(QFile::encodeName(target).constData(), QFile::encodeName(old).constData()) != 0) {
        QFile::remove(part);
        return false;
    }
    if (std::rename(QFile::encodeName(part).constData(), QFile::encodeName(target).constData()) != 0) {
        // Put the previous file back: a failed download leaves it in place.
        std::rename(QFile::encodeName(old).constData(), QFile::encodeName(target).constData());
        QFile::remove(part);
        return false;
    }
    return true;
}

QString RemoteVersion(int number, const QString& routerListUrl, const QString& routerDir,
                      const std::atomic<bool>* cancel) {
    const QString tmp = WithSeparator(routerDir) + QStringLiteral("Router.tmp");
    if (!DownloadFile(routerListUrl, tmp, cancel))
        return QString();
    const IniFile ini(tmp, QTextCodec::codecForName("ISO-8859-1"));
    QString v = ini.ReadString(QStringLiteral("ROUTER"), QStringLiteral("Version") + QString::number(number), QString());
    QFile::remove(tmp);
    QFile::remove(tmp + QStringLiteral(".old"));
    // A version is a short text of digits and dots; anything else from the server is cut.
    v.truncate(64);
    return v;
}

bool NewerPlugInAvailable(bool plugInExists, const QString& installedVersion, const QString& remoteVersion) {
    if (!plugInExists)
        return true;
    // Byte-wise, as texts: "1.0.0.10" is less than "1.0.0.9".
    return installedVersion.toUtf8() < remoteVersion.toUtf8();
}
