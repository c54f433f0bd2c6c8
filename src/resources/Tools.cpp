#include "Tools.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString WithSeparator(QString path) {
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

QString ExecutablePath() {
    // The kernel's name of the running file, with every link resolved: an installed program is
    // started through bin/ipcam-wizard, a link, and its folders lie beside the file itself.
    // The same answer before and after the application object exists.
    const QString path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    if (!path.isEmpty() || !QCoreApplication::instance())
        return path;
    return QCoreApplication::applicationFilePath();
}

}  // namespace

QString TTools::GetTempDir() {
    QString dir = QString::fromLocal8Bit(qgetenv("TMPDIR"));
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        dir = QStringLiteral("/tmp");
    return WithSeparator(dir);
}

QString TTools::AppDir() { return WithSeparator(QFileInfo(ExecutablePath()).absolutePath()); }

QString TTools::ExeName() { return QFileInfo(ExecutablePath()).fileName(); }

bool TTools::ForceDirs(const QString& path) {
    if (path.isEmpty() || QFileInfo(path).isDir())
        return true;
    const QByteArray p = QFile::encodeName(path);
    for (qsizetype i = 1; i < p.size(); ++i) {
        if (p[i] == '/')
            ::mkdir(p.left(i + 1).constData(), 0777);  // failures are found by the final test
    }
    if (!p.endsWith('/'))
        ::mkdir(p.constData(), 0777);
    return QFileInfo(path).isDir();
}

bool TTools::DeleteDir(const QString& folder, bool removeFolder) {
    if (folder.isEmpty())
        return true;
    const QString dir = WithSeparator(folder);
    const QDir d(dir);
    const auto entries = d.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        const QString path = dir + e.fileName();
        if (e.isDir() && !e.isSymLink()) {
            // A read-only folder keeps its entries: make it writable first.
            QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner |
                                            QFileDevice::ExeOwner | QFileDevice::ReadOwner);
            DeleteDir(path, true);
        } else {
            if (!e.isSymLink() && !e.isWritable())
                QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
            ::unlink(QFile::encodeName(path).constData());
        }
    }
    if (removeFolder) {
        ::rmdir(QFile::encodeName(dir).constData());
        return !QFileInfo::exists(folder) && !QFileInfo(folder).isSymLink();
    }
    return !QFileInfo(dir).isDir() ||
           QDir(dir).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool TTools::PrivateDir(const QString& path) {
    const QByteArray p = QFile::encodeName(path.endsWith(QLatin1Char('/')) ? path.chopped(1) : path);
    if (p.isEmpty())
        return false;
    const int parent = p.lastIndexOf('/');
    if (parent > 0)
        ForceDirs(QFile::decodeName(p.left(parent)));
    if (::mkdir(p.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat st {};
    if (::lstat(p.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid())
        return false;
    if ((st.st_mode & 077) != 0) {
        // Others may have put files into it meanwhile: nothing in it is to be trusted.
        if (::chmod(p.constData(), 0700) != 0)
            return false;
        if (!DeleteDir(QFile::decodeName(p), false))
            return false;
    }
    return ::lstat(p.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
           (st.st_mode & 077) == 0;
}

void TTools::FindFiles(QStringList& list, const QString& folder, bool noDuplicates,
                       const StopCheck& stopCheck, bool recurse, const QString& masks) {
    if (folder.isEmpty())
        return;
    const QString dir = WithSeparator(folder);
    const QStringList maskList =
        masks.split(masks.contains(QLatin1Char(';')) ? QLatin1Char(';') : QLatin1Char('|'));
    QSet<QString> known;
    if (noDuplicates)
        for (const QString& s : list) known.insert(s.toLower());
    const QDir d(dir);
    for (const QString& mask : maskList) {
        const QString m = mask.trimmed();
        if (m.isEmpty())
            continue;
        const auto files = d.entryInfoList(QStringList{m}, QDir::Files | QDir::Hidden | QDir::System,
                                           QDir::Name);
        for (const QFileInfo& f : files) {
            const QString path = dir + f.fileName();
            if (noDuplicates) {
                if (known.contains(path.toLower()))
                    continue;
                known.insert(path.toLower());
            }
            list.append(path);
        }
    }
    if (recurse && (!stopCheck || stopCheck())) {
        const auto subs = d.entryInfoList(QDir::Dirs | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                          QDir::Name);
        for (const QFileInfo& s : subs)
            FindFiles(list, dir + s.fileName(), true, nullptr, true, masks);
    }
}

QString TTools::SpecialFolder(int folderNumber, bool create) {
    QString path;
    switch (folderNumber) {
    case 26: {  // per-user application data
        path = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
        if (path.isEmpty() || !QDir::isAbsolutePath(path)) {
            const QString home = QString::fromLocal8Bit(qgetenv("HOME"));
            path = home.isEmpty() ? QString() : home + QStringLiteral("/.config");
        }
        break;
    }
    case 28:  // per-user local data
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        break;
    case 5:  // documents
        path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        break;
    case 0:  // desktop
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    default:
        break;
    }
    path = WithSeparator(path);
    if (create)
        ForceDirs(path);
    return path;
}

QString TTools::AppDataDir(int folderNumber, bool create) {
    QString path = SpecialFolder(folderNumber, false);
    if (!path.isEmpty()) {
        // Executable name without a three-letter extension. The separator is added whether or
        // not there was an extension: our executable has none.
        path += ExeName();
        if (path.size() >= 4 && path[path.size() - 4] == QLatin1Char('.'))
            path.chop(4);
        path = WithSeparator(path);
        if (create)
            ForceDirs(path);
    }
    return path;
}

void TTools::SplitText(const QString& text, const QString& separator, QStringList& list) {
    if (separator.isEmpty()) {
        list.append(text);
        return;
    }
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(separator, from, Qt::CaseSensitive);
        if (at < 0)
            break;
        list.append(text.mid(from, at - from));
        from = at + separator.size();
    }
    list.append(text.mid(from));
}
