#pragma once
// The outcomes of datagrams the search has read before. Most of what a large LAN sends each
// tick is the same bytes as the tick before; a datagram seen again (same bytes, same adapter)
// is not parsed again while the row it gave is unchanged: its row's time to live is renewed
// and whatever the family sent in answer goes out again (TFamilyTraits::repeatableReplies).
//
// The cache holds at most a few entries per row: a LAN of hostile senders cannot make it grow
// without bound.

#include "DeviceList.h"

#include <QByteArray>
#include <QHash>
#include <vector>

// A datagram and the adapter it came in on, hashed once (with the process's random seed, so
// that nobody outside can aim datagrams at one bucket).
struct TReplyKey {
    TReplyKey() = default;
    TReplyKey(quint32 adapter, QByteArray bytes);
    quint32 adapter = 0;
    QByteArray bytes;
    size_t hash = 0;
    bool operator==(const TReplyKey& o) const
    {
        return hash == o.hash && adapter == o.adapter && bytes == o.bytes;
    }
};
inline size_t qHash(const TReplyKey& key, size_t seed = 0)
{
    return key.hash ^ seed;
}

// A datagram a family sent while it read one.
struct TSentDatagram {
    quint32 adapter;
    int socket;
    QByteArray bytes;
    quint16 port;
};

struct TReplyOutcome {
    bool record = false;       // it gave the row of row; else it gave no record
    TDeviceList::TRowRef row;
    std::vector<TSentDatagram> sent;
};

class TReplyCache {
public:
    // Entries allowed per row of the list, and besides (datagrams that give no record).
    static constexpr qsizetype kPerRow = 4;
    static constexpr qsizetype kSpare = 1024;

    const TReplyOutcome* Find(const TReplyKey& key) const;
    void Forget(const TReplyKey& key) { entries_.remove(key); }
    // Keeps an outcome for the rows of list. When the cache is full, entries whose row has
    // changed or gone are dropped first, then all.
    void Keep(TReplyKey key, TReplyOutcome outcome, const TDeviceList& list)
    {
        if (entries_.size() >= kPerRow * list.Count() + kSpare) {
            entries_.removeIf([&](const auto& e) {
                return e.value().record && !list.Current(e.value().row);
            });
            if (entries_.size() >= kPerRow * list.Count() + kSpare)
                entries_.clear();
        }
        // A copy of its own: the datagram may sit in a buffer much larger than itself, or be a
        // view of bytes the caller frees (QByteArray::fromRawData).
        key.bytes = QByteArray(key.bytes.constData(), key.bytes.size());
        entries_.insert(std::move(key), std::move(outcome));
    }
    // Empty, with room for as many entries as before (a new search finds the same LAN).
    void Clear()
    {
        const qsizetype n = entries_.size();
        entries_.clear();
        entries_.reserve(n);
    }
    qsizetype Size() const { return entries_.size(); }
    // Bytes held by the cached datagrams and answers (without the table itself).
    qsizetype PayloadBytes() const;

private:
    QHash<TReplyKey, TReplyOutcome> entries_;
};
