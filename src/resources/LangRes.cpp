#include "LangRes.h"

#include "IniFile.h"
#include "Tools.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QTextCodec>

#include <cerrno>
#include <cstring>
#include <unistd.h>

static void InitLanguageStore() { Q_INIT_RESOURCE(lang); }

namespace {

// ResLock guards everything here: the message cache, the current code and the folder, so
// that worker threads inside GetResString never see a half-done language switch.
struct LangState {
    QMutex lock;
    QHash<QString, QString> cache;  // lower-case key -> text
    QString dir;
    QString curLang = QStringLiteral("en");
    quint64 generation = 0;
};

LangState& State() {
    static LangState s;
    return s;
}

QString FileBaseName() {
    // "Setup.exe" -> "Setup"; a name without an extension stays as it is.
    const QString exe = TTools::ExeName();
    const qsizetype dot = exe.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? exe.left(dot) : exe;
}

QString PathFor(const QString& dir, const QString& code) {
    return dir + FileBaseName() + QStringLiteral(".l") + code;
}

}  // namespace

QString LangDir() {
    QMutexLocker l(&State().lock);
    return State().dir;
}

QString CurLang() {
    QMutexLocker l(&State().lock);
    return State().curLang;
}

void SetCurLang(const QString& code) {
    QMutexLocker l(&State().lock);
    State().curLang = code;
    State().cache.clear();
    ++State().generation;
}

QString LangFilePathFor(const QString& code) { return PathFor(LangDir(), code); }

QString LangFilePath() {
    QMutexLocker l(&State().lock);
    return PathFor(State().dir, State().curLang);
}

quint64 LanguageGeneration() {
    QMutexLocker l(&State().lock);
    return State().generation;
}

void SetLanguage(const QString& code) {
    const QString dir = LangDir();
    const QString chosen = QFileInfo::exists(PathFor(dir, code)) ? code : QStringLiteral("en");
    QMutexLocker l(&State().lock);
    State().cache.clear();
    State().curLang = chosen;
    ++State().generation;
}

QTextCodec* CodecForLanguage(const QString& code) {
    static const QHash<QString, QByteArray> codecs = {
        {QStringLiteral("en"), "GBK"},          {QStringLiteral("cn"), "GBK"},
        {QStringLiteral("b5"), "Big5"},         {QStringLiteral("pl"), "windows-1250"},
        {QStringLiteral("kr"), "windows-949"},  {QStringLiteral("jp"), "Shift_JIS"},
        {QStringLiteral("fr"), "windows-1252"}, {QStringLiteral("ita"), "windows-1252"},
        {QStringLiteral("spa"), "windows-1252"},
    };
    const QByteArray name = codecs.value(code.toLower());
    QTextCodec* c = name.isEmpty() ? nullptr : QTextCodec::codecForName(name);
    return c ? c : QTextCodec::codecForName("UTF-8");
}

QString LangCodeOfFile(const QString& path) {
    // The code is what follows ".l" in the file's extension; folders are never looked at.
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 >= name.size() || name[dot + 1] != QLatin1Char('l'))
        return QString();
    return name.mid(dot + 2);
}

QTextCodec* CodecForLangFile(const QString& path) { return CodecForLanguage(LangCodeOfFile(path)); }

IniFile OpenLangFile(const QString& path) { return IniFile(path, CodecForLangFile(path)); }

QString UnescapeLangValue(QString v) {
    if (!v.contains(QLatin1Char('$')))
        return v;
    v.replace(QLatin1String("$b"), QLatin1String(" "));
    v.replace(QLatin1String("$c"), QLatin1String("="));
    v.replace(QLatin1String("$n"), QLatin1String("\r\n"));
    v.replace(QLatin1String("$$"), QLatin1String("$"));
    v.replace(QLatin1String("$t"), QLatin1String("\t"));
    return v;
}

QString ReadLangValue(const IniFile& reader, const QString& section, const QString& key, const QString& def) {
    return UnescapeLangValue(reader.ReadString(section, key, def));
}

QString GetResString(const QString& key) {
    LangState& s = State();
    const QString lower = key.toLower();
    QString path;
    quint64 generation;
    {
        QMutexLocker l(&s.lock);
        const auto it = s.cache.constFind(lower);
        if (it != s.cache.constEnd() && !it->isEmpty())
            return *it;
        path = PathFor(s.dir, s.curLang);
        generation = s.generation;
    }
    // The file is read outside the lock with a reader of this call's own.
    const QString text = key.isEmpty() ? QString()
                                       : ReadLangValue(OpenLangFile(path), QStringLiteral("StrRes"), key, QString());
    QMutexLocker l(&s.lock);
    // A language switch while we read makes our text stale: then it is not cached.
    if (generation == s.generation) {
        if (text.isEmpty())
            s.cache.remove(lower);
        else
            s.cache.insert(lower, text);
    }
    return text;
}

QString GetLangString(const QString& section, const QString& key) {
    if (section.isEmpty() || key.isEmpty())
        return QString();
    return ReadLangValue(OpenLangFile(LangFilePath()), section, key, QString());
}

QString PrivateLangDir() {
    // The temporary folder is shared by every user of the machine: the folder must be this
    // user's alone, or another user could swap the texts. When the usual name is taken by
    // somebody else (or by a link), the user's own name takes its place.
    const QString usual = TTools::GetTempDir() + TTools::ExeName() + QLatin1Char('/');
    if (TTools::PrivateDir(usual))
        return usual;
    const QString own = TTools::GetTempDir() + TTools::ExeName() + QLatin1Char('-') +
                        QString::number(::getuid()) + QLatin1Char('/');
    return TTools::PrivateDir(own) ? own : QString();
}

TfrmStrRes::TfrmStrRes(ErrorReporter onError) {
    InitLanguageStore();
    const QString dir = PrivateLangDir();
    {
        QMutexLocker l(&State().lock);
        State().dir = dir;
        ++State().generation;
    }
    if (dir.isEmpty()) {
        if (onError)
            onError(TTools::GetTempDir() + TTools::ExeName(),
                    QStringLiteral("no folder of this user's own can be made there"));
        return;
    }
    for (const char* code : kCarriedLanguages) {
        QFile item(QStringLiteral(":/lang/") + QLatin1String(code));
        const QString target = PathFor(dir, QLatin1String(code));
        QByteArray bytes;
        if (item.open(QIODevice::ReadOnly))
            bytes = item.readAll();
        // Written through a rename, so a running instance reading the same file never sees
        // it half-written.
        if (!WriteFileAtomically(target, bytes)) {
            const QString error = QString::fromLocal8Bit(strerror(errno));
            if (onError)
                onError(target, error);
            break;
        }
    }
}

TfrmStrRes::~TfrmStrRes() {
    if (keep_ || LangDir().isEmpty())
        return;
    TTools::DeleteDir(LangDir(), true);
}
