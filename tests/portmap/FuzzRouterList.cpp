// libFuzzer target: any bytes as Router.ini (carried, or downloaded from the plug-in server)
// and as Config.ini. The router list in every carried language, the version lookup of a
// downloaded list, the download addresses; then a version written back with
// WriteRouterIniValue, after which the file must read back with exactly that value changed.
// Run by scripts/fuzz (fuzz_router_list).

#include "IniFile.h"
#include "LangRes.h"
#include "RouterList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QStringDecoder>
#include <QTextCodec>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

QString WorkDir()
{
    static const QString dir = [] {
        QByteArray pattern = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm/fuzz-router-XXXXXX"
                                                                      : "/tmp/fuzz-router-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            __builtin_trap();
        return QString::fromLocal8Bit(pattern) + QLatin1Char('/');
    }();
    return dir;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        __builtin_trap();
}

bool SameList(const QList<TRouter>& a, const QList<TRouter>& b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].Number != b[i].Number || a[i].DisplayName != b[i].DisplayName ||
            a[i].PlugInFile != b[i].PlugInFile)
            return false;
    }
    return true;
}

bool IsValidUtf8(const QByteArray& bytes)
{
    QStringDecoder d(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
    const QString text = d.decode(bytes);  // the decoding happens in this conversion
    (void)text;
    return !d.hasError();
}

// Every value of the file: lower-case section + "\n" + lower-case key -> value.
QHash<QString, QString> AllValues(const IniFile& ini)
{
    QHash<QString, QString> all;
    for (const QString& s : ini.Sections()) {
        for (const QString& k : ini.Keys(s))
            all.insert(s.toLower() + QLatin1Char('\n') + k.toLower(), ini.ReadString(s, k, QString()));
    }
    return all;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_router_list";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTextCodec* const latin1 = QTextCodec::codecForName("ISO-8859-1");

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = WorkDir() + QStringLiteral("Router.ini");
    WriteFile(path, bytes);

    QHash<QString, QList<TRouter>> lists;
    for (const char* code : kCarriedLanguages) {
        const QList<TRouter> list = LoadRouterList(path, QLatin1String(code));
        int last = 0;
        for (const TRouter& r : list) {
            Check(r.Number > last);  // each model once, in order
            last = r.Number;
            Check(!r.DisplayName.isEmpty() && !r.PlugInFile.isEmpty());
            Check(!r.PlugInFile.contains(QLatin1Char('/')) && !r.PlugInFile.contains(QLatin1Char('\\')) &&
                  !r.PlugInFile.contains(QChar(0)) && r.PlugInFile != QLatin1String("..") &&
                  r.PlugInFile != QLatin1String("."));
        }
        lists.insert(QLatin1String(code), list);
    }

    // The downloaded list is read for one model's version, as RemoteVersion reads it.
    const int number = lists.value(QStringLiteral("en")).isEmpty()
                           ? 1
                           : lists.value(QStringLiteral("en")).first().Number;
    const QString versionKey = QStringLiteral("Version") + QString::number(number);
    const IniFile downloaded(path, latin1);
    const QString remote = downloaded.ReadString(QStringLiteral("ROUTER"), versionKey, QString()).left(64);
    NewerPlugInAvailable(true, QStringLiteral("1.0.0.3"), remote);

    const TPlugInUrls urls = TPlugInUrls::FromConfig(path);
    Check(!urls.RouterListUrl.isEmpty() && !urls.PlugInBaseUrl.isEmpty());

    // A new version noted for the model: that key alone changes.
    const QHash<QString, QString> before = AllValues(downloaded);
    const qsizetype lastLine = bytes.lastIndexOf('\n');
    const QString value = QString::fromUtf8(bytes.mid(lastLine + 1, 80));
    Check(WriteRouterIniValue(path, versionKey, value));
    const IniFile after(path, latin1);
    QByteArray want = value.toUtf8();
    want.replace('\r', ' ').replace('\n', ' ').replace('\0', ' ');
    while (!want.isEmpty() && (want.front() == ' ' || want.front() == '\t'))
        want.remove(0, 1);
    while (!want.isEmpty() && (want.back() == ' ' || want.back() == '\t'))
        want.chop(1);
    // A file that starts with a UTF-8 byte-order mark is read as UTF-8 whatever the code page.
    QFile written(path);
    Check(written.open(QIODevice::ReadOnly));
    const bool utf8 = written.read(3) == "\xEF\xBB\xBF";
    Check(after.ReadString(QStringLiteral("ROUTER"), versionKey, QStringLiteral("\x01missing")) ==
          (utf8 ? QString::fromUtf8(want) : QString::fromLatin1(want)));
    const QHash<QString, QString> now = AllValues(after);
    const QString changed = QStringLiteral("router\n") + versionKey.toLower();
    for (auto k = before.cbegin(); k != before.cend(); ++k) {
        if (k.key() != changed)
            Check(now.value(k.key(), QStringLiteral("\x01gone")) == k.value());
    }
    // The names are read as UTF-8 when the whole file is UTF-8, else in the language's code
    // page: a written value that makes the file UTF-8 (or ends that) rightly changes how the
    // other lines read. Otherwise the lists stay as they were.
    QFile again(path);
    Check(again.open(QIODevice::ReadOnly));
    if (IsValidUtf8(again.readAll()) == IsValidUtf8(bytes)) {
        for (const char* code : kCarriedLanguages)
            Check(SameList(LoadRouterList(path, QLatin1String(code)), lists.value(QLatin1String(code))));
    }
    return 0;
}
