#include "IniFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextCodec>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool IsBlank(QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); }

QString TrimBlanks(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b])) ++b;
    while (e > b && IsBlank(s[e - 1])) --e;
    return s.mid(b, e - b).toString();
}

QString Truncated(QString value) {
    if (value.size() > IniFile::kMaxValueLength) {
        qsizetype n = IniFile::kMaxValueLength;
        if (value[n - 1].isHighSurrogate()) --n;  // never split a character in two
        value.truncate(n);
    }
    return value;
}

}  // namespace

IniFile::IniFile(const QString& path, QTextCodec* codec) : path_(path) {
    if (path.isEmpty())
        return;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return;
    Parse(ReadAtMost(f, kMaxFileSize), codec);
    loaded_ = true;
}

IniFile IniFile::FromBytes(const QByteArray& bytes, QTextCodec* codec) {
    IniFile ini;
    ini.Parse(bytes, codec);
    ini.loaded_ = true;
    return ini;
}

void IniFile::Parse(const QByteArray& bytes, QTextCodec* codec) {
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF")) {
        data.remove(0, 3);
        codec = nullptr;
    }
    if (!codec)
        codec = QTextCodec::codecForName("UTF-8");
    // A zero byte ends a line like a line break does; it never ends the file.
    data.replace('\0', '\n');
    const QString text = codec->toUnicode(data);

    QString section;  // lower case; lines before the first section belong to none
    for (QStringView raw : QStringView(text).split(QLatin1Char('\n'))) {
        if (raw.endsWith(QLatin1Char('\r')))
            raw.chop(1);
        Line line{raw.toString(), QString(), section};
        const QString trimmed = TrimBlanks(raw);
        if (trimmed.startsWith(QLatin1Char('['))) {
            const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
            if (close > 0) {
                const QString name = TrimBlanks(QStringView(trimmed).mid(1, close - 1));
                section = name.toLower();
                if (!sectionNames_.contains(section)) {
                    sectionNames_.insert(section, name);
                    sectionOrder_.append(section);
                } else {
                    // Only the first occurrence of a section counts: a repeated block gets a
                    // name no lookup can produce (lookups trim line breaks away).
                    section = QLatin1Char('\n') + section;
                }
                line.section = section;
                lines_.append(line);
                continue;
            }
        }
        const qsizetype eq = raw.indexOf(QLatin1Char('='));
        if (eq > 0) {
            const QString key = TrimBlanks(raw.left(eq));
            if (!key.isEmpty()) {
                line.key = key.toLower();
                auto& keys = values_[section];
                if (!keys.contains(line.key))
                    keys.insert(line.key, Truncated(TrimBlanks(raw.mid(eq + 1))));
            }
        }
        lines_.append(line);
    }
    // The split leaves one empty piece after a final line end; it is not a line of the file.
    if (!lines_.isEmpty() && lines_.last().text.isEmpty() && lines_.last().key.isEmpty() &&
        text.endsWith(QLatin1Char('\n')))
        lines_.removeLast();
}

const QString* IniFile::Find(const QString& section, const QString& key) const {
    auto s = values_.constFind(TrimBlanks(section).toLower());
    if (s == values_.constEnd())
        return nullptr;
    auto k = s->constFind(TrimBlanks(key).toLower());
    return k == s->constEnd() ? nullptr : &*k;
}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const {
    if (section.isEmpty() || key.isEmpty())
        return def;
    const QString* v = Find(section, key);
    return v ? *v : def;
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const {
    const QString* v = Find(section, key);
    if (!v)
        return def;
    bool ok = false;
    int n = v->toInt(&ok, 10);
    if (!ok && v->startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        n = v->mid(2).toInt(&ok, 16);
    return ok ? n : def;
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool def) const {
    const QString* v = Find(section, key);
    if (!v)
        return def;
    bool ok = false;
    const int n = v->toInt(&ok, 10);
    return ok ? n != 0 : def;
}

bool IniFile::HasKey(const QString& section, const QString& key) const {
    return Find(section, key) != nullptr;
}

QStringList IniFile::Sections() const {
    QStringList out;
    for (const QString& s : sectionOrder_) out.append(sectionNames_.value(s));
    return out;
}

QStringList IniFile::Keys(const QString& section) const {
    QStringList out;
    const QString s = TrimBlanks(section).toLower();
    QSet<QString> seen;
    for (const Line& l : lines_) {
        if (l.section != s || l.key.isEmpty() || seen.contains(l.key))
            continue;
        seen.insert(l.key);
        out.append(TrimBlanks(QStringView(l.text).left(l.text.indexOf(QLatin1Char('=')))));
    }
    return out;
}

bool IniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString sec = TrimBlanks(section), k = TrimBlanks(key);
    if (sec.isEmpty() || k.isEmpty() || path_.isEmpty())
        return false;
    // Names whose line would not read back as them: a key line that begins with "[" reads as a
    // section header as soon as the value holds "]" (and the keys after it would move into that
    // section), a "=" splits the key, a line feed or zero ends the line, a "]" ends a section
    // name.
    const auto endsLine = [](const QString& s) { return s.contains(QLatin1Char('\n')) || s.contains(QChar(0)); };
    if (k.startsWith(QLatin1Char('[')) || k.contains(QLatin1Char('=')) || endsLine(k) ||
        sec.contains(QLatin1Char(']')) || endsLine(sec))
        return false;
    // Line breaks inside the value would make new lines of the file, and so would a zero
    // character (the reader ends a line there); they become blanks before the blanks at both
    // ends go, so that the value kept here is the one the file gives back.
    QString v = value;
    v.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    v.replace(QChar(0), QLatin1Char(' '));
    v = TrimBlanks(v);
    const QString secLower = sec.toLower(), keyLower = k.toLower();
    const QString newText = k + QLatin1Char('=') + v;

    QList<Line> lines = lines_;
    qsizetype lastOfSection = -1;
    bool replaced = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].section != secLower)
            continue;
        lastOfSection = i;
        if (lines[i].key == keyLower) {
            lines[i].text = newText;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        Line nl{newText, keyLower, secLower};
        if (lastOfSection >= 0) {
            // Insert after the last non-blank line of the first occurrence of the section.
            qsizetype at = lastOfSection;
            while (at > 0 && lines[at].key.isEmpty() && TrimBlanks(lines[at].text).isEmpty()) --at;
            lines.insert(at + 1, nl);
        } else {
            if (!lines.isEmpty() && !TrimBlanks(lines.last().text).isEmpty())
                lines.append(Line{QString(), QString(), lines.last().section});
            lines.append(Line{QLatin1Char('[') + sec + QLatin1Char(']'), QString(), secLower});
            lines.append(nl);
        }
    }
    QByteArray bytes;
    for (const Line& l : lines) {
        bytes += l.text.toUtf8();
        bytes += "\r\n";
    }
    if (!WriteFileAtomically(path_, bytes))
        return false;
    // Take the new state only once it is on disk.
    lines_ = lines;
    if (!sectionNames_.contains(secLower)) {
        sectionNames_.insert(secLower, sec);
        sectionOrder_.append(secLower);
    }
    values_[secLower][keyLower] = Truncated(v);
    loaded_ = true;
    return true;
}

bool IniFile::WriteBool(const QString& section, const QString& key, bool value) {
    return WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

QByteArray ReadAtMost(QIODevice& device, qint64 maxBytes) {
    QByteArray bytes;
    const qint64 size = device.size();  // 0 for a file whose size the system does not know
    if (size > 0)
        bytes.reserve(qsizetype(std::min(size, maxBytes)));
    char chunk[64 * 1024];
    while (bytes.size() < maxBytes) {
        const qint64 n = device.read(chunk, std::min<qint64>(qint64(sizeof chunk), maxBytes - bytes.size()));
        if (n <= 0)
            break;
        bytes.append(chunk, qsizetype(n));
    }
    return bytes;
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    QByteArray tmp = target + ".tmp." + QByteArray::number(qint64(::getpid()));
    const int fd = ::open(tmp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    if (ok && ::fsync(fd) != 0)
        ok = false;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tmp.constData(), target.constData()) != 0)
        ok = false;
    if (!ok) {
        const int saved = errno;  // callers report the reason
        ::unlink(tmp.constData());
        errno = saved;
        return false;
    }
    // Make the rename itself durable.
    const int dfd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}
