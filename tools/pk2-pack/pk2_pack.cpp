// pk2-pack: builds a firmware package from files and commands, or lists one.
//
//   pk2-pack OUT.pk2 [--file NAME PATH]... [--cmd TEXT]...   records in command-line order
//   pk2-pack --list IN.pk2
//
// The listing is one line per record, TAB-separated: number, tag, name ("-" for commands and
// other tags), payload size, MD5 from the record, check ("ok", "md5-differs",
// "length-differs" for a file whose length field disagrees, "-" for skipped tags) and, for
// commands, the text with non-printable bytes escaped. A malformed package is refused with a
// message on stderr and exit status 1; wrong usage gives status 2.

#include "Pk2Package.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdio>

namespace {
constexpr int kMalformed = 1;
constexpr int kUsage = 2;

int Usage()
{
    std::fputs("usage: pk2-pack OUT.pk2 [--file NAME PATH]... [--cmd TEXT]...\n"
               "       pk2-pack --list IN.pk2\n",
               stderr);
    return kUsage;
}

int Fail(const QString& text)
{
    std::fprintf(stderr, "pk2-pack: %s\n", qPrintable(text));
    return kMalformed;
}

// Printable ASCII as it is, everything else (and the backslash) as \xHH.
QByteArray Escaped(const QByteArray& bytes)
{
    QByteArray out;
    for (const char c : bytes) {
        const auto u = quint8(c);
        if (u >= 0x20 && u < 0x7F && c != '\\')
            out += c;
        else
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
    }
    return out;
}

int List(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(path + ": " + file.errorString());
    QString problem;
    const std::optional<Pk2::TPackage> package = Pk2::ReadPackage(file, &problem);
    if (!package)
        return Fail(path + ": " + problem);

    std::printf("%s: %u records, %lld payload bytes\n", qPrintable(path), package->count,
                static_cast<long long>(package->payloadTotal));
    int number = 0;
    for (const Pk2::TRecord& r : package->records) {
        ++number;
        const std::optional<QByteArray> payload = Pk2::ReadPayload(file, r);
        if (!payload)
            return Fail(path + QStringLiteral(": record %1 cannot be read").arg(number));
        QByteArray check = "-";
        QByteArray name = "-";
        QByteArray tag = Escaped(r.header.tag);
        QByteArray text;
        if (r.Kind() != Pk2::TKind::Other) {
            const bool digestOk = QCryptographicHash::hash(*payload, QCryptographicHash::Md5) == r.header.digest;
            check = digestOk ? "ok" : "md5-differs";
            if (r.Kind() == Pk2::TKind::File) {
                name = Escaped(r.name);
                if (!r.LengthConsistent())
                    check = digestOk ? "length-differs" : "md5-differs,length-differs";
            } else {
                tag = "CMD";
                text = "\t" + Escaped(*payload);
            }
        }
        std::printf("%d\t%s\t%s\t%u\t%s\t%s%s\n", number, tag.constData(), name.constData(), r.payloadLength,
                    r.header.digest.toHex().constData(), check.constData(), text.constData());
    }
    if (package->trailing > 0)
        std::printf("%lld trailing bytes after the last record, not read\n", static_cast<long long>(package->trailing));
    return 0;
}

int Pack(const QStringList& args)
{
    const QString out = args.at(0);
    QList<Pk2::TEntry> entries;
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--file") && i + 2 < args.size()) {
            QFile data(args[i + 2]);
            if (!data.open(QIODevice::ReadOnly))
                return Fail(args[i + 2] + ": " + data.errorString());
            entries.append(Pk2::TEntry::File(args[i + 1].toUtf8(), data.readAll()));
            i += 2;
        } else if (args[i] == QLatin1String("--cmd") && i + 1 < args.size()) {
            entries.append(Pk2::TEntry::Command(args[i + 1].toUtf8()));
            i += 1;
        } else {
            return Usage();
        }
    }
    QString problem;
    const std::optional<QByteArray> bytes = Pk2::BuildPackage(entries, &problem);
    if (!bytes)
        return Fail(problem);
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(*bytes) != bytes->size() || !file.flush())
        return Fail(out + ": " + file.errorString());
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.isEmpty())
        return Usage();
    if (args[0] == QLatin1String("--list"))
        return args.size() == 2 ? List(args[1]) : Usage();
    if (args[0].startsWith(QLatin1String("--")))
        return Usage();
    return Pack(args);
}
