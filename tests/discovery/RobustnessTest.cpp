// Hostile datagrams: truncated, mutated and random bytes through the parsers and the receive
// handler. Each datagram sits in a buffer of exactly its size, so that a read past its end
// is caught by AddressSanitizer.

#include "DiscoveryEngine.h"
#include "Bin8Family.h"
#include "CtpFamily.h"
#include "CtpMessage.h"
#include "FakeSearchSink.h"
#include "LegacyFamilies.h"
#include "MoiFamily.h"
#include "TestPackets.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>
#include <memory>

using namespace testpk;

namespace {

// A datagram that owns exactly size bytes and nothing after them.
class ExactBuffer {
public:
    explicit ExactBuffer(const QByteArray& bytes) : size_(bytes.size())
    {
        data_.reset(new char[size_t(std::max<qsizetype>(size_, 1))]);
        std::copy(bytes.begin(), bytes.end(), data_.get());
    }
    QByteArray View() const { return QByteArray::fromRawData(data_.get(), size_); }

private:
    std::unique_ptr<char[]> data_;
    qsizetype size_;
};

QList<QByteArray> Templates()
{
    MoIReply m64, m195;
    m195.bodyLength = 195;
    m195.dhcp = 1;
    m195.ddnsServer = QByteArray(65, 's');
    m195.ddnsUser = QByteArray(65, 'u');
    MoIReply m65;
    m65.bodyLength = 65;
    Bin8Block b;
    b.name = QByteArray(24, 'n');
    return {Build(m64),
            Build(m65),
            Build(m195),
            CtpReply({"-sn=1", "-name=x", "-ip=10.0.0.1", "-portctp=80", "-mac=00:11:22:33:44:55",
                      "-ddns=d.example.net", "-ddnsuser=u", "-ddnspswd=p", "-version=1"}),
            Bin8SearchReply(b),
            Bin8NetReply(b, QByteArray(200, 'v')),
            Bin8DdnsReply(b, QByteArray(130, 's'), QByteArray(64, 'u'), QByteArray(64, 'p'))};
}

}  // namespace

TEST(Robustness, EveryPrefixOfEveryReply)
{
    TDeviceList list;
    for (const QByteArray& t : Templates()) {
        for (qsizetype n = 0; n <= t.size(); ++n) {
            const ExactBuffer buf(t.left(n));
            TDevInfo rec;
            rec.Family = -1;
            QByteArray follow;
            const bool merge = ParseReply(buf.View(), rec, &list, &follow);
            if (merge)
                list.AddOrUpdateDevice(rec);
            // A follow-up request is always a full header and block.
            if (!follow.isEmpty()) {
                EXPECT_EQ(follow.size(), 136);
            }
        }
    }
    // Family 8 prefixes shorter than the header and block never give a record.
    for (qsizetype n = 0; n < 136; ++n) {
        TDevInfo rec;
        rec.Family = -1;
        EXPECT_FALSE(ParseReply(ExactBuffer(Bin8NetReply(Bin8Block{}).left(n)).View(), rec,
                                &list, nullptr));
    }
}

TEST(Robustness, MutatedAndRandomDatagramsThroughTheReceiveHandler)
{
    // Not started: follow-up requests have no socket to go out on, all else runs.
    DiscoveryEngine engine(testsupport::Families());
    QRandomGenerator rng(20240611);
    const QList<QByteArray> templates = Templates();
    const QByteArray heads[] = {"MO_I", "REPLY", QByteArray("\x10\x10", 2), ""};
    for (int i = 0; i < 20000; ++i) {
        QByteArray d;
        switch (rng.bounded(3)) {
        case 0: {  // a real reply with a few bytes changed and its end moved
            d = templates[rng.bounded(qsizetype(templates.size()))];
            const int flips = int(rng.bounded(8));
            for (int f = 0; f < flips && !d.isEmpty(); ++f)
                d[rng.bounded(d.size())] = char(rng.bounded(256));
            const qsizetype len = rng.bounded(qsizetype(d.size() + 64));
            d = len <= d.size() ? d.left(len) : d + QByteArray(len - d.size(), char(rng.bounded(256)));
            break;
        }
        case 1: {  // a known head and random bytes
            d = heads[rng.bounded(4)];
            const int len = int(rng.bounded(1500));
            for (int k = 0; k < len; ++k)
                d.append(char(rng.bounded(256)));
            break;
        }
        default: {  // a family-8 head with a random command and length
            d = QByteArray("\x10\x10", 2);
            const quint16 cmds[] = {0x8F01, 0x8F12, 0x8F0F, quint16(rng.bounded(65536))};
            testpk::PutLe16(d, 2, cmds[rng.bounded(4)]);
            const int len = int(rng.bounded(420));
            while (d.size() < len)
                d.append(char(rng.bounded(256)));
            d = d.left(len);
            break;
        }
        }
        const ExactBuffer buf(d);
        engine.OnUdpRead(buf.View());
    }
    // The list stayed consistent: one row per MAC, lookups agree with rows.
    const TDeviceList& list = engine.Devices();
    for (int r = 0; r < list.Count(); ++r)
        EXPECT_EQ(list.FindItemByMac(list.RecordAt(r)->Mac), r);
    EXPECT_GT(list.Count(), 0) << "mutated replies still parse";
}

TEST(Robustness, OverlongDatagramsAreCutToTheReceiveBuffer)
{
    DiscoveryEngine engine(testsupport::Families());
    QByteArray d = CtpReply({"-mac=AA"});
    d += QByteArray(DiscoveryNet::kReceiveBufferSize - d.size() - 4, 'x');
    d += "\r\n-name=beyond the buffer";
    engine.OnUdpRead(d);
    ASSERT_EQ(engine.Devices().Count(), 1);
    EXPECT_EQ(engine.Devices().RecordAt(0)->Name, QString());
}
