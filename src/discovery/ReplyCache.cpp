#include "ReplyCache.h"

TReplyKey::TReplyKey(quint32 adapter_, QByteArray bytes_)
    : adapter(adapter_), bytes(std::move(bytes_)),
      hash(qHashMulti(QHashSeed::globalSeed(), adapter_, bytes))
{
}

const TReplyOutcome* TReplyCache::Find(const TReplyKey& key) const
{
    const auto it = entries_.constFind(key);
    return it == entries_.cend() ? nullptr : &it.value();
}

qsizetype TReplyCache::PayloadBytes() const
{
    qsizetype n = 0;
    for (auto it = entries_.cbegin(); it != entries_.cend(); ++it) {
        n += it.key().bytes.capacity();
        for (const TSentDatagram& d : it.value().sent)
            n += d.bytes.capacity();
    }
    return n;
}
