#pragma once
// Port-mapping XML written by hand for the tests, so that what the code reads never comes from
// the code's own writer.

#include <QByteArray>
#include <QList>
#include <QString>

// "有效" in GB2312.
inline const QByteArray kValidGb = QByteArray("\xD3\xD0\xD0\xA7");

struct XmlRow {
    QByteArray name, ip, pub, pri, protocol, status, isUpdate, orderId;
    QByteArray pub2, pri2;  // written only when set
    XmlRow(QByteArray n, QByteArray i, QByteArray pu, QByteArray pr, QByteArray proto,
           QByteArray st = kValidGb, QByteArray upd = "0", QByteArray order = QByteArray())
        : name(n), ip(i), pub(pu), pri(pr), protocol(proto), status(st), isUpdate(upd), orderId(order) {}
};

inline QByteArray RouterXml(const QList<XmlRow>& rows, int maxCount = 32, int count = -1) {
    QByteArray x = "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<PortForwards Count=\"" +
                   QByteArray::number(count < 0 ? int(rows.size()) : count) + "\" MaxCount=\"" +
                   QByteArray::number(maxCount) + "\">\n";
    for (const XmlRow& r : rows) {
        x += "<PortForward><Name>" + r.name + "</Name><IP>" + r.ip + "</IP><PubPort>" + r.pub +
             "</PubPort><PriPort>" + r.pri + "</PriPort>";
        if (!r.pub2.isEmpty())
            x += "<PubPort2>" + r.pub2 + "</PubPort2><PriPort2>" + r.pri2 + "</PriPort2>";
        x += "<Protocol>" + r.protocol + "</Protocol><Status>" + r.status + "</Status>";
        if (!r.orderId.isEmpty())
            x += "<OrderId>" + r.orderId + "</OrderId>";
        x += "<isUpdate>" + r.isUpdate + "</isUpdate></PortForward>\n";
    }
    return x + "</PortForwards>\n";
}
