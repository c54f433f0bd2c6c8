#pragma once
// The search engine as a family sees it, without sockets: what the families send is recorded,
// what they find is collected, and replies are parsed against a list the test fills.

#include "CameraFamily.h"
#include "DeviceList.h"
#include "TestFamilies.h"

#include <QObject>
#include <vector>

class TFakeSearchSink final : public ISearchSink {
public:
    struct TSent {
        int socket;
        QByteArray bytes;
        quint16 port;
        quint32 adapter = 0;  // 0: every adapter
    };

    explicit TFakeSearchSink(const TDeviceList* list = nullptr) : list_(list) {}

    bool SendBroadcast(int socketNumber, const QByteArray& bytes, quint16 port) override
    {
        return SendBroadcastOn(0, socketNumber, bytes, port);
    }
    bool SendBroadcastOn(quint32 adapter, int socketNumber, const QByteArray& bytes,
                         quint16 port) override
    {
        sent.push_back({socketNumber, bytes, port, adapter});
        return sendsSucceed;
    }
    std::vector<quint32> SearchAdapterIndexes() const override { return adapters; }
    void DeliverRecord(const TDevInfo& rec) override { delivered.push_back(rec); }
    const TDeviceList& Devices() const override { return list_ ? *list_ : empty_; }
    QObject* SearchOwner() override { return &owner_; }

    std::vector<TSent> sent;
    std::vector<TDevInfo> delivered;
    bool sendsSucceed = true;
    std::vector<quint32> adapters;  // what SearchAdapterIndexes tells the families

private:
    const TDeviceList* list_;
    TDeviceList empty_;
    QObject owner_;
};

// One received datagram read the way the search engine reads it. list is where a family-8
// reply finds its camera (may be null); followUp receives the last datagram the families sent
// in answer (the family-8 exchange), or nothing.
inline bool ParseReply(const QByteArray& datagram, TDevInfo& rec, const TDeviceList* list,
                       QByteArray* followUp)
{
    TFakeSearchSink sink(list);
    const bool merge = testsupport::Families().ParseReply(datagram, rec, sink);
    if (followUp)
        *followUp = sink.sent.empty() ? QByteArray() : sink.sent.back().bytes;
    return merge;
}
