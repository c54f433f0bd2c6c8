#include "Pk2Package.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <cstring>

namespace Pk2 {
namespace {
void SetProblem(QString* problem, const QString& text)
{
    if (problem)
        *problem = text;
}

qint64 Left(const QIODevice& dev) { return dev.size() - dev.pos(); }

std::optional<quint32> ReadLe32From(QIODevice& dev)
{
    const std::optional<QByteArray> b = ReadExactly(dev, 4);
    if (!b)
        return std::nullopt;
    return ReadLe32(b->constData());
}

QByteArray Digest(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}
}  // namespace

std::optional<QByteArray> ReadExactly(QIODevice& dev, qint64 n)
{
    // Checked first, so that a lying length never makes a large allocation.
    if (n < 0 || n > Left(dev))
        return std::nullopt;
    QByteArray bytes(qsizetype(n), Qt::Uninitialized);
    qint64 got = 0;
    while (got < n) {
        const qint64 r = dev.read(bytes.data() + got, n - got);
        if (r <= 0)
            return std::nullopt;
        got += r;
    }
    return bytes;
}

// Chosen for this program; nothing else depends on its value, since the camera receives the
// unscrambled bytes.
const std::array<quint8, 8> PackageKey = {0x5A, 0xC3, 0x17, 0x8E, 0x2B, 0xF4, 0x69, 0xD0};

void Scramble(char* data, qsizetype size)
{
    // Eight bytes at a time: the key is eight bytes long and every piece starts at key byte 0.
    quint64 key;
    std::memcpy(&key, PackageKey.data(), sizeof key);
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        quint64 word;
        std::memcpy(&word, data + i, sizeof word);
        word ^= key;
        std::memcpy(data + i, &word, sizeof word);
    }
    for (; i < size; ++i)
        data[i] = char(quint8(data[i]) ^ PackageKey[size_t(i % 8)]);
}

QByteArray Scrambled(QByteArray bytes)
{
    Scramble(bytes.data(), bytes.size());
    return bytes;
}

bool IsPackageHeader(const QByteArray& header)
{
    return header.size() >= kHeaderSize && header.startsWith(QByteArrayLiteral("PK2\0"));
}

quint32 ReadLe32(const char* p)
{
    const auto* u = reinterpret_cast<const quint8*>(p);
    return quint32(u[0]) | quint32(u[1]) << 8 | quint32(u[2]) << 16 | quint32(u[3]) << 24;
}

void AppendLe32(QByteArray& out, quint32 value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(char((value >> shift) & 0xFF));
}

QByteArray CommandLine(qsizetype payloadSize)
{
    return QByteArrayLiteral("CMD ") + QByteArray::number(payloadSize) + QByteArrayLiteral("\r\n");
}

bool CommandFits(qsizetype payloadSize)
{
    return payloadSize >= 0 && payloadSize <= kSendBufferSize
           && CommandLine(payloadSize).size() + payloadSize <= kSendBufferSize;
}

TKind TRecordHeader::Kind() const
{
    if (tag == kTagFile)
        return TKind::File;
    if (tag == kTagCommand)
        return TKind::Command;
    return TKind::Other;
}

TRecordHeader ParseRecordHeader(const char* bytes)
{
    TRecordHeader h;
    h.tag = QByteArray(bytes, 4);
    h.digest = QByteArray(bytes + 4, kDigestSize);
    h.length = ReadLe32(bytes + 20);
    return h;
}

std::optional<TRecordHeader> ReadRecordHeader(QIODevice& dev)
{
    const std::optional<QByteArray> b = ReadExactly(dev, kRecordHeaderSize);
    if (!b)
        return std::nullopt;
    return ParseRecordHeader(b->constData());
}

std::optional<TFileHead> ReadFileHead(QIODevice& dev, QString* problem)
{
    const std::optional<quint32> nameLength = ReadLe32From(dev);
    if (!nameLength) {
        SetProblem(problem, QStringLiteral("the file record ends before its name length"));
        return std::nullopt;
    }
    if (*nameLength > quint32(kMaxNameLength)) {
        SetProblem(problem, QStringLiteral("a file name of %1 bytes (at most %2)").arg(*nameLength).arg(kMaxNameLength));
        return std::nullopt;
    }
    TFileHead head;
    const std::optional<QByteArray> name = ReadExactly(dev, *nameLength);
    if (!name) {
        SetProblem(problem, QStringLiteral("the file name runs past the end of the package"));
        return std::nullopt;
    }
    if (name->contains('\0')) {
        SetProblem(problem, QStringLiteral("a file name with a zero byte"));
        return std::nullopt;
    }
    head.name = *name;
    const std::optional<quint32> dataLength = ReadLe32From(dev);
    if (!dataLength) {
        SetProblem(problem, QStringLiteral("the file record ends before its data length"));
        return std::nullopt;
    }
    if (qint64(*dataLength) > Left(dev)) {
        SetProblem(problem, QStringLiteral("the data of file \"%1\" (%2 bytes) run past the end of the package")
                                .arg(QString::fromLatin1(head.name))
                                .arg(*dataLength));
        return std::nullopt;
    }
    head.dataLength = *dataLength;
    return head;
}

bool TRecord::LengthConsistent() const
{
    return quint64(header.length) == quint64(name.size()) + payloadLength + 8;
}

std::optional<TPackage> ReadPackage(QIODevice& dev, QString* problem)
{
    if (!dev.isOpen() || !dev.isReadable() || dev.isSequential() || !dev.seek(0)) {
        SetProblem(problem, QStringLiteral("the package cannot be read"));
        return std::nullopt;
    }
    TPackage package;
    package.size = dev.size();
    const std::optional<QByteArray> header = ReadExactly(dev, kHeaderSize);
    if (!header) {
        SetProblem(problem, QStringLiteral("shorter than the 28-byte package header"));
        return std::nullopt;
    }
    if (!IsPackageHeader(*header)) {
        SetProblem(problem, QStringLiteral("no \"PK2\" package header"));
        return std::nullopt;
    }
    package.count = ReadLe32(header->constData() + kCountOffset);

    for (quint32 i = 0; i < package.count; ++i) {
        const auto fail = [&](const QString& why) {
            SetProblem(problem, QStringLiteral("record %1 of %2: %3").arg(i + 1).arg(package.count).arg(why));
            return std::nullopt;
        };
        TRecord record;
        record.offset = dev.pos();
        const std::optional<TRecordHeader> h = ReadRecordHeader(dev);
        if (!h)
            return fail(dev.pos() == package.size ? QStringLiteral("missing, the package ends before it")
                                                  : QStringLiteral("the record header runs past the end"));
        record.header = *h;
        switch (h->Kind()) {
        case TKind::File: {
            QString why;
            const std::optional<TFileHead> head = ReadFileHead(dev, &why);
            if (!head)
                return fail(why);
            record.name = head->name;
            record.payloadLength = head->dataLength;
            break;
        }
        case TKind::Command:
            if (qint64(h->length) > Left(dev))
                return fail(QStringLiteral("the command (%1 bytes) runs past the end of the package").arg(h->length));
            if (!CommandFits(qsizetype(h->length)))
                return fail(QStringLiteral("a command of %1 bytes does not fit the %2-byte send buffer")
                                .arg(h->length)
                                .arg(kSendBufferSize));
            record.payloadLength = h->length;
            break;
        case TKind::Other:
            if (qint64(h->length) > Left(dev))
                return fail(QStringLiteral("the record (%1 bytes) runs past the end of the package").arg(h->length));
            record.payloadLength = h->length;
            break;
        }
        record.payloadOffset = dev.pos();
        if (!dev.seek(record.payloadOffset + record.payloadLength))
            return fail(QStringLiteral("the package cannot be read"));
        if (record.Kind() != TKind::Other)
            package.payloadTotal += record.payloadLength;
        package.records.append(record);
    }
    package.trailing = package.size - dev.pos();
    return package;
}

std::optional<TPackage> ReadPackageFile(const QString& path, QString* problem)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SetProblem(problem, file.errorString());
        return std::nullopt;
    }
    return ReadPackage(file, problem);
}

std::optional<QByteArray> ReadPayload(QIODevice& dev, const TRecord& record)
{
    if (!dev.seek(record.payloadOffset))
        return std::nullopt;
    std::optional<QByteArray> payload = ReadExactly(dev, record.payloadLength);
    if (payload && record.Kind() != TKind::Other)
        Scramble(payload->data(), payload->size());
    return payload;
}

std::optional<QByteArray> BuildPackage(const QList<TEntry>& entries, QString* problem)
{
    QByteArray out(kCountOffset, '\0');
    out.replace(0, 3, "PK2");
    AppendLe32(out, quint32(entries.size()));

    for (const TEntry& e : entries) {
        if (e.kind == TKind::File) {
            if (e.name.isEmpty() || e.name.size() > kMaxNameLength || e.name.contains('\0')) {
                const qsizetype zero = e.name.indexOf('\0');
                SetProblem(problem, QStringLiteral("file name \"%1\": 1 to %2 bytes, no zero byte")
                                        .arg(QString::fromUtf8(zero < 0 ? e.name : e.name.first(zero)))
                                        .arg(kMaxNameLength));
                return std::nullopt;
            }
            if (quint64(e.data.size()) + e.name.size() + 8 > 0xFFFFFFFFu) {
                SetProblem(problem, QStringLiteral("file \"%1\" is too large").arg(QString::fromUtf8(e.name)));
                return std::nullopt;
            }
            out += kTagFile + Digest(e.data);
            AppendLe32(out, quint32(e.name.size() + e.data.size() + 8));
            AppendLe32(out, quint32(e.name.size()));
            out += e.name;
            AppendLe32(out, quint32(e.data.size()));
            out += Scrambled(e.data);
        } else if (e.kind == TKind::Command) {
            if (!CommandFits(e.data.size())) {
                SetProblem(problem, QStringLiteral("a command of %1 bytes does not fit the %2-byte send buffer")
                                        .arg(e.data.size())
                                        .arg(kSendBufferSize));
                return std::nullopt;
            }
            out += kTagCommand + Digest(e.data);
            AppendLe32(out, quint32(e.data.size()));
            out += Scrambled(e.data);
        } else {
            SetProblem(problem, QStringLiteral("only files and commands are written"));
            return std::nullopt;
        }
    }
    return out;
}
}  // namespace Pk2
