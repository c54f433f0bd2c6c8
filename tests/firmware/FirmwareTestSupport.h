#pragma once
// Package bytes put together by hand, for packages the writer would never make (lying
// counts and lengths), and files for them in a folder of the test's own.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Bytes of a literal that holds zero bytes, without its terminating zero.
template <size_t N>
QByteArray Raw(const char (&s)[N])
{
    return QByteArray(s, N - 1);
}

inline QByteArray Le32(quint32 v)
{
    QByteArray b;
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF)).append(char(v >> 24));
    return b;
}

// FILE "a" with "hello", then CMD "ls": digests of the plain payloads, payloads scrambled.
inline const QByteArray kTinyPackage = Raw(
    "\x50\x4B\x32\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00"
    "\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x00\x00\x46\x49\x4C\x45"
    "\x5D\x41\x40\x2A\xBC\x4B\x2A\x76\xB9\x71\x9D\x91\x10\x17\xC5\x92"
    "\x0E\x00\x00\x00\x01\x00\x00\x00\x61\x05\x00\x00\x00\x32\xA6\x7B"
    "\xE2\x44\x43\x4D\x44\x20\x44\xBA\x5C\xA6\x56\x51\xB4\xF3\x6F\x19"
    "\x27\x57\x6D\xD3\x54\x36\x02\x00\x00\x00\x36\xB0");

// "PK2\0", 20 bytes, the count.
inline QByteArray PackageHeader(quint32 count) { return Raw("PK2\0") + QByteArray(20, '\0') + Le32(count); }

// A record header (tag, 16 digest bytes, length) and what follows it.
inline QByteArray Record(const QByteArray& tag, quint32 length, const QByteArray& rest = {},
                         const QByteArray& digest = QByteArray(16, '\0'))
{
    return tag.left(4) + digest.left(16) + Le32(length) + rest;
}

// A "FILE" record with the given (already scrambled) data and a consistent length field.
inline QByteArray FileRecord(const QByteArray& name, const QByteArray& data)
{
    return Record("FILE", quint32(name.size() + data.size() + 8), Le32(quint32(name.size())) + name + Le32(quint32(data.size())) + data);
}

// data[i] = i % 251: no period that divides the chunk or key sizes.
inline QByteArray Pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        b[i] = char(i % 251);
    return b;
}

class TTempFiles {
public:
    TTempFiles() { EXPECT_TRUE(dir_.isValid()); }
    QString Write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir_.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        EXPECT_EQ(f.write(bytes), bytes.size());
        return path;
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

private:
    QTemporaryDir dir_;
};
