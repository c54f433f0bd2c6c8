#include "PortMapTables.h"

QString TPortMapTable::Cut(const QString& text, int width) {
    if (text.size() <= width)
        return text;
    qsizetype n = width;
    if (n > 0 && text[n - 1].isHighSurrogate())
        --n;
    return text.left(n);
}

TPortMapRecord& TPortMapTable::Append(TPortMapRecord r) {
    r.ID = nextId_++;
    r.name = Cut(r.name, TPortMapRecord::kNameWidth);
    r.IP = Cut(r.IP, TPortMapRecord::kIPWidth);
    r.Protocol = Cut(r.Protocol, TPortMapRecord::kProtocolWidth);
    r.Status = Cut(r.Status, TPortMapRecord::kStatusWidth);
    r.OrderId = Cut(r.OrderId, TPortMapRecord::kOrderIdWidth);
    rows_.append(std::move(r));
    return rows_.last();
}

void TPortMapTable::DeleteShown() {
    rows_.removeIf([](const TPortMapRecord& r) { return IsShown(r); });
}

void TPortMapTable::Clear() { rows_.clear(); }

int TPortMapTable::ShownCount() const {
    int n = 0;
    for (const TPortMapRecord& r : rows_)
        if (IsShown(r))
            ++n;
    return n;
}

QList<TPortMapRecord*> TPortMapTable::Shown() {
    QList<TPortMapRecord*> out;
    for (TPortMapRecord& r : rows_)
        if (IsShown(r))
            out.append(&r);
    return out;
}

QList<const TPortMapRecord*> TPortMapTable::Shown() const {
    QList<const TPortMapRecord*> out;
    for (const TPortMapRecord& r : rows_)
        if (IsShown(r))
            out.append(&r);
    return out;
}
