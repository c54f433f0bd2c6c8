// The engine's reply cache: a datagram seen again is replayed instead of parsed only while the
// row it gave is unchanged, and the list ends up exactly as if it had been parsed.

#include "DiscoveryEngine.h"
#include "FamilyRegistry.h"
#include "TestFamilies.h"
#include "TestPackets.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

// Datagrams "CNT|mac|ip" give a record; "CNT|-" is handled without one. Counts its parses.
class TCountingFamily final : public ICameraFamily {
public:
    explicit TCountingFamily(bool repeatable) { traits_.repeatableReplies = repeatable; }
    qint32 Code() const override { return 77; }
    const TFamilyTraits& Traits() const override { return traits_; }
    TReplyMatch ParseReply(const QByteArray& d, TDevInfo& rec, ISearchSink&) override
    {
        if (!d.startsWith("CNT|"))
            return TReplyMatch::NotMine;
        ++parses;
        const QList<QByteArray> parts = d.split('|');
        if (parts.size() < 3)
            return TReplyMatch::Handled;
        rec.Family = 77;
        rec.Mac = QString::fromLatin1(parts[1]);
        rec.MacHex = rec.Mac;
        rec.IP = QString::fromLatin1(parts[2]);
        return TReplyMatch::Record;
    }
    int parses = 0;

private:
    TFamilyTraits traits_;
};

struct Fixture {
    explicit Fixture(bool repeatable = true)
    {
        auto f = std::make_unique<TCountingFamily>(repeatable);
        family = f.get();
        families.Add(std::move(f));
    }
    TFamilyRegistry families;
    TCountingFamily* family;
    DiscoveryEngine engine{families};  // not started: no sockets, the handler runs as usual
    const TDevInfo* Row(const char* mac) { return engine.Devices().FindRecordByMac(mac); }
};

}  // namespace

TEST(ReplyCache, ASeenDatagramRenewsItsRowWithoutBeingParsed)
{
    Fixture f;
    f.engine.OnUdpRead("CNT|M1|10.0.0.1", 3);
    ASSERT_NE(f.Row("M1"), nullptr);
    f.engine.Devices().ExpireTick();
    f.engine.Devices().ExpireTick();
    EXPECT_EQ(f.Row("M1")->TimeToLive, 8);
    f.engine.OnUdpRead("CNT|M1|10.0.0.1", 3);
    EXPECT_EQ(f.family->parses, 1);
    EXPECT_EQ(f.Row("M1")->TimeToLive, 10);
    EXPECT_EQ(f.Row("M1")->Adapter, 3u);
    EXPECT_EQ(f.engine.Replies().Size(), 1);

    // The same bytes on another adapter are another datagram; either one seen again gives its
    // adapter to the row, as a parse would.
    f.engine.OnUdpRead("CNT|M1|10.0.0.1", 5);
    EXPECT_EQ(f.family->parses, 2);
    EXPECT_EQ(f.Row("M1")->Adapter, 5u);
    f.engine.OnUdpRead("CNT|M1|10.0.0.1", 3);
    EXPECT_EQ(f.family->parses, 2);
    EXPECT_EQ(f.Row("M1")->Adapter, 3u);
}

TEST(ReplyCache, ARowChangedSinceIsParsedAnew)
{
    Fixture f;
    QSignalSpy changed(&f.engine.Devices(), &TDeviceList::detailsChanged);
    // A camera that answers from two addresses in turn: every answer changes its row.
    for (int i = 0; i < 6; ++i)
        f.engine.OnUdpRead(i % 2 ? "CNT|M1|10.0.0.2" : "CNT|M1|10.0.0.1");
    EXPECT_EQ(f.family->parses, 6);
    EXPECT_EQ(changed.count(), 5);
    EXPECT_EQ(f.Row("M1")->IP, "10.0.0.2");
    EXPECT_EQ(f.engine.Devices().Count(), 1);
}

TEST(ReplyCache, ARowThatWentIsAddedAgain)
{
    Fixture f;
    QSignalSpy added(&f.engine, &DiscoveryEngine::deviceAdded);
    f.engine.OnUdpRead("CNT|M1|10.0.0.1");
    f.engine.Devices().DeleteItem(0);  // as after a settings change
    f.engine.OnUdpRead("CNT|M1|10.0.0.1");
    EXPECT_EQ(f.engine.Devices().Count(), 1);
    EXPECT_EQ(added.count(), 2);
    EXPECT_EQ(f.family->parses, 2);

    for (int t = 0; t < 10; ++t)
        f.engine.Devices().ExpireTick();  // silent for ten ticks: gone
    ASSERT_EQ(f.engine.Devices().Count(), 0);
    f.engine.OnUdpRead("CNT|M1|10.0.0.1");
    EXPECT_EQ(f.engine.Devices().Count(), 1);
    EXPECT_EQ(f.family->parses, 3);

    f.engine.Find();  // an empty list and cache
    f.engine.OnUdpRead("CNT|M1|10.0.0.1");
    EXPECT_EQ(f.family->parses, 4);
    EXPECT_EQ(added.count(), 4);
}

TEST(ReplyCache, FamiliesWhoseRepliesDoNotRepeatAreAlwaysParsed)
{
    Fixture f(false);
    for (int i = 0; i < 3; ++i)
        f.engine.OnUdpRead("CNT|M1|10.0.0.1");
    EXPECT_EQ(f.family->parses, 3);
    EXPECT_EQ(f.engine.Replies().Size(), 0);
}

// A family-8 DDNS answer that came before its camera was listed gave nothing; the same bytes
// complete the row once it is there.
TEST(ReplyCache, AnAnswerThatLookedForItsRowIsReadAgain)
{
    DiscoveryEngine engine(testsupport::Families());
    testpk::Bin8Block b;
    const QByteArray ddns = testpk::Bin8DdnsReply(b, "cam.ddns.example.net:808", "cam8", "pw8");
    engine.OnUdpRead(ddns);
    engine.OnUdpRead(ddns);
    EXPECT_EQ(engine.Devices().Count(), 0);
    engine.OnUdpRead(testpk::Bin8NetReply(b));
    ASSERT_EQ(engine.Devices().Count(), 1);
    EXPECT_EQ(engine.Devices().RecordAt(0)->DdnsUser, "");
    engine.OnUdpRead(ddns);
    EXPECT_EQ(engine.Devices().RecordAt(0)->DdnsUser, "cam8");
    EXPECT_EQ(engine.Devices().RecordAt(0)->DdnsPwd, "pw8");
}

TEST(ReplyCache, DatagramsWithoutARecordCannotFillIt)
{
    Fixture f;
    // Our own probes coming back are handled without a record: kept, but never more than the
    // spare room when the list is empty.
    for (int i = 0; i < 3 * int(TReplyCache::kSpare); ++i)
        f.engine.OnUdpRead("CNT|-" + QByteArray::number(i));
    EXPECT_LE(f.engine.Replies().Size(), TReplyCache::kSpare);
    const int parsed = f.family->parses;
    f.engine.OnUdpRead("CNT|-" + QByteArray::number(3 * int(TReplyCache::kSpare) - 1));
    EXPECT_EQ(f.family->parses, parsed) << "the latest one is still known";
}
