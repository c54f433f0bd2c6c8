// libFuzzer target: any bytes as a package file, read the way the upload reads one (a QFile
// through Pk2::ReadPackage), then every record's payload as pk2-pack --list reads it.
// Run by scripts/fuzz (fuzz_pk2_package).

#include "Pk2Package.h"

#include <QFile>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A file in memory: the reader sees a real file of exactly size bytes.
    static const int fd = ::memfd_create("pk2-fuzz", MFD_CLOEXEC);
    if (fd < 0)
        __builtin_trap();
    if (::ftruncate(fd, 0) != 0 || (size && ::pwrite(fd, data, size, 0) != ssize_t(size)))
        __builtin_trap();
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        __builtin_trap();

    const std::optional<Pk2::TPackage> package = Pk2::ReadPackage(file);
    if (!package)
        return 0;
    // What the reader accepted must lie within the file and be sendable.
    qint64 total = 0;
    for (const Pk2::TRecord& r : package->records) {
        if (r.offset < Pk2::kHeaderSize || r.payloadOffset < r.offset || r.payloadOffset + r.payloadLength > qint64(size))
            __builtin_trap();
        if (r.Kind() == Pk2::TKind::File && (r.name.size() > Pk2::kMaxNameLength || r.name.contains('\0')))
            __builtin_trap();
        if (r.Kind() == Pk2::TKind::Command && !Pk2::CommandFits(r.payloadLength))
            __builtin_trap();
        const std::optional<QByteArray> payload = Pk2::ReadPayload(file, r);
        if (!payload || payload->size() != qsizetype(r.payloadLength))
            __builtin_trap();
        if (r.Kind() != Pk2::TKind::Other)
            total += r.payloadLength;
    }
    if (package->records.size() != qsizetype(package->count) || total != package->payloadTotal
        || package->trailing < 0)
        __builtin_trap();
    return 0;
}
