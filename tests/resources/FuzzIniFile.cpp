// libFuzzer target: any bytes as a settings file and as a language file, read from a real
// file the way the program reads them. As option.ini and Config.ini: every key read back, then
// one value replaced and one added through TOptionFile, after which the file must read back
// with exactly those changes and nothing else changed. As the current language file (in the
// code page of a language chosen by the input's size): the lookups GetResString and
// GetLangString. Run by scripts/fuzz (fuzz_ini_file).

#include "IniFile.h"
#include "LangRes.h"
#include "OptionFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <cstdint>
#include <cstdlib>

namespace {

void Check(bool ok)
{
    if (!ok)
        __builtin_trap();
}

// A folder in memory when there is one: every input writes files.
QString WorkDir()
{
    static const QString dir = [] {
        QByteArray pattern = QDir(QStringLiteral("/dev/shm")).exists() ? "/dev/shm/fuzz-ini-XXXXXX"
                                                                      : "/tmp/fuzz-ini-XXXXXX";
        if (!::mkdtemp(pattern.data()))
            __builtin_trap();
        const QString d = QString::fromLocal8Bit(pattern) + QLatin1Char('/');
        QDir().mkpath(d + QStringLiteral("user"));
        QDir().mkpath(d + QStringLiteral("program"));
        return d;
    }();
    return dir;
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(bytes) != bytes.size())
        __builtin_trap();
}

using TValues = QHash<QString, QHash<QString, QString>>;  // lower-case section, key -> value

TValues AllValues(const IniFile& ini)
{
    TValues all;
    for (const QString& s : ini.Sections()) {
        if (s.isEmpty())
            continue;  // "[]": no lookup names it
        for (const QString& k : ini.Keys(s)) {
            Check(ini.HasKey(s, k));
            const QString v = ini.ReadString(s, k, QStringLiteral("\x01missing"));
            Check(v != QLatin1String("\x01missing") && v.size() <= IniFile::kMaxValueLength);
            ini.ReadInteger(s, k, 0);
            ini.ReadBool(s, k, false);
            all[s.toLower()].insert(k.toLower(), v);
        }
    }
    return all;
}

// What a value written by WriteString reads back as: line breaks and zero characters become
// blanks, blanks and tabs at both ends go.
QString Stored(QString v)
{
    for (QChar& c : v) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            c = QLatin1Char(' ');
    }
    qsizetype b = 0, e = v.size();
    while (b < e && (v[b] == QLatin1Char(' ') || v[b] == QLatin1Char('\t')))
        ++b;
    while (e > b && (v[e - 1] == QLatin1Char(' ') || v[e - 1] == QLatin1Char('\t')))
        --e;
    return v.mid(b, e - b);
}

void CheckWritten(const QString& path, const TValues& before, const QString& section,
                  const QString& key, const QString& value, const TOptionFile& opt)
{
    const IniFile after(path);
    const QString got = after.ReadString(section, key, QStringLiteral("\x01missing"));
    const QString want = Stored(value);
    Check(got.size() <= IniFile::kMaxValueLength && want.startsWith(got));
    Check(got.size() == std::min<qsizetype>(want.size(), IniFile::kMaxValueLength) ||
          got.size() == IniFile::kMaxValueLength - 1);
    // The writer's own view is what the file now says.
    Check(opt.ReadString(section, key, QString()) == got);
    const TValues now = AllValues(after);
    for (auto s = before.cbegin(); s != before.cend(); ++s) {
        for (auto k = s->cbegin(); k != s->cend(); ++k) {
            if (s.key() == section.toLower() && k.key() == key.toLower())
                continue;
            Check(now.value(s.key()).value(k.key(), QStringLiteral("\x01gone")) == k.value());
        }
    }
}

void SettingsFile(const QByteArray& bytes)
{
    const QString user = WorkDir() + QStringLiteral("user/");
    const QString path = user + QStringLiteral("option.ini");
    WriteFile(path, bytes);

    const IniFile ini(path);
    Check(ini.Loaded());
    const TValues before = AllValues(ini);
    const TConfig config = TConfig::Read(path);
    Check(config.Exists && config.RouterUrl.size() <= IniFile::kMaxValueLength);

    // A key the file has, and a new one in the same section.
    QString section = QStringLiteral("Option"), key = QStringLiteral("Lang");
    for (const QString& s : ini.Sections()) {
        if (!s.trimmed().isEmpty() && !ini.Keys(s).isEmpty()) {
            section = s;
            key = ini.Keys(s).first();
            break;
        }
    }
    const qsizetype lastLine = bytes.lastIndexOf('\n');
    const QString value = QString::fromUtf8(bytes.mid(lastLine + 1));

    TOptionFile opt(QStringLiteral("option.ini"), WorkDir() + QStringLiteral("program/"), user);
    if (key.trimmed().isEmpty() || section.trimmed().isEmpty())
        return;
    // A key the file holds but could not give back once rewritten ("[k" with a "]" in the
    // value) is refused, and the file stays as it was. The file's blanks are spaces and tabs
    // only: a key that begins with another white-space character reads back as itself.
    qsizetype firstNonBlank = 0;
    while (firstNonBlank < key.size() && (key[firstNonBlank] == u' ' || key[firstNonBlank] == u'\t'))
        ++firstNonBlank;
    if (QStringView(key).mid(firstNonBlank).startsWith(QLatin1Char('['))) {
        Check(!opt.WriteString(section, key, value));
        QFile f(path);
        Check(f.open(QIODevice::ReadOnly) && f.readAll() == bytes);
        return;
    }
    Check(opt.WriteString(section, key, value));
    CheckWritten(path, before, section, key, value, opt);

    const TValues middle = AllValues(IniFile(path));
    QString added = QStringLiteral("FuzzAdded");
    while (middle.value(section.toLower()).contains(added.toLower()))
        added += QLatin1Char('x');
    Check(opt.WriteString(section, added, value + QStringLiteral(" 2")));
    CheckWritten(path, middle, section, added, value + QStringLiteral(" 2"), opt);
}

void LanguageFile(const QByteArray& bytes, size_t size)
{
    [[maybe_unused]] static TfrmStrRes* store = [] {
        qputenv("TMPDIR", QFile::encodeName(WorkDir()));
        return new TfrmStrRes;  // kept: the carried files stay for the whole run
    }();
    Check(!LangDir().isEmpty());
    const QString code = QLatin1String(kCarriedLanguages[size % 5]);
    WriteFile(LangFilePathFor(code), bytes);
    SetLanguage(code);
    Check(CurLang() == code);

    const IniFile lang = OpenLangFile(LangFilePathFor(code));
    int asked = 0;
    for (const QString& s : lang.Sections()) {
        for (const QString& k : lang.Keys(s)) {
            if (++asked > 4)
                return;
            if (s.compare(QLatin1String("StrRes"), Qt::CaseInsensitive) == 0) {
                const QString text = GetResString(k);
                Check(text.size() <= IniFile::kMaxValueLength);
                Check(text == ReadLangValue(lang, s, k, QString()));
                Check(GetResString(k) == text);  // again, from the cache
            } else {
                Check(GetLangString(s, k).size() <= IniFile::kMaxValueLength);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz_ini_file";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);

    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    SettingsFile(bytes);
    LanguageFile(bytes, size);
    return 0;
}
