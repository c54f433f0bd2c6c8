#pragma once
// One INI reader/writer for every settings and language file of the program.
// Rules: section names and keys match without regard to case, blanks (spaces and tabs) at
// both ends of keys and values are dropped, the first occurrence of a section or key counts,
// a value is read up to 2047 characters. Lines without "=" are ignored.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;
class QTextCodec;

class IniFile {
public:
    static constexpr int kMaxValueLength = 2047;
    // Larger files are read only up to this size: settings and language files are small.
    static constexpr qint64 kMaxFileSize = 8 * 1024 * 1024;

    // Reads path if it exists. codec decodes the bytes (UTF-8 when null); a file that starts
    // with a UTF-8 byte-order mark is always read as UTF-8.
    explicit IniFile(const QString& path = QString(), QTextCodec* codec = nullptr);
    static IniFile FromBytes(const QByteArray& bytes, QTextCodec* codec = nullptr);

    const QString& FileName() const { return path_; }
    bool Loaded() const { return loaded_; }

    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    // A value that is not an integer gives def.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    // Any non-zero integer is true; a value that is not an integer gives def.
    bool ReadBool(const QString& section, const QString& key, bool def) const;
    bool HasKey(const QString& section, const QString& key) const;
    QStringList Sections() const;
    QStringList Keys(const QString& section) const;

    // Changes the value in memory and writes the whole file at once: a temporary file beside
    // it is written, flushed and renamed over the old one, so a crash never leaves a
    // truncated file. Returns false (and keeps the old file) when writing fails, and for a
    // section or key that the file could not give back as itself (a key beginning with "[" or
    // holding "=", a section holding "]", either holding a line feed or a zero character).
    bool WriteString(const QString& section, const QString& key, const QString& value);
    bool WriteBool(const QString& section, const QString& key, bool value);

private:
    void Parse(const QByteArray& bytes, QTextCodec* codec);
    QByteArray Serialize() const;
    const QString* Find(const QString& section, const QString& key) const;

    struct Line {
        QString text;     // the line as read or written, without its line end
        QString key;      // lower-case key, empty for other lines
        QString section;  // lower-case section this line belongs to
    };
    QString path_;
    bool loaded_ = false;
    QList<Line> lines_;
    // section (lower case) -> key (lower case) -> value; first occurrence only.
    QHash<QString, QHash<QString, QString>> values_;
    QHash<QString, QString> sectionNames_;  // lower case -> name as written, first occurrence
    QStringList sectionOrder_;
};

// What the open device holds from its position on, at most maxBytes, read in pieces: a small
// file costs a small buffer, whatever the bound.
QByteArray ReadAtMost(QIODevice& device, qint64 maxBytes);

// Writes bytes to path through a temporary file and a rename. Returns false on failure.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);
