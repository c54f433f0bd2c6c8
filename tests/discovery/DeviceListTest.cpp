// The camera list: merge rules, expiry, sorting, lookups, count and export.

#include "BuiltInFamilies.h"
#include "CurrentCamera.h"
#include "DeviceList.h"
#include "TestPackets.h"

#include <QAbstractItemModelTester>
#include <QDir>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <algorithm>

namespace {

TDevInfo Cam(const QString& mac, const QString& ip, const QString& name = "cam", int family = 5)
{
    TDevInfo r;
    r.Family = family;
    r.Mac = mac;
    r.MacHex = MacHexOf(mac);
    r.IP = ip;
    r.Name = name;
    r.HttpPort = 80;
    r.Mask = "255.255.255.0";
    return r;
}

QStringList Column(const TDeviceList& list, int column)
{
    QStringList out;
    for (int i = 0; i < list.rowCount(); ++i)
        out << list.data(list.index(i, column)).toString();
    return out;
}

QStringList Macs(const TDeviceList& list)
{
    QStringList out;
    for (int i = 0; i < list.Count(); ++i)
        out << list.RecordAt(i)->Mac;
    return out;
}

class DeviceListTest : public ::testing::Test {
protected:
    std::unique_ptr<TFamilyRegistry> families = MakeBuiltInFamilies(QStringLiteral("/nonexistent"));
    TDeviceList list{families.get()};
    // Every insert, move and removal is checked for a consistent model.
    QAbstractItemModelTester tester{&list, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

}  // namespace

TEST_F(DeviceListTest, SameReplyTwiceKeepsOneRowAndRefreshesItsTime)
{
    QSignalSpy details(&list, &TDeviceList::detailsChanged);
    QSignalSpy ddns(&list, &TDeviceList::ddnsChanged);
    EXPECT_TRUE(list.AddOrUpdateDevice(Cam("m1", "10.0.0.5")));
    for (int i = 0; i < 4; ++i)
        list.ExpireTick();
    EXPECT_EQ(list.RecordAt(0)->TimeToLive, 6);
    EXPECT_FALSE(list.AddOrUpdateDevice(Cam("m1", "10.0.0.5")));
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.RecordAt(0)->TimeToLive, 10);
    EXPECT_EQ(details.count(), 0);
    EXPECT_EQ(ddns.count(), 0);
}

TEST_F(DeviceListTest, ChangedValuesReplaceTheRecord)
{
    // Each compared field alone makes the reply replace the row's record.
    using Edit = void (*)(TDevInfo&);
    const Edit edits[] = {
        [](TDevInfo& r) { r.IP = "10.0.0.99"; },      [](TDevInfo& r) { r.Name = "other"; },
        [](TDevInfo& r) { r.HttpPort = 81; },         [](TDevInfo& r) { r.Family = 2; },
        [](TDevInfo& r) { r.Mask = "255.0.0.0"; },    [](TDevInfo& r) { r.Gateway = "10.0.0.1"; },
        [](TDevInfo& r) { r.Dns1 = "1.1.1.1"; },      [](TDevInfo& r) { r.Dns2 = "1.0.0.1"; },
        [](TDevInfo& r) { r.DataPort = 9; },          [](TDevInfo& r) { r.AddrMode = 1; },
    };
    for (Edit edit : edits) {
        list.ClearDevices();
        list.AddOrUpdateDevice(Cam("m1", "10.0.0.5"));
        list.ExpireTick();
        QSignalSpy details(&list, &TDeviceList::detailsChanged);
        TDevInfo reply = Cam("m1", "10.0.0.5");
        edit(reply);
        reply.Version = "new version";  // not compared, but copied along
        reply.TimeToLive = 77;
        EXPECT_FALSE(list.AddOrUpdateDevice(reply));
        ASSERT_EQ(list.Count(), 1);
        TDevInfo expected = reply;
        expected.TimeToLive = 10;
        EXPECT_EQ(*list.RecordAt(0), expected);
        EXPECT_EQ(details.count(), 1);
    }

    // The shown texts follow the new values.
    list.ClearDevices();
    list.AddOrUpdateDevice(Cam("m1", "10.0.0.5", "old", 5));
    list.AddOrUpdateDevice(Cam("m1", "10.0.0.6", "new", 2));
    EXPECT_EQ(list.SeriesAt(0), "F");
    EXPECT_EQ(Column(list, 1), QStringList{"new"});
    EXPECT_EQ(Column(list, 2), QStringList{"10.0.0.6"});
}

TEST_F(DeviceListTest, UncomparedFieldsAloneChangeNothing)
{
    list.AddOrUpdateDevice(Cam("m1", "10.0.0.5"));
    TDevInfo reply = Cam("m1", "10.0.0.5");
    reply.Version = "2.0";
    reply.SN = "sn";
    reply.Word8 = 5;
    QSignalSpy details(&list, &TDeviceList::detailsChanged);
    EXPECT_FALSE(list.AddOrUpdateDevice(reply));
    EXPECT_TRUE(list.RecordAt(0)->Version.isEmpty());
    EXPECT_TRUE(list.RecordAt(0)->SN.isEmpty());
    EXPECT_EQ(details.count(), 0);
}

TEST_F(DeviceListTest, DdnsValuesAreTakenOnlyWithAUserName)
{
    TDevInfo first = Cam("m1", "10.0.0.5");
    first.DdnsUser = "u1";
    first.DdnsPwd = "p1";
    first.DdnsServer = "s1.example.net";
    list.AddOrUpdateDevice(first);
    QSignalSpy ddns(&list, &TDeviceList::ddnsChanged);

    TDevInfo reply = first;
    reply.DdnsUser.clear();
    reply.DdnsPwd = "changed";
    list.AddOrUpdateDevice(reply);
    EXPECT_EQ(list.RecordAt(0)->DdnsPwd, "p1");
    EXPECT_EQ(ddns.count(), 0);

    reply = first;
    reply.DdnsPwd = "p2";
    reply.Version = "not taken";
    list.AddOrUpdateDevice(reply);
    EXPECT_EQ(list.RecordAt(0)->DdnsPwd, "p2");
    EXPECT_EQ(list.RecordAt(0)->DdnsUser, "u1");
    EXPECT_TRUE(list.RecordAt(0)->Version.isEmpty());
    ASSERT_EQ(ddns.count(), 1);
    EXPECT_EQ(ddns.at(0).at(0).toString(), "m1");
}

TEST_F(DeviceListTest, NotACameraIsIgnored)
{
    TDevInfo none = Cam("m1", "10.0.0.5");
    none.Family = -1;
    EXPECT_FALSE(list.AddOrUpdateDevice(none));
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(DeviceListTest, MacsMatchExactly)
{
    EXPECT_TRUE(list.AddOrUpdateDevice(Cam("aa-bb", "10.0.0.1")));
    EXPECT_TRUE(list.AddOrUpdateDevice(Cam("AA-BB", "10.0.0.2")));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.FindRecordByMac("AA-BB")->IP, "10.0.0.2");
    EXPECT_EQ(list.FindItemByMac("aa-bb"), 0);
    EXPECT_EQ(list.FindItemByMac("aabb"), -1);
    EXPECT_EQ(list.FindRecordByMac("aabb"), nullptr);
}

TEST_F(DeviceListTest, TimeToLive)
{
    struct Case {
        int family;
        int answers;     // answers, one tick apart
        int ticksAlive;  // ticks after the last answer that the row survives
    } cases[] = {{8, 1, 29}, {8, 2, 9}, {8, 5, 9}, {5, 1, 9}, {2, 1, 9}, {9, 3, 9}};
    for (const Case& c : cases) {
        list.ClearDevices();
        for (int i = 0; i < c.answers; ++i) {
            if (i > 0)
                list.ExpireTick();
            list.AddOrUpdateDevice(Cam("m", "10.0.0.5", "c", c.family));
        }
        for (int t = 0; t < c.ticksAlive; ++t)
            list.ExpireTick();
        EXPECT_EQ(list.Count(), 1) << "family " << c.family << " answers " << c.answers;
        list.ExpireTick();
        EXPECT_EQ(list.Count(), 0) << "family " << c.family << " answers " << c.answers;
    }
}

TEST_F(DeviceListTest, LibraryCamerasNeverExpire)
{
    list.AddOrUpdateDevice(Cam("h", "10.0.0.4", "hisi", 4));
    list.AddOrUpdateDevice(Cam("e", "10.0.0.5", "ctp", 5));
    for (int t = 0; t < 100; ++t)
        list.ExpireTick();
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.RecordAt(0)->Mac, "h");
    list.ClearDevices();
    EXPECT_EQ(list.Count(), 0);
}

TEST_F(DeviceListTest, ExpiryDropsOnlyTheRowsThatRanOut)
{
    list.AddOrUpdateDevice(Cam("a", "10.0.0.1"));
    list.AddOrUpdateDevice(Cam("b", "10.0.0.2"));
    list.AddOrUpdateDevice(Cam("c", "10.0.0.3"));
    for (int t = 0; t < 5; ++t)
        list.ExpireTick();
    list.AddOrUpdateDevice(Cam("b", "10.0.0.2"));
    for (int t = 0; t < 5; ++t)
        list.ExpireTick();
    EXPECT_EQ(Macs(list), QStringList{"b"});
    EXPECT_EQ(list.FindItemByMac("a"), -1);
    EXPECT_EQ(list.FindItemByMac("b"), 0);
}

TEST_F(DeviceListTest, SortsByAddressNumerically)
{
    list.AddOrUpdateDevice(Cam("a", "192.168.1.10"));
    list.AddOrUpdateDevice(Cam("b", "192.168.1.9"));
    list.AddOrUpdateDevice(Cam("c", "192.168.1.100"));
    list.AddOrUpdateDevice(Cam("d", "10.0.0.1"));
    EXPECT_EQ(list.SortColumn(), 2);
    EXPECT_TRUE(list.SortAscending());
    EXPECT_EQ(Column(list, 2),
              (QStringList{"10.0.0.1", "192.168.1.9", "192.168.1.10", "192.168.1.100"}));
    list.ColumnClicked(2);
    EXPECT_FALSE(list.SortAscending());
    EXPECT_EQ(Column(list, 2),
              (QStringList{"192.168.1.100", "192.168.1.10", "192.168.1.9", "10.0.0.1"}));
    // New rows go where they belong in the current direction.
    list.AddOrUpdateDevice(Cam("e", "192.168.1.50"));
    EXPECT_EQ(Column(list, 2), (QStringList{"192.168.1.100", "192.168.1.50", "192.168.1.10",
                                            "192.168.1.9", "10.0.0.1"}));
}

// Found by fuzzing: a row's sort key replaced by a reply whose address text has more than four
// parts lost its old buffer every time (leak reports in the sanitizer run), while the order
// itself was right.
TEST_F(DeviceListTest, AddressesOfManyPartsSortAndRefreshLikeOthers)
{
    const struct {
        const char* mac;
        const char* ip;
    } replies[] = {
        {"a", "1.2.3.4.5.6"}, {"b", "1.2.3.4.5.7"}, {"a", "1.2.3.4.5.8"},
        {"b", "1.2.3.4.5.1"}, {"c", "9.9.9.9.9.9.9.9.9"}, {"a", "1.2.3.4.5.9"},
    };
    for (int round = 0; round < 3; ++round) {
        for (const auto& r : replies)
            list.AddOrUpdateDevice(Cam(r.mac, r.ip, QStringLiteral("cam%1").arg(round)));
    }
    EXPECT_EQ(Column(list, 2), (QStringList{"1.2.3.4.5.1", "1.2.3.4.5.9", "9.9.9.9.9.9.9.9.9"}));
}

TEST_F(DeviceListTest, HeaderClicks)
{
    list.AddOrUpdateDevice(Cam("1", "10.0.0.3", "bravo", 5));
    list.AddOrUpdateDevice(Cam("2", "10.0.0.1", "Alpha", 8));
    list.AddOrUpdateDevice(Cam("3", "10.0.0.2", "charlie", 2));

    list.ColumnClicked(1);  // another column: ascending
    EXPECT_EQ(list.SortColumn(), 1);
    EXPECT_TRUE(list.SortAscending());
    EXPECT_EQ(Column(list, 1), (QStringList{"Alpha", "bravo", "charlie"}));
    list.ColumnClicked(1);  // same column: flips
    EXPECT_EQ(Column(list, 1), (QStringList{"charlie", "bravo", "Alpha"}));
    list.ColumnClicked(0);
    EXPECT_TRUE(list.SortAscending());
    EXPECT_EQ(Column(list, 0), (QStringList{"E", "F", "H"}));
    list.ColumnClicked(1);
    EXPECT_TRUE(list.SortAscending()) << "coming back to a column starts ascending again";
    EXPECT_EQ(Column(list, 1), (QStringList{"Alpha", "bravo", "charlie"}));
}

TEST_F(DeviceListTest, EqualRowsKeepTheirOrderInBothDirections)
{
    list.ColumnClicked(0);  // by series letter
    for (const char* mac : {"m1", "m2", "m3"})
        list.AddOrUpdateDevice(Cam(mac, "10.0.0.1", "x", 5));
    list.AddOrUpdateDevice(Cam("f", "10.0.0.1", "x", 2));
    EXPECT_EQ(Macs(list), (QStringList{"m1", "m2", "m3", "f"}));
    list.ColumnClicked(0);
    EXPECT_EQ(Macs(list), (QStringList{"f", "m1", "m2", "m3"}));
    // A changed row among equals stays where it was.
    TDevInfo m2 = Cam("m2", "10.0.0.1", "renamed", 5);
    list.AddOrUpdateDevice(m2);
    EXPECT_EQ(Macs(list), (QStringList{"f", "m1", "m2", "m3"}));
}

// The incremental placement of new and changed rows must leave the list exactly as a stable
// re-sort after every step would.
TEST_F(DeviceListTest, IncrementalOrderMatchesAFullStableSort)
{
    QRandomGenerator rng(1234);
    std::vector<TDevInfo> model;  // in list order
    for (int column : {2, 1, 0, 2}) {
        list.SetSort(column, rng.bounded(2) == 0);
        auto cmp = [&](const TDevInfo& a, const TDevInfo& b) {
            int c = 0;
            if (column == 2)
                c = CompareIp(a.IP, b.IP);
            else if (column == 1)
                c = QString::compare(a.Name, b.Name, Qt::CaseInsensitive);
            else
                c = QString::compare(families->SeriesLetter(a.Family),
                                     families->SeriesLetter(b.Family), Qt::CaseInsensitive);
            return (list.SortAscending() ? c : -c) < 0;
        };
        model.clear();
        for (int i = 0; i < list.Count(); ++i)
            model.push_back(*list.RecordAt(i));
        std::stable_sort(model.begin(), model.end(), cmp);
        for (int step = 0; step < 400; ++step) {
            const int k = int(rng.bounded(60));
            TDevInfo r = Cam(QString("mac%1").arg(k),
                             QString("10.0.%1.%2").arg(rng.bounded(3)).arg(rng.bounded(12)),
                             QString("Cam%1").arg(rng.bounded(8)), rng.bounded(2) ? 5 : 2);
            if (rng.bounded(4) == 0)
                r.Name = r.Name.toLower();
            auto it = std::find_if(model.begin(), model.end(),
                                   [&](const TDevInfo& m) { return m.Mac == r.Mac; });
            if (it == model.end()) {
                model.push_back(r);
            } else {
                *it = r;
            }
            std::stable_sort(model.begin(), model.end(), cmp);
            list.AddOrUpdateDevice(r);
            QStringList expected;
            for (const TDevInfo& m : model)
                expected << m.Mac;
            ASSERT_EQ(Macs(list), expected) << "column " << column << " step " << step;
        }
    }
}

TEST_F(DeviceListTest, Lookups)
{
    list.AddOrUpdateDevice(Cam("a", "10.0.0.2"));
    list.AddOrUpdateDevice(Cam("b", "10.0.0.2"));
    list.AddOrUpdateDevice(Cam("c", "10.0.0.1"));
    EXPECT_EQ(list.FindItemByIP("10.0.0.2"), 1);  // the first in list order
    EXPECT_EQ(list.RecordAt(1)->Mac, "a");
    EXPECT_EQ(list.FindItemByIP("10.0.0.3"), -1);
    EXPECT_EQ(list.FindItemByRecord(list.RecordAt(2)), 2);
    TDevInfo copy = *list.RecordAt(2);
    EXPECT_EQ(list.FindItemByRecord(&copy), -1);
    EXPECT_EQ(list.data(list.index(0, 0), TDeviceList::PortTextRole).toString(), "80");

    TCurrentCamera cur;
    cur.CurDevMac = "b";
    cur.CurDevIP = "10.0.0.1";
    EXPECT_EQ(cur.Find(list), list.FindRecordByMac("b"));
    cur.CurDevMac = "gone";
    EXPECT_EQ(cur.Find(list), list.FindRecordByMac("c"));
    cur.CurDevIP = "10.9.9.9";
    EXPECT_EQ(cur.Find(list), nullptr);
}

TEST_F(DeviceListTest, DeleteAndClearUpdateTheCount)
{
    QSignalSpy count(&list, &TDeviceList::deviceCountChanged);
    list.AddOrUpdateDevice(Cam("a", "10.0.0.1"));
    list.AddOrUpdateDevice(Cam("b", "10.0.0.2"));
    ASSERT_EQ(count.count(), 2);
    EXPECT_EQ(count.last().at(0).toInt(), 2);
    list.DeleteItem(0);
    EXPECT_EQ(Macs(list), QStringList{"b"});
    EXPECT_EQ(list.FindItemByMac("a"), -1);
    EXPECT_EQ(count.last().at(0).toInt(), 1);
    EXPECT_TRUE(list.AddOrUpdateDevice(Cam("a", "10.0.0.1")));  // a fresh row again
    list.ClearDevices();
    EXPECT_EQ(count.last().at(0).toInt(), 0);
    EXPECT_EQ(list.rowCount(), 0);
}

TEST_F(DeviceListTest, ExportWritesOneLinePerRowInListOrder)
{
    TDevInfo a = Cam("00-1a-2b 3c", "192.168.1.10", "Gate", 2);
    TDevInfo b = Cam("00:1a:2b:3c:4d:5e", "192.168.1.9", "Yard", 9);
    list.AddOrUpdateDevice(a);
    list.AddOrUpdateDevice(b);
    EXPECT_EQ(list.ExportText(), QByteArray("1\tT\tYard\t192.168.1.9\t00:1A:2B:3C:4D:5E\r\n"
                                            "2\tF\tGate\t192.168.1.10\t001A2B03C\r\n"));
    list.ColumnClicked(2);
    EXPECT_TRUE(list.ExportText().startsWith("1\tF\tGate\t"));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath("ipcam.txt");
    ASSERT_TRUE(list.ExportToFile(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), list.ExportText());

    QString error;
    EXPECT_FALSE(list.ExportToFile(dir.filePath("missing/folder/ipcam.txt"), &error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(DeviceListTest, HeaderTextsComeFromTheWindow)
{
    EXPECT_EQ(list.headerData(2, Qt::Horizontal).toString(), "") << "the list makes no texts of its own";
    QSignalSpy spy(&list, &QAbstractItemModel::headerDataChanged);
    list.SetHeaderTexts({"Serie", "Nazwa", "Adres IP"});
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(list.headerData(0, Qt::Horizontal).toString(), "Serie");
    EXPECT_EQ(list.headerData(2, Qt::Horizontal).toString(), "Adres IP");
    EXPECT_EQ(list.columnCount(), 3);
}
