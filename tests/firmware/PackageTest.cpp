// The package reader against truncated, oversized and lying packages; the writer against
// literal bytes; pk2-pack building and listing packages. No sockets.
#include "FirmwareTestSupport.h"
#include "FirmwareUpload.h"
#include "Pk2Package.h"

#include <QBuffer>
#include <QProcess>

namespace {
std::optional<Pk2::TPackage> Read(const QByteArray& bytes, QString* problem = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return Pk2::ReadPackage(buffer, problem);
}
}  // namespace

TEST(Pk2Reader, RefusesTruncatedOversizedAndLyingPackages)
{
    const QByteArray cmdLs = Record("CMD ", 2, "ls");
    const struct {
        const char* what;
        QByteArray bytes;
        const char* problem;
    } cases[] = {
        {"empty file", {}, "shorter than the 28-byte package header"},
        {"27 bytes", PackageHeader(0).left(27), "shorter than the 28-byte package header"},
        {"PK2 and a blank", "PK2 " + PackageHeader(0).mid(4), "no \"PK2\" package header"},
        {"PK and two zeros", Raw("PK\0\0") + PackageHeader(0).mid(4), "no \"PK2\" package header"},
        {"count beyond the records", PackageHeader(2) + cmdLs, "record 2 of 2: missing, the package ends before it"},
        {"count of 2^32-1", PackageHeader(0xFFFFFFFF) + cmdLs,
         "record 2 of 4294967295: missing, the package ends before it"},
        {"record header cut", PackageHeader(1) + cmdLs.left(10), "record 1 of 1: the record header runs past the end"},
        {"file record without name length", PackageHeader(1) + Record("FILE", 20),
         "record 1 of 1: the file record ends before its name length"},
        {"name of 256 bytes", PackageHeader(1) + FileRecord(QByteArray(256, 'n'), "x"),
         "record 1 of 1: a file name of 256 bytes (at most 255)"},
        {"name length 2^32-1", PackageHeader(1) + Record("FILE", 9, Le32(0xFFFFFFFF) + "abc"),
         "record 1 of 1: a file name of 4294967295 bytes (at most 255)"},
        {"name past the end", PackageHeader(1) + Record("FILE", 30, Le32(10) + "short"),
         "record 1 of 1: the file name runs past the end of the package"},
        {"name with a zero byte", PackageHeader(1) + FileRecord(Raw("a\0b"), "x"),
         "record 1 of 1: a file name with a zero byte"},
        {"no data length", PackageHeader(1) + Record("FILE", 9, Le32(1) + "a"),
         "record 1 of 1: the file record ends before its data length"},
        {"data one byte past the end", PackageHeader(1) + Record("FILE", 15, Le32(1) + "a" + Le32(6) + "12345"),
         "record 1 of 1: the data of file \"a\" (6 bytes) run past the end of the package"},
        {"data length 2^32-1", PackageHeader(1) + Record("FILE", 15, Le32(1) + "a" + Le32(0xFFFFFFFF) + "12345"),
         "record 1 of 1: the data of file \"a\" (4294967295 bytes) run past the end of the package"},
        {"command past the end", PackageHeader(1) + Record("CMD ", 3, "ls"),
         "record 1 of 1: the command (3 bytes) runs past the end of the package"},
        {"command of 2^32-1 bytes", PackageHeader(1) + Record("CMD ", 0xFFFFFFFF, "ls"),
         "record 1 of 1: the command (4294967295 bytes) runs past the end of the package"},
        // "CMD 2039\r\n" and 2039 bytes make 2049.
        {"command too large for the send buffer", PackageHeader(1) + Record("CMD ", 2039, QByteArray(2039, 'c')),
         "record 1 of 1: a command of 2039 bytes does not fit the 2048-byte send buffer"},
        {"skipped record past the end", PackageHeader(2) + cmdLs + Record("XTRA", 8, "1234567"),
         "record 2 of 2: the record (8 bytes) runs past the end of the package"},
    };
    TTempFiles files;
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString problem;
        EXPECT_FALSE(Read(c.bytes, &problem));
        EXPECT_EQ(problem, QString::fromLatin1(c.problem));
        // The upload's own check refuses the file just the same.
        EXPECT_FALSE(TSocketThread::CheckPackage(files.Write(QString("bad%1.pk2").arg(++n), c.bytes)));
    }
    EXPECT_FALSE(TSocketThread::CheckPackage(files.Path("missing.pk2")));
}

TEST(Pk2Reader, AcceptsPackagesAtTheLimits)
{
    const QByteArray name255(255, 'n');
    const QByteArray cmd2038(2038, 'c');  // "CMD 2038\r\n" and 2038 bytes: exactly 2048
    const QByteArray fileA = Record("FILE", 99, Le32(1) + "a" + Le32(5) + "12345");  // length field wrong
    const struct {
        const char* what;
        QByteArray bytes;
        quint32 count;
        QList<quint32> payloadLengths;
        qint64 payloadTotal;
        qint64 trailing;
    } cases[] = {
        {"no records", PackageHeader(0), 0, {}, 0, 0},
        {"count below the records, the rest not read", PackageHeader(1) + Record("CMD ", 2, "ls") + "junk", 1, {2}, 2, 4},
        {"255-byte name, data up to the end", PackageHeader(1) + FileRecord(name255, "xyz"), 1, {3}, 3, 0},
        {"command that fills the send buffer", PackageHeader(1) + Record("CMD ", 2038, cmd2038), 1, {2038}, 2038, 0},
        {"skipped tag, then a command", PackageHeader(2) + Record("XTRA", 7, "1234567") + Record("CMD ", 2, "ls"), 2,
         {7, 2}, 2, 0},
        {"empty file and empty command", PackageHeader(2) + FileRecord("e", {}) + Record("CMD ", 0), 2, {0, 0}, 0, 0},
        {"file whose length field disagrees", PackageHeader(1) + fileA, 1, {5}, 5, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString problem;
        const std::optional<Pk2::TPackage> p = Read(c.bytes, &problem);
        ASSERT_TRUE(p) << problem.toStdString();
        EXPECT_EQ(p->count, c.count);
        QList<quint32> lengths;
        for (const Pk2::TRecord& r : p->records)
            lengths << r.payloadLength;
        EXPECT_EQ(lengths, c.payloadLengths);
        EXPECT_EQ(p->payloadTotal, c.payloadTotal);
        EXPECT_EQ(p->trailing, c.trailing);
        EXPECT_EQ(p->size, c.bytes.size());
    }
    const std::optional<Pk2::TPackage> named = Read(PackageHeader(1) + FileRecord(name255, "xyz"));
    ASSERT_TRUE(named);
    EXPECT_EQ(named->records[0].name, name255);
    EXPECT_TRUE(named->records[0].LengthConsistent());
    const std::optional<Pk2::TPackage> lying = Read(PackageHeader(1) + fileA);
    ASSERT_TRUE(lying);
    EXPECT_FALSE(lying->records[0].LengthConsistent());
}

TEST(Pk2Writer, WritesDigestsOfThePlainPayloadsAndScramblesThePayloads)
{
    QString problem;
    const std::optional<QByteArray> bytes =
        Pk2::BuildPackage({Pk2::TEntry::File("a", "hello"), Pk2::TEntry::Command("ls")}, &problem);
    ASSERT_TRUE(bytes) << problem.toStdString();
    EXPECT_EQ(bytes->toHex(' '), kTinyPackage.toHex(' '));

    // And back: the reader finds the records and unscrambles their payloads.
    QBuffer buffer;
    buffer.setData(kTinyPackage);
    buffer.open(QIODevice::ReadOnly);
    const std::optional<Pk2::TPackage> p = Pk2::ReadPackage(buffer);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->records.size(), 2);
    EXPECT_EQ(p->records[0].Kind(), Pk2::TKind::File);
    EXPECT_EQ(p->records[0].name, "a");
    EXPECT_EQ(p->records[0].payloadOffset, 61);
    EXPECT_EQ(p->records[1].Kind(), Pk2::TKind::Command);
    EXPECT_EQ(Pk2::ReadPayload(buffer, p->records[0]), QByteArray("hello"));
    EXPECT_EQ(Pk2::ReadPayload(buffer, p->records[1]), QByteArray("ls"));
    EXPECT_EQ(p->payloadTotal, 7);
}

TEST(Pk2Writer, RefusesEntriesTheUploadCouldNotSend)
{
    const struct {
        const char* what;
        Pk2::TEntry entry;
        QString problem;
    } cases[] = {
        {"empty name", Pk2::TEntry::File("", "x"), "file name \"\": 1 to 255 bytes, no zero byte"},
        {"256-byte name", Pk2::TEntry::File(QByteArray(256, 'n'), "x"),
         "file name \"" + QString(256, 'n') + "\": 1 to 255 bytes, no zero byte"},
        {"name with a zero byte", Pk2::TEntry::File(Raw("a\0b"), "x"), "file name \"a\": 1 to 255 bytes, no zero byte"},
        {"command of 2039 bytes", Pk2::TEntry::Command(QByteArray(2039, 'c')),
         "a command of 2039 bytes does not fit the 2048-byte send buffer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString problem;
        EXPECT_FALSE(Pk2::BuildPackage({Pk2::TEntry::Command("ok"), c.entry}, &problem));
        EXPECT_EQ(problem, c.problem);
    }
    EXPECT_TRUE(Pk2::BuildPackage({Pk2::TEntry::Command(QByteArray(2038, 'c'))}));
}

// ---- pk2-pack -----------------------------------------------------------------------------

namespace {
struct TRun {
    int exitCode = -1;
    QString out;
    QString err;
};

TRun Pk2Pack(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(PK2_PACK_PATH), args);
    TRun run;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}
}  // namespace

TEST(Pk2Pack, ListsWhatItBuilt)
{
    TTempFiles files;
    const QString fw = files.Write("fw.bin", Pattern(3000));
    const QString empty = files.Write("empty.bin", {});
    const QString out = files.Path("out.pk2");
    const TRun built = Pk2Pack({out, "--file", "fw.bin", fw, "--cmd", "reboot now", "--file", "empty", empty,
                                "--cmd", "a\tb\\"});
    ASSERT_EQ(built.exitCode, 0) << built.err.toStdString();

    const TRun listed = Pk2Pack({"--list", out});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, out + ": 4 records, 3014 payload bytes\n"
                          "1\tFILE\tfw.bin\t3000\ta216503cb86d01a23e71e047d4ccf001\tok\n"
                          "2\tCMD\t-\t10\t5b0e683bd99734e15e5db89c230e652c\tok\treboot now\n"
                          "3\tFILE\tempty\t0\td41d8cd98f00b204e9800998ecf8427e\tok\n"
                          "4\tCMD\t-\t4\t15df52db7f82cbd0161587967deea1e9\tok\ta\\x09b\\x5c\n");

    // The program reads the same records and, unscrambled, the same bytes.
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const std::optional<Pk2::TPackage> p = Pk2::ReadPackage(f);
    ASSERT_TRUE(p);
    ASSERT_EQ(p->records.size(), 4);
    EXPECT_EQ(Pk2::ReadPayload(f, p->records[0]), Pattern(3000));
    EXPECT_EQ(Pk2::ReadPayload(f, p->records[1]), QByteArray("reboot now"));
    EXPECT_TRUE(TSocketThread::CheckPackage(out));
}

TEST(Pk2Pack, ListingShowsWrongDigestsLengthFieldsSkippedTagsAndTrailingBytes)
{
    TTempFiles files;
    const QByteArray scrambledHello = Raw("\x32\xA6\x7B\xE2\x44");
    const QByteArray helloDigest = QByteArray::fromHex("5d41402abc4b2a76b9719d911017c592");
    const QByteArray bytes = PackageHeader(4) + FileRecord("zero-digest", scrambledHello)
                             + Record("FILE", 7, Le32(1) + "a" + Le32(5) + scrambledHello, helloDigest)
                             + Record("XTRA", 3, "abc") + Record("CMD ", 2, Raw("\x36\xB0"), QByteArray(16, '\x11'))
                             + "tail";
    const QString path = files.Write("odd.pk2", bytes);
    const TRun listed = Pk2Pack({"--list", path});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, path + ": 4 records, 12 payload bytes\n"
                                 "1\tFILE\tzero-digest\t5\t00000000000000000000000000000000\tmd5-differs\n"
                                 "2\tFILE\ta\t5\t5d41402abc4b2a76b9719d911017c592\tlength-differs\n"
                                 "3\tXTRA\t-\t3\t00000000000000000000000000000000\t-\n"
                                 "4\tCMD\t-\t2\t11111111111111111111111111111111\tmd5-differs\tls\n"
                                 "4 trailing bytes after the last record, not read\n");
}

TEST(Pk2Pack, RefusesMalformedInputAndWrongUsage)
{
    TTempFiles files;
    const QString lying = files.Write("lying.pk2", PackageHeader(2) + Record("CMD ", 2, "ls"));
    const TRun listed = Pk2Pack({"--list", lying});
    EXPECT_EQ(listed.exitCode, 1);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "pk2-pack: " + lying + ": record 2 of 2: missing, the package ends before it\n");

    const TRun missing = Pk2Pack({"--list", files.Path("none.pk2")});
    EXPECT_EQ(missing.exitCode, 1);

    const QString data = files.Write("d.bin", "x");
    const TRun longName = Pk2Pack({files.Path("o.pk2"), "--file", QString(256, 'n'), data});
    EXPECT_EQ(longName.exitCode, 1);
    EXPECT_FALSE(QFile::exists(files.Path("o.pk2")));
    const TRun noInput = Pk2Pack({files.Path("o.pk2"), "--file", "n", files.Path("nothing.bin")});
    EXPECT_EQ(noInput.exitCode, 1);

    for (const QStringList& usage : {QStringList{}, QStringList{"--list"}, QStringList{"--bogus", "x"},
                                     QStringList{files.Path("o.pk2"), "--file", "n"},
                                     QStringList{files.Path("o.pk2"), "stray"}}) {
        SCOPED_TRACE(usage.join(' ').toStdString());
        EXPECT_EQ(Pk2Pack(usage).exitCode, 2);
    }
}
