#pragma once
// The camera list: one row per camera, keyed by its MAC text, kept sorted, aged by the search
// tick. Shown by the advanced window's list view (three columns) and printed by ipcam-scan.
// Lives on the user-interface thread only. Series letters and the ageing rules come from the
// families; the column captions and the count label belong to the window that shows the list.

#include "DevInfo.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QStringList>
#include <memory>
#include <vector>

class TFamilyRegistry;
struct TFamilyTraits;

class TDeviceList : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColSeries = 0, ColName = 1, ColIP = 2, ColumnCount = 3 };
    // The hidden fourth text of a row: HttpPort in decimal.
    static constexpr int PortTextRole = Qt::UserRole;

    // Search ticks a known camera keeps after each answer.
    static constexpr qint32 kTimeToLive = 10;

    // families gives series letters and ageing rules; without it every row is of an unknown
    // family. It must outlive the list.
    explicit TDeviceList(const TFamilyRegistry* families = nullptr, QObject* parent = nullptr);
    ~TDeviceList() override;

    // Column captions are the window's (from the language file); empty until it sets them.
    void SetHeaderTexts(const QStringList& captions);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    // Sets the sort column and direction explicitly and re-sorts.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // What merging a reply did to the list.
    enum class TMerge {
        kIgnored,    // family -1
        kAdded,      // a new row
        kChanged,    // the row's values were replaced
        kDdns,       // only its DDNS values changed
        kRefreshed,  // nothing but its time to live (and adapter)
    };
    TMerge Merge(const TDevInfo& reply);
    // Merges one reply; true when a new row was added. A reply of family -1 is ignored.
    bool AddOrUpdateDevice(const TDevInfo& reply) { return Merge(reply) == TMerge::kAdded; }
    // A handle of a row that stays safe to use after the row is gone (it then finds nothing),
    // and the row's stamp, which changes whenever its values do (not its time to live or
    // adapter). The search engine keeps both with a reply it has seen, to know that the reply
    // would merge the same way again.
    struct TRowRef {
        quint32 slot = 0;
        quint32 generation = 0;  // 0: no row
        quint64 stamp = 0;
    };
    TRowRef RefOf(const QString& mac) const;
    // Whether ref's row is still there and unchanged.
    bool Current(const TRowRef& ref) const;
    // What merging a reply seen before does while its row is unchanged: the time to live is
    // renewed and the adapter taken (unless 0). False (nothing done) when the row is gone or
    // has changed since.
    bool Refresh(const TRowRef& ref, quint32 adapter);
    void ClearDevices();
    // Row index, or -1.
    int FindItemByMac(const QString& mac) const;
    int FindItemByIP(const QString& ip) const;
    int FindItemByRecord(const TDevInfo* rec) const;
    // The row's record, owned by the list; null when there is none. Use it at once: the next
    // reply or tick may replace or drop the row.
    TDevInfo* FindRecordByMac(const QString& mac) const;
    // Removes one row (after a settings change or an upgrade) and frees its record.
    void DeleteItem(int row);

    // Once per search tick, after the probes: every row of a family that ages loses one
    // tick; rows at 0 are dropped. Then UpdateDeviceCount.
    void ExpireTick();
    // Tells the window the number of rows (deviceCountChanged).
    void UpdateDeviceCount();

    int Count() const { return int(rows_.size()); }
    const TDevInfo* RecordAt(int row) const;
    TDevInfo* RecordAt(int row);
    QString SeriesAt(int row) const;
    QString PortTextAt(int row) const;

    // A click on a column header: the same column flips the direction, another one becomes
    // the sort column, ascending.
    void ColumnClicked(int column);
    void SetSort(int column, bool ascending);
    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    // The export file: one line per row in list order, CR LF, fields separated by TAB.
    QByteArray ExportText() const;
    // One line of it: position (from 1), series letter, name, address, MAC.
    static QString ExportLine(int position, const QString& series, const TDevInfo& rec);
    // False with the system's error text when the file cannot be written.
    bool ExportToFile(const QString& path, QString* error = nullptr) const;

signals:
    // From UpdateDeviceCount: the number of rows.
    void deviceCountChanged(int count);
    // A row's values were replaced by a reply: the detail panel should be refilled from the
    // selected row.
    void detailsChanged();
    // Only the DDNS values of the camera with this MAC changed (user, password, server); the
    // window rebuilds the outer address when it shows this camera.
    void ddnsChanged(const QString& mac);

private:
    struct Row {
        std::unique_ptr<TDevInfo> rec;
        quint32 slot = 0;
        quint64 stamp = 0;
        bool ages = true;  // the family's rows expire
        QString series;
        QString portText;
        // Sort keys, recomputed whenever the row's texts change.
        QString seriesKey;
        QString nameKey;
        TIpSortKey ipKey;
    };
    const TFamilyTraits& TraitsOf(qint32 family) const;
    void RefreshRow(Row& row) const;
    int Compare(const Row& a, const Row& b) const;
    // The row's index, found by its sort keys (as they are now) and, should the order of
    // mixed address forms defeat that, by a walk through the list.
    int IndexOf(const Row* row) const;
    Row* NewRow(const TDevInfo& reply);
    // Frees a row that has already left rows_ (its slot is given up).
    void Release(Row* row);
    Row* RowOf(const TRowRef& ref) const;
    // Position of a new row so that the list stays as a stable re-sort would leave it.
    int InsertPosition(const Row& row) const;
    // Puts the row at index back into order after its values changed.
    void Reposition(int index);
    void ResortAll();

    // List order. Plain pointers, so that an insertion moves them as one block of memory;
    // the rows are owned by their slots.
    std::vector<Row*> rows_;
    QHash<QString, Row*> byMac_;
    const TFamilyRegistry* families_;
    QStringList headers_;
    int sortColumn_ = ColIP;
    bool ascending_ = true;
    quint64 nextStamp_ = 1;
    // Row handles: a slot per row, its generation counted up when the row goes.
    struct Slot {
        std::unique_ptr<Row> row;
        quint32 generation = 1;
    };
    std::vector<Slot> slots_;
    std::vector<quint32> freeSlots_;
};
