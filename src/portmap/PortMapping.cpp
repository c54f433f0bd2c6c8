#include "PortMapping.h"

#include <QRegularExpression>
#include <QStringDecoder>
#include <QTextCodec>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace {

const QString kRoot = QStringLiteral("PortForwards");
const QString kEntry = QStringLiteral("PortForward");

QTextCodec* Gb2312() {
    // GB18030 decodes every GB2312 and GBK text; for writing, GB2312 is what the plug-ins expect.
    static QTextCodec* c = QTextCodec::codecForName("GB2312");
    return c ? c : QTextCodec::codecForName("GB18030");
}

QTextCodec* GbDecoder() {
    static QTextCodec* c = QTextCodec::codecForName("GB18030");
    return c;
}

// Characters that XML 1.0 cannot carry are dropped before writing, so that a strange name from
// a router or an edit field never makes the document ill-formed.
QString XmlSafe(const QString& s) {
    QString out;
    out.reserve(s.size());
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            out.append(c);
            out.append(s[++i]);
            continue;
        }
        if (c.isSurrogate() || u == 0xFFFE || u == 0xFFFF)
            continue;
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r')
            continue;
        out.append(c);
    }
    return out;
}

bool ToInt(const QString& text, int& value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok, 10);
    if (ok)
        value = v;
    return ok;
}

bool ToPort(const QString& text, int& value) {
    int v = 0;
    if (!ToInt(text, v) || v < 0 || v > 65535)
        return false;
    value = v;
    return true;
}

QString WithoutBlanks(QString s) { return s.remove(QLatin1Char(' ')); }

// Upper case for the letters a to z only; other letters stay as they are.
QString AsciiUpper(QString s) {
    for (QChar& c : s)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return s;
}

// Field text of an entry; false when the field holds elements (no text to take).
bool Field(const TPortMapXml::Entry& e, const QString& name, QString& text) {
    if (e.nested.contains(name))
        return false;
    text = e.fields.value(name);
    return true;
}

bool EntryCount(const TPortMapXml& xml, int& n) {
    const auto it = xml.rootAttributes.constFind(QStringLiteral("Count"));
    if (it == xml.rootAttributes.constEnd() || !ToInt(*it, n) || n < 0)
        return false;
    return n <= xml.entries.size();
}

bool IsInactive(const QString& isUpdateText) {
    const QString t = isUpdateText.trimmed();
    return t == QLatin1String("3") || t == QLatin1String("4");
}

// The verification key of an entry: IP/PubPort/PriPort/Protocol/Status, upper case, no blanks.
bool EntryKey(const TPortMapXml::Entry& e, QString& key) {
    QString ip, pub, pri, protocol, status;
    if (!Field(e, QStringLiteral("IP"), ip) || !Field(e, QStringLiteral("PubPort"), pub) ||
        !Field(e, QStringLiteral("PriPort"), pri) || !Field(e, QStringLiteral("Protocol"), protocol) ||
        !Field(e, QStringLiteral("Status"), status))
        return false;
    const QChar slash = QLatin1Char('/');
    key = WithoutBlanks(AsciiUpper(ip + slash + pub + slash + pri + slash + protocol + slash + status));
    return true;
}

}  // namespace

QString PortMapValidStatus() { return QStringLiteral("\u6709\u6548"); }

QString DecodeXmlBytes(const QByteArray& bytes) {
    QByteArray data = bytes;
    if (data.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(data.mid(3));
    static const QRegularExpression decl(
        QStringLiteral("^\\s*<\\?xml[^>]*?encoding\\s*=\\s*[\"']([A-Za-z0-9._:-]{1,40})[\"']"));
    const QRegularExpressionMatch m = decl.match(QString::fromLatin1(data.left(256)));
    const QByteArray name = m.hasMatch() ? m.captured(1).toLatin1().toUpper() : QByteArray();
    if (name == "UTF-8" || name == "UTF8")
        return QString::fromUtf8(data);
    if (name.isEmpty()) {
        // No declared encoding: UTF-8 as XML says, unless the bytes are not UTF-8 at all.
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::Stateless);
        const QString text = utf8.decode(data);
        if (!utf8.hasError())
            return text;
        return GbDecoder()->toUnicode(data);
    }
    if (name.startsWith("GB") || name == "CP936" || name == "X-GBK" || name == "WINDOWS-936")
        return GbDecoder()->toUnicode(data);
    if (QTextCodec* c = QTextCodec::codecForName(name))
        return c->toUnicode(data);
    return GbDecoder()->toUnicode(data);
}

bool TPortMapXml::Parse(const QByteArray& bytes, TPortMapXml& out) {
    out = TPortMapXml();
    if (bytes.size() > kMaxBytes)
        return false;
    QXmlStreamReader reader(DecodeXmlBytes(bytes));
    // depth 1 = root, 2 = entry, 3 = field, deeper = inside a field
    int depth = 0;
    bool sawRoot = false;
    Entry* entry = nullptr;
    QString fieldName, fieldText;
    bool fieldNested = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Entity declarations are no part of the format; refusing them keeps expansion out.
            return false;
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                if (sawRoot)
                    return false;
                sawRoot = true;
                out.rootName = reader.name().toString();
                for (const QXmlStreamAttribute& a : reader.attributes())
                    out.rootAttributes.insert(a.name().toString(), a.value().toString());
            } else if (depth == 2) {
                out.entries.append(Entry());
                entry = &out.entries.last();
            } else if (depth == 3) {
                fieldName = reader.name().toString();
                fieldText.clear();
                fieldNested = false;
            } else {
                fieldNested = true;
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 3 && entry) {
                if (fieldNested) {
                    if (!entry->nested.contains(fieldName) && !entry->fields.contains(fieldName))
                        entry->nested.append(fieldName);
                } else if (!entry->fields.contains(fieldName) && !entry->nested.contains(fieldName)) {
                    entry->fields.insert(fieldName, fieldText);
                }
            }
            if (depth == 2)
                entry = nullptr;
            --depth;
            break;
        case QXmlStreamReader::Characters:
            if (depth == 3)
                fieldText += reader.text();
            break;
        default:
            break;
        }
    }
    return !reader.hasError() && sawRoot;
}

bool TPortMapping::AddMapping(const QString& cameraAddress, const QString& portText,
                              const QString& protocol) {
    int port = 0;
    if (!ToPort(portText, port) || port == 0)
        return false;
    const QString ip = cameraAddress.trimmed();
    for (const TPortMapRecord* w : dsNeed.Shown())
        if (w->IP == ip && w->PPort == port && w->Protocol == protocol)
            return false;
    TPortMapRecord r;
    r.name = ip;
    r.IP = ip;
    r.PPort = r.PrPort = r.PPort2 = r.PrPort2 = port;
    r.Protocol = protocol;
    r.Status = PortMapValidStatus();
    r.isUpdate = PortMapUpdate::Add;
    dsNeed.Append(r);
    return true;
}

bool TPortMapping::ParseRouterXml(const QByteArray& text) {
    dsRouter.DeleteShown();
    TPortMapXml xml;
    if (!TPortMapXml::Parse(text, xml))
        return false;
    int n = 0, maxCount = 0;
    const auto countIt = xml.rootAttributes.constFind(QStringLiteral("Count"));
    const auto maxIt = xml.rootAttributes.constFind(QStringLiteral("MaxCount"));
    if (countIt == xml.rootAttributes.constEnd() || !ToInt(*countIt, n) || n < 0)
        return false;
    if (maxIt == xml.rootAttributes.constEnd() || !ToInt(*maxIt, maxCount))
        return false;
    MaxCount = maxCount;
    for (int i = 0; i < n; ++i) {
        if (i >= xml.entries.size())
            return false;  // Count promises more entries than there are
        const TPortMapXml::Entry& e = xml.entries[i];
        QString name, ip, pub, pri, pub2, pri2, protocol, orderId, status, isUpdate;
        if (!Field(e, QStringLiteral("Name"), name) || !Field(e, QStringLiteral("IP"), ip) ||
            !Field(e, QStringLiteral("PubPort"), pub) || !Field(e, QStringLiteral("PriPort"), pri) ||
            !Field(e, QStringLiteral("PubPort2"), pub2) || !Field(e, QStringLiteral("PriPort2"), pri2) ||
            !Field(e, QStringLiteral("Protocol"), protocol) || !Field(e, QStringLiteral("OrderId"), orderId) ||
            !Field(e, QStringLiteral("Status"), status) || !Field(e, QStringLiteral("isUpdate"), isUpdate))
            return false;
        DualPort = !pub2.isEmpty();
        TPortMapRecord r;
        r.name = name;
        r.IP = ip.remove(QRegularExpression(QStringLiteral("\\s")));
        if (!ToPort(pub, r.PPort) || !ToPort(pri, r.PrPort))
            return false;
        r.Protocol = protocol;
        if (DualPort && (!ToPort(pub2, r.PPort2) || !ToPort(pri2, r.PrPort2)))
            return false;
        r.OrderId = orderId;
        r.Status = status;
        if (!ToInt(isUpdate, r.isUpdate))
            return false;
        dsRouter.Append(r);
    }
    return true;
}

TPortMapRecord* TPortMapping::FindRouterEntry(const TPortMapRecord& wanted) {
    // Only shown entries: a hidden one is already on its way out of the router's table.
    const QList<TPortMapRecord*> shown = dsRouter.Shown();
    for (TPortMapRecord* r : shown)
        if (r->PPort == wanted.PPort && r->Protocol == wanted.Protocol)
            return r;
    for (TPortMapRecord* r : shown)
        if (r->PPort == wanted.PPort && r->Protocol == QLatin1String("TCP+UDP"))
            return r;
    return nullptr;
}

bool TPortMapping::FindConflicts() {
    bool conflict = false;
    for (TPortMapRecord* w : dsNeed.Shown()) {
        // Every press of OK judges afresh against the router's table of that moment: a mapping
        // found on the router last time may be gone now.
        w->isUpdate = PortMapUpdate::Add;
        w->isUse = false;
        const TPortMapRecord* r = FindRouterEntry(*w);
        if (!r)
            continue;
        if (r->IP != w->IP) {
            w->isUse = true;
            conflict = true;
        } else {
            w->isUpdate = PortMapUpdate::Existing;
        }
    }
    return conflict;
}

void TPortMapping::ReplaceConflicts() {
    for (TPortMapRecord* w : dsNeed.Shown()) {
        if (!w->isUse)
            continue;
        if (TPortMapRecord* r = FindRouterEntry(*w); r && r->IP != w->IP)
            r->isUpdate = PortMapUpdate::Drop;
        w->isUse = false;
    }
}

void TPortMapping::MergeNeeded() {
    // Copies first: appending to dsRouter never touches dsNeed, but keep the walk simple.
    for (const TPortMapRecord* w : dsNeed.Shown()) {
        if (w->isUse || w->isUpdate == PortMapUpdate::Existing)
            continue;
        TPortMapRecord r;
        r.IP = w->IP;
        r.PPort = w->PPort;
        r.PrPort = w->PrPort;
        r.Protocol = w->Protocol;
        if (DualPort) {
            r.PPort2 = w->PPort2;
            r.PrPort2 = w->PrPort2;
        }
        r.Status = PortMapValidStatus();
        r.isUpdate = w->isUpdate;
        r.name = w->IP + QLatin1Char(':') + QString::number(w->PPort);
        dsRouter.Append(r);
    }
}

QByteArray TPortMapping::BuildRouterXml() const {
    const QList<const TPortMapRecord*> shown = dsRouter.Shown();
    if (shown.isEmpty())
        return QByteArray();
    QString body;
    QXmlStreamWriter w(&body);
    w.setAutoFormatting(true);
    w.setAutoFormattingIndent(2);
    w.writeStartElement(kRoot);
    w.writeAttribute(QStringLiteral("Count"), QString::number(shown.size()));
    w.writeAttribute(QStringLiteral("MaxCount"), QString::number(MaxCount));
    for (const TPortMapRecord* r : shown) {
        w.writeStartElement(kEntry);
        w.writeTextElement(QStringLiteral("Name"), XmlSafe(r->name));
        w.writeTextElement(QStringLiteral("IP"), XmlSafe(r->IP));
        w.writeTextElement(QStringLiteral("PubPort"), QString::number(r->PPort));
        w.writeTextElement(QStringLiteral("PriPort"), QString::number(r->PrPort));
        if (DualPort) {
            w.writeTextElement(QStringLiteral("PubPort2"), QString::number(r->PPort2));
            w.writeTextElement(QStringLiteral("PriPort2"), QString::number(r->PrPort2));
        }
        w.writeTextElement(QStringLiteral("Protocol"), XmlSafe(r->Protocol));
        w.writeTextElement(QStringLiteral("Status"), XmlSafe(r->Status));
        w.writeTextElement(QStringLiteral("OrderId"), XmlSafe(r->OrderId));
        w.writeTextElement(QStringLiteral("isUpdate"), QString::number(r->isUpdate));
        w.writeEndElement();
    }
    w.writeEndElement();
    if (w.hasError())
        return QByteArray();
    // Lines end in CR LF, as every text file of the plug-ins' platform does.
    body = body.trimmed().replace(QLatin1Char('\n'), QLatin1String("\r\n")) + QLatin1String("\r\n");
    return QByteArrayLiteral("<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n") + Gb2312()->fromUnicode(body);
}

// The sent table's active entries make a list of pending keys. The returned table is walked in
// order; its first active entry that is not pending ends the walk. The mapping counts as set
// when at least one entry matched and nothing is left pending: so a further entry after the
// sent ones is accepted, one before them is not.
bool TPortMapping::VerifyResult(const QByteArray& sent, const QByteArray& returned) {
    QStringList pending;
    TPortMapXml s;
    if (TPortMapXml::Parse(sent, s)) {
        int n = 0;
        if (EntryCount(s, n)) {
            for (int i = 0; i < n; ++i) {
                QString isUpdate, key;
                if (!Field(s.entries[i], QStringLiteral("isUpdate"), isUpdate) || !EntryKey(s.entries[i], key))
                    break;
                if (!IsInactive(isUpdate))
                    pending.append(key);
            }
        }
    }
    TPortMapXml x;
    int n = 0;
    if (!TPortMapXml::Parse(returned, x) || !EntryCount(x, n))
        return false;
    bool matched = false;
    for (int i = 0; i < n; ++i) {
        QString isUpdate, key;
        if (!Field(x.entries[i], QStringLiteral("isUpdate"), isUpdate) || !EntryKey(x.entries[i], key))
            return false;
        if (IsInactive(isUpdate))
            continue;
        const qsizetype at = pending.indexOf(key);
        if (at < 0)
            break;
        pending.removeAt(at);
        matched = true;
    }
    return matched && pending.isEmpty();
}
