#pragma once
// The firmware package format ("pk2"): one reader and one writer for the upload, the package
// tool and the fuzz target.
//
// Layout, every integer 32-bit little-endian:
//   header (28 bytes): "PK2\0", 20 bytes not read, the record count at offset 24;
//   each record: tag (4), MD5 of the unscrambled payload (16), length (4), then
//     "FILE": name length (4), name, data length (4), data (scrambled);
//             the length field holds name length + data length + 8;
//     "CMD ": the payload (length bytes, scrambled);
//     other tags: length bytes that are skipped.
//
// A package comes from wherever the user picked it and is read as hostile input: every length
// is checked against the bytes really there before anything is read.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>
#include <array>
#include <optional>

class QIODevice;

namespace Pk2 {
inline constexpr int kHeaderSize = 28;
inline constexpr int kCountOffset = 24;
inline constexpr int kRecordHeaderSize = 24;
inline constexpr int kDigestSize = 16;
// File data goes out in chunks of this size; a multiple of the key length, so that the key
// position of a chunk's byte equals its position in the file data.
inline constexpr int kChunkSize = 1400;
// Every upload message, its line and its bytes, fits into a buffer of this size.
inline constexpr int kSendBufferSize = 2048;
// File names are read into a 256-byte zero-filled area: 255 bytes and a terminator.
inline constexpr int kMaxNameLength = 255;

// The program's own scrambling key. Payload byte i of a piece is stored XORed with byte i % 8.
extern const std::array<quint8, 8> PackageKey;
// XOR with the key from key position 0; its own inverse.
void Scramble(char* data, qsizetype size);
QByteArray Scrambled(QByteArray bytes);

inline const QByteArray kTagFile = QByteArrayLiteral("FILE");
inline const QByteArray kTagCommand = QByteArrayLiteral("CMD ");

enum class TKind { File, Command, Other };

// The first 28 bytes as "PK2" and a zero byte: what the upload takes for a package at all.
bool IsPackageHeader(const QByteArray& header);
quint32 ReadLe32(const char* p);
void AppendLe32(QByteArray& out, quint32 value);

// Exactly size bytes at dev's position, or none when fewer are left; size is checked against
// the device's real size before anything is allocated.
std::optional<QByteArray> ReadExactly(QIODevice& dev, qint64 size);

// "CMD " N CR LF: the line before a command's payload in the upload dialect.
QByteArray CommandLine(qsizetype payloadSize);
// Whether a command payload of this size fits into the send buffer after its line.
bool CommandFits(qsizetype payloadSize);

struct TRecordHeader {
    QByteArray tag;     // 4 bytes
    QByteArray digest;  // 16 bytes
    quint32 length = 0;

    TKind Kind() const;
};
TRecordHeader ParseRecordHeader(const char* bytes);  // kRecordHeaderSize bytes

// What a "FILE" record holds before its data.
struct TFileHead {
    QByteArray name;
    quint32 dataLength = 0;
};

// Reads one record header at dev's position: none when fewer than 24 bytes are left.
std::optional<TRecordHeader> ReadRecordHeader(QIODevice& dev);
// Reads the name and the data length of a "FILE" record at dev's position (just after its
// record header). None, with problem set, when the lengths do not fit the device, the name is
// 256 bytes or longer or holds a zero byte, or the data length runs past the end.
std::optional<TFileHead> ReadFileHead(QIODevice& dev, QString* problem = nullptr);

// One record as the reader found it.
struct TRecord {
    TRecordHeader header;
    qint64 offset = 0;          // of the record header
    QByteArray name;            // "FILE" only
    qint64 payloadOffset = 0;   // file data, command payload, or the skipped bytes
    quint32 payloadLength = 0;

    TKind Kind() const { return header.Kind(); }
    // For "FILE": whether the length field says name length + data length + 8.
    bool LengthConsistent() const;
};

struct TPackage {
    quint32 count = 0;
    QList<TRecord> records;      // count records, in file order
    qint64 size = 0;             // of the whole file
    qint64 trailing = 0;         // bytes after the last counted record, never read
    qint64 payloadTotal = 0;     // file data and command payloads: the bytes an upload sends
};

// Reads and checks the whole structure from dev's start: the header, count records each
// within the file, names of at most 255 bytes without zero bytes, command payloads that fit
// the send buffer. None, with a reason in problem, for anything else. dev must be open and
// seekable (a file or a buffer); its position afterwards is unspecified.
std::optional<TPackage> ReadPackage(QIODevice& dev, QString* problem = nullptr);
std::optional<TPackage> ReadPackageFile(const QString& path, QString* problem = nullptr);

// The unscrambled payload of a record; none when it cannot be read in full.
std::optional<QByteArray> ReadPayload(QIODevice& dev, const TRecord& record);

// One record to write: a file (name and data) or a command (text).
struct TEntry {
    TKind kind = TKind::File;
    QByteArray name;  // files only
    QByteArray data;  // file data or command text, unscrambled

    static TEntry File(const QByteArray& name, const QByteArray& data) { return {TKind::File, name, data}; }
    static TEntry Command(const QByteArray& text) { return {TKind::Command, {}, text}; }
};

// The package bytes of entries, in order: digests of the unscrambled payloads, payloads
// scrambled. None, with problem set, for an entry the reader would refuse (an empty name, a
// name of 256 bytes or more or with a zero byte, a command too large for the send buffer).
std::optional<QByteArray> BuildPackage(const QList<TEntry>& entries, QString* problem = nullptr);
}  // namespace Pk2
