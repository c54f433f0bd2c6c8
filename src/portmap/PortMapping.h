#pragma once
// The port-mapping work of the router dialog, free of widgets: the wanted mappings and the
// router's table, the port-mapping XML exchanged with the plug-ins, conflicts, merge and the
// check of the plug-in's answer.

#include "PortMapTables.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// "有效" (valid): the status of every entry the dialog adds.
QString PortMapValidStatus();

// The port-mapping XML as read: the root's attributes and, per child element of the root, the
// texts of its child elements. A field element that holds elements itself has no text.
struct TPortMapXml {
    QString rootName;
    QHash<QString, QString> rootAttributes;
    struct Entry {
        QHash<QString, QString> fields;  // first occurrence of each element name
        QList<QString> nested;           // names of field elements that hold elements
    };
    QList<Entry> entries;

    // Decodes bytes by the encoding the XML declaration names (GB2312 when it names none
    // that is known) and parses them. False for text that is not well-formed XML, that holds
    // a document type declaration, or that is larger than kMaxBytes.
    static bool Parse(const QByteArray& bytes, TPortMapXml& out);
    static constexpr qsizetype kMaxBytes = 1024 * 1024;
};

// The text of bytes whose XML declaration names their encoding.
QString DecodeXmlBytes(const QByteArray& bytes);

class TPortMapping {
public:
    TPortMapTable dsNeed;
    TPortMapTable dsRouter;
    int MaxCount = 0;
    bool DualPort = false;

    // Appends a wanted mapping (camera address, port, protocol) with isUpdate 1. The address is
    // trimmed; a port text that is no number from 1 to 65535 adds nothing and gives false, and
    // so does a mapping that is already wanted (same address, port and protocol).
    bool AddMapping(const QString& cameraAddress, const QString& portText, const QString& protocol);

    // Replaces the shown records of dsRouter by the entries of text. False on text that is not
    // XML, a missing attribute or entry, or a number field that is not a number (ports must be
    // 0 to 65535); the records appended before the failure stay.
    bool ParseRouterXml(const QByteArray& text);
    // Marks wanted mappings that the router has already (isUpdate 0) or that take a public port
    // the router forwards to another address (isUse); true when there is such a conflict.
    bool FindConflicts();
    // Hides (isUpdate 3) the router entries that conflict with wanted mappings.
    void ReplaceConflicts();
    // Appends to dsRouter every wanted mapping that neither conflicts nor exists already.
    void MergeNeeded();
    // The port-mapping XML of dsRouter's shown records, encoded in GB2312; empty when dsRouter
    // shows no record.
    QByteArray BuildRouterXml() const;
    // True when the returned table holds every active entry of the sent one, in the order
    // described in PortMapping.cpp.
    static bool VerifyResult(const QByteArray& sent, const QByteArray& returned);

private:
    TPortMapRecord* FindRouterEntry(const TPortMapRecord& wanted);
};
