#include "DeviceList.h"

#include "FamilyRegistry.h"

#include <QFile>
#include <algorithm>

namespace {

// Bottom-up merge sort. Stable, and safe for any comparator: an address order is not
// transitive when texts with different numbers of parts are mixed, which the standard
// algorithms do not allow.
template <class T, class Less>
void StableMergeSort(std::vector<T>& v, Less less)
{
    const size_t n = v.size();
    if (n < 2)
        return;
    std::vector<T> buf(n);
    for (size_t width = 1; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n);
            const size_t hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, k = lo;
            while (i < mid && j < hi)
                buf[k++] = less(v[j], v[i]) ? v[j++] : v[i++];
            while (i < mid)
                buf[k++] = v[i++];
            while (j < hi)
                buf[k++] = v[j++];
        }
        v.swap(buf);
    }
}

QString ExportMac(const QString& mac)
{
    QString out = mac;
    out.remove(u'-');
    out.replace(u' ', u'0');
    return out.toUpper();
}

}  // namespace

TDeviceList::TDeviceList(const TFamilyRegistry* families, QObject* parent)
    : QAbstractTableModel(parent), families_(families), headers_(ColumnCount)
{
}

TDeviceList::~TDeviceList() = default;

void TDeviceList::SetHeaderTexts(const QStringList& captions)
{
    for (int i = 0; i < ColumnCount && i < captions.size(); ++i)
        headers_[i] = captions[i];
    emit headerDataChanged(Qt::Horizontal, 0, ColumnCount - 1);
}

bool TDeviceList::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    // The language file names the columns through the view (ListView.Columns<i>.Caption).
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= ColumnCount)
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(Qt::Horizontal, section, section);
    return true;
}

int TDeviceList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Count();
}

int TDeviceList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TDeviceList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Count())
        return QVariant();
    const Row& row = *rows_[size_t(index.row())];
    if (role == PortTextRole)
        return row.portText;
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (index.column()) {
    case ColSeries: return row.series;
    case ColName: return row.rec->Name;
    case ColIP: return row.rec->IP;
    default: return QVariant();
    }
}

QVariant TDeviceList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < ColumnCount)
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void TDeviceList::sort(int column, Qt::SortOrder order)
{
    SetSort(column, order == Qt::AscendingOrder);
}

const TFamilyTraits& TDeviceList::TraitsOf(qint32 family) const
{
    static const TFamilyTraits kUnknown;
    return families_ ? families_->Traits(family) : kUnknown;
}

void TDeviceList::RefreshRow(Row& row) const
{
    const TDevInfo& rec = *row.rec;
    const TFamilyTraits& traits = TraitsOf(rec.Family);
    row.series = traits.series;
    row.ages = traits.expires;
    row.portText = QString::number(rec.HttpPort);
    row.seriesKey = row.series.toCaseFolded();
    row.nameKey = rec.Name.toCaseFolded();
    row.ipKey = MakeIpSortKey(rec.IP);
}

int TDeviceList::Compare(const Row& a, const Row& b) const
{
    int c = 0;
    switch (sortColumn_) {
    case ColSeries: c = CompareFolded(a.seriesKey, b.seriesKey); break;
    case ColName: c = CompareFolded(a.nameKey, b.nameKey); break;
    default: c = CompareIpKeys(a.ipKey, b.ipKey); break;
    }
    return ascending_ ? c : -c;
}

int TDeviceList::IndexOf(const Row* row) const
{
    // The first row not sorting before it, then along the rows that sort equal.
    size_t lo = 0, hi = rows_.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (Compare(*rows_[mid], *row) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (size_t i = lo; i < rows_.size() && !(Compare(*row, *rows_[i]) < 0); ++i) {
        if (rows_[i] == row)
            return int(i);
    }
    const auto it = std::find(rows_.begin(), rows_.end(), row);
    return it == rows_.end() ? -1 : int(it - rows_.begin());
}

int TDeviceList::InsertPosition(const Row& row) const
{
    // After every row it does not sort before: where a stable sort puts an appended row.
    size_t lo = 0, hi = rows_.size();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (Compare(row, *rows_[mid]) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    return int(lo);
}

void TDeviceList::Reposition(int index)
{
    const int n = Count();
    const Row& row = *rows_[size_t(index)];
    // The other rows, in order, as if the changed one were taken out.
    auto other = [&](int j) -> const Row& { return *rows_[size_t(j < index ? j : j + 1)]; };
    int lo = 0, hi = n - 1;
    while (lo < hi) {  // first row not sorting before the changed one
        const int mid = lo + (hi - lo) / 2;
        if (Compare(other(mid), row) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    const int first = lo;
    lo = first;
    hi = n - 1;
    while (lo < hi) {  // first row sorting after it
        const int mid = lo + (hi - lo) / 2;
        if (Compare(row, other(mid)) < 0)
            hi = mid;
        else
            lo = mid + 1;
    }
    const int last = lo;
    // Among equal rows a stable re-sort keeps the changed row where it was.
    const int pos = std::clamp(index, first, std::max(first, last));
    if (pos != index) {
        beginMoveRows(QModelIndex(), index, index, QModelIndex(), pos > index ? pos + 1 : pos);
        auto it = rows_.begin();
        if (pos > index)
            std::rotate(it + index, it + index + 1, it + pos + 1);
        else
            std::rotate(it + pos, it + index, it + index + 1);
        endMoveRows();
    }
    emit dataChanged(this->index(pos, 0), this->index(pos, ColumnCount - 1));
}

void TDeviceList::ResortAll()
{
    if (rows_.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<Row*> order = rows_;
    const std::vector<Row*> before = rows_;
    StableMergeSort(order, [this](const Row* a, const Row* b) { return Compare(*a, *b) < 0; });

    QHash<const Row*, int> newIndex;
    newIndex.reserve(qsizetype(order.size()));
    for (size_t i = 0; i < order.size(); ++i)
        newIndex.insert(order[i], int(i));
    rows_.swap(order);

    const QModelIndexList persistent = persistentIndexList();
    for (const QModelIndex& idx : persistent) {
        const int to = newIndex.value(before[size_t(idx.row())]);
        changePersistentIndex(idx, index(to, idx.column()));
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

TDeviceList::TMerge TDeviceList::Merge(const TDevInfo& reply)
{
    if (reply.Family == kFamilyNone)
        return TMerge::kIgnored;

    if (Row* row = byMac_.value(reply.Mac)) {
        TDevInfo& rec = *row->rec;
        rec.TimeToLive = kTimeToLive;
        // The adapter of the last answer, without counting as a change: a camera heard on two
        // adapters of one segment is reachable through either, and one that was moved to
        // another network card is reached through the new one at once.
        const quint32 adapter = reply.Adapter != 0 ? reply.Adapter : rec.Adapter;
        rec.Adapter = adapter;
        const bool changed = rec.IP != reply.IP || rec.Name != reply.Name ||
                             rec.HttpPort != reply.HttpPort || rec.Family != reply.Family ||
                             rec.Mask != reply.Mask || rec.Gateway != reply.Gateway ||
                             rec.Dns1 != reply.Dns1 || rec.Dns2 != reply.Dns2 ||
                             rec.DataPort != reply.DataPort || rec.AddrMode != reply.AddrMode;
        if (changed) {
            const int at = IndexOf(row);  // by the keys it is sorted by now
            rec = reply;
            rec.TimeToLive = kTimeToLive;
            rec.Adapter = adapter;
            row->stamp = nextStamp_++;
            RefreshRow(*row);
            Reposition(at);
            emit detailsChanged();
            return TMerge::kChanged;
        }
        const bool ddnsDiffers = rec.DdnsUser != reply.DdnsUser ||
                                 rec.DdnsPwd != reply.DdnsPwd ||
                                 rec.DdnsServer != reply.DdnsServer;
        if (ddnsDiffers && !reply.DdnsUser.isEmpty()) {
            rec.DdnsUser = reply.DdnsUser;
            rec.DdnsPwd = reply.DdnsPwd;
            rec.DdnsServer = reply.DdnsServer;
            row->stamp = nextStamp_++;
            emit ddnsChanged(rec.Mac);
            return TMerge::kDdns;
        }
        return TMerge::kRefreshed;
    }

    Row* row = NewRow(reply);
    const int pos = InsertPosition(*row);
    beginInsertRows(QModelIndex(), pos, pos);
    byMac_.insert(row->rec->Mac, row);
    rows_.insert(rows_.begin() + pos, row);
    endInsertRows();
    UpdateDeviceCount();
    return TMerge::kAdded;
}

TDeviceList::Row* TDeviceList::NewRow(const TDevInfo& reply)
{
    quint32 slot;
    if (freeSlots_.empty()) {
        slot = quint32(slots_.size());
        slots_.emplace_back();
    } else {
        slot = freeSlots_.back();
        freeSlots_.pop_back();
    }
    slots_[slot].row = std::make_unique<Row>();
    Row* row = slots_[slot].row.get();
    row->slot = slot;
    row->stamp = nextStamp_++;
    row->rec = std::make_unique<TDevInfo>(reply);
    row->rec->TimeToLive = TraitsOf(reply.Family).firstTimeToLive;
    RefreshRow(*row);
    return row;
}

TDeviceList::TRowRef TDeviceList::RefOf(const QString& mac) const
{
    const Row* row = byMac_.value(mac);
    if (!row)
        return TRowRef();
    return TRowRef{row->slot, slots_[row->slot].generation, row->stamp};
}

TDeviceList::Row* TDeviceList::RowOf(const TRowRef& ref) const
{
    if (ref.slot >= slots_.size())
        return nullptr;
    const Slot& s = slots_[ref.slot];
    return s.row && s.generation == ref.generation && s.row->stamp == ref.stamp ? s.row.get()
                                                                                : nullptr;
}

bool TDeviceList::Current(const TRowRef& ref) const
{
    return RowOf(ref) != nullptr;
}

bool TDeviceList::Refresh(const TRowRef& ref, quint32 adapter)
{
    Row* row = RowOf(ref);
    if (!row)
        return false;
    row->rec->TimeToLive = kTimeToLive;
    if (adapter != 0)
        row->rec->Adapter = adapter;
    return true;
}

void TDeviceList::Release(Row* row)
{
    byMac_.remove(row->rec->Mac);
    const quint32 slot = row->slot;
    Slot& s = slots_[slot];
    s.row.reset();
    ++s.generation;
    freeSlots_.push_back(slot);
}

void TDeviceList::ClearDevices()
{
    beginResetModel();
    std::vector<Row*> gone;
    gone.swap(rows_);
    for (Row* row : gone)
        Release(row);
    // A new search finds about as many cameras again: room for them at once.
    byMac_.clear();
    byMac_.reserve(qsizetype(gone.size()));
    rows_.reserve(gone.size());
    endResetModel();
    UpdateDeviceCount();
}

int TDeviceList::FindItemByMac(const QString& mac) const
{
    const Row* row = byMac_.value(mac);
    return row ? IndexOf(row) : -1;
}

TDevInfo* TDeviceList::FindRecordByMac(const QString& mac) const
{
    const Row* row = byMac_.value(mac);
    return row ? row->rec.get() : nullptr;
}

int TDeviceList::FindItemByIP(const QString& ip) const
{
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->rec->IP == ip)
            return int(i);
    }
    return -1;
}

int TDeviceList::FindItemByRecord(const TDevInfo* rec) const
{
    if (!rec)
        return -1;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i]->rec.get() == rec)
            return int(i);
    }
    return -1;
}

void TDeviceList::DeleteItem(int row)
{
    if (row < 0 || row >= Count())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    Row* gone = rows_[size_t(row)];
    rows_.erase(rows_.begin() + row);
    Release(gone);
    endRemoveRows();
    UpdateDeviceCount();
}

void TDeviceList::ExpireTick()
{
    // From the last row to the first; rows that go together leave as one block, so that a
    // LAN falling silent costs one removal, not one per camera.
    int i = Count() - 1;
    while (i >= 0) {
        Row& row = *rows_[size_t(i)];
        // Only a new search or a settings change removes the rows of a family that does not age.
        if (!row.ages || --row.rec->TimeToLive > 0) {
            --i;
            continue;
        }
        const int last = i;
        while (i > 0) {
            Row& before = *rows_[size_t(i - 1)];
            if (!before.ages || before.rec->TimeToLive > 1)
                break;
            --before.rec->TimeToLive;
            --i;
        }
        beginRemoveRows(QModelIndex(), i, last);
        const std::vector<Row*> gone(rows_.begin() + i, rows_.begin() + last + 1);
        rows_.erase(rows_.begin() + i, rows_.begin() + last + 1);
        for (Row* r : gone)
            Release(r);
        endRemoveRows();
        --i;
    }
    UpdateDeviceCount();
}

void TDeviceList::UpdateDeviceCount()
{
    emit deviceCountChanged(Count());
}

const TDevInfo* TDeviceList::RecordAt(int row) const
{
    return row >= 0 && row < Count() ? rows_[size_t(row)]->rec.get() : nullptr;
}

TDevInfo* TDeviceList::RecordAt(int row)
{
    return row >= 0 && row < Count() ? rows_[size_t(row)]->rec.get() : nullptr;
}

QString TDeviceList::SeriesAt(int row) const
{
    return row >= 0 && row < Count() ? rows_[size_t(row)]->series : QString();
}

QString TDeviceList::PortTextAt(int row) const
{
    return row >= 0 && row < Count() ? rows_[size_t(row)]->portText : QString();
}

void TDeviceList::ColumnClicked(int column)
{
    if (column == sortColumn_)
        SetSort(column, !ascending_);
    else
        SetSort(column, true);
}

void TDeviceList::SetSort(int column, bool ascending)
{
    if (column < 0 || column >= ColumnCount)
        return;
    sortColumn_ = column;
    ascending_ = ascending;
    ResortAll();
}

QString TDeviceList::ExportLine(int position, const QString& series, const TDevInfo& rec)
{
    return QString::number(position) + u'\t' + series + u'\t' + rec.Name + u'\t' + rec.IP +
           u'\t' + ExportMac(rec.Mac) + QStringLiteral("\r\n");
}

QByteArray TDeviceList::ExportText() const
{
    QString text;
    for (size_t i = 0; i < rows_.size(); ++i)
        text += ExportLine(int(i + 1), rows_[i]->series, *rows_[i]->rec);
    return text.toUtf8();
}

bool TDeviceList::ExportToFile(const QString& path, QString* error) const
{
    QFile file(path);
    const QByteArray bytes = ExportText();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}
