#include "OnvifXml.h"

#include <QStringList>
#include <QXmlStreamReader>

namespace Onvif {

namespace {

// A QName is short and has no blanks; longer texts are ordinary values.
constexpr qsizetype kMaxQNameLength = 256;

const QString kXmlNamespace = QStringLiteral("http://www.w3.org/XML/1998/namespace");

struct TScope {
    TXmlElement* element;
    QXmlStreamNamespaceDeclarations declarations;
};

// The namespace bound to prefix at the innermost open element; false when none is.
bool Lookup(const std::vector<TScope>& scopes, const QString& prefix, QString& uri) {
    for (auto it = scopes.rbegin(); it != scopes.rend(); ++it) {
        for (const QXmlStreamNamespaceDeclaration& d : it->declarations) {
            if (d.prefix() == prefix) {
                uri = d.namespaceUri().toString();
                return true;
            }
        }
    }
    if (prefix == QLatin1String("xml")) {
        uri = kXmlNamespace;
        return true;
    }
    return false;
}

void ResolveQName(const std::vector<TScope>& scopes, TXmlElement& e) {
    if (e.text.isEmpty() || e.text.size() > kMaxQNameLength)
        return;
    for (const QChar c : e.text) {
        if (c.isSpace())
            return;
    }
    const qsizetype colon = e.text.indexOf(QLatin1Char(':'));
    if (colon == 0 || colon == e.text.size() - 1 || e.text.indexOf(QLatin1Char(':'), colon + 1) >= 0)
        return;
    const QString prefix = colon < 0 ? QString() : e.text.left(colon);
    const QString local = colon < 0 ? e.text : e.text.mid(colon + 1);
    QString uri;
    if (!Lookup(scopes, prefix, uri)) {
        if (!prefix.isEmpty())
            return;  // an undeclared prefix: not a QName we can read
        e.valueName = local;  // no default namespace: a name in no namespace
        return;
    }
    e.valueNs = uri;
    e.valueName = local;
}

bool Fail(QString* error, const QString& why) {
    if (error)
        *error = why;
    return false;
}

}  // namespace

const TXmlElement* TXmlElement::Child(const QString& childNs, const QString& childName) const {
    for (const TXmlElement& c : children) {
        if (c.name == childName && c.ns == childNs)
            return &c;
    }
    return nullptr;
}

const TXmlElement* TXmlElement::ChildIn(const QStringList& namespaces,
                                        const QString& childName) const {
    for (const TXmlElement& c : children) {
        if (c.name == childName && namespaces.contains(c.ns))
            return &c;
    }
    return nullptr;
}

std::vector<const TXmlElement*> TXmlElement::Children(const QString& childNs,
                                                      const QString& childName) const {
    std::vector<const TXmlElement*> out;
    for (const TXmlElement& c : children) {
        if (c.name == childName && c.ns == childNs)
            out.push_back(&c);
    }
    return out;
}

QString TXmlElement::ChildText(const QString& childNs, const QString& childName) const {
    const TXmlElement* c = Child(childNs, childName);
    return c ? c->text : QString();
}

QString TXmlElement::Attribute(const QString& attrNs, const QString& attrName) const {
    for (const TAttribute& a : attributes) {
        if (a.name == attrName && a.ns == attrNs)
            return a.value;
    }
    return QString();
}

bool ReadXml(const QByteArray& bytes, TXmlElement& root, QString* error,
             const TXmlLimits& limits) {
    root = TXmlElement();
    if (bytes.size() > limits.maxBytes)
        return Fail(error, QStringLiteral("message too large"));

    QXmlStreamReader reader(bytes);
    std::vector<TScope> open;
    int elements = 0;
    bool haveRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
        case QXmlStreamReader::EntityReference:
            return Fail(error, QStringLiteral("document type declarations are not accepted"));
        case QXmlStreamReader::StartElement: {
            if (++elements > limits.maxElements)
                return Fail(error, QStringLiteral("too many elements"));
            if (int(open.size()) >= limits.maxDepth)
                return Fail(error, QStringLiteral("elements nested too deeply"));
            TXmlElement* e = nullptr;
            if (open.empty()) {
                if (haveRoot)
                    return Fail(error, QStringLiteral("more than one document element"));
                haveRoot = true;
                e = &root;
            } else {
                // Only the innermost open element grows, so the pointers on the stack stay valid.
                open.back().element->children.emplace_back();
                e = &open.back().element->children.back();
            }
            e->ns = reader.namespaceUri().toString();
            e->name = reader.name().toString();
            for (const QXmlStreamAttribute& a : reader.attributes())
                e->attributes.push_back({a.namespaceUri().toString(), a.name().toString(),
                                         a.value().toString()});
            open.push_back({e, reader.namespaceDeclarations()});
            break;
        }
        case QXmlStreamReader::Characters:
            if (!open.empty())
                open.back().element->text += reader.text();
            break;
        case QXmlStreamReader::EndElement: {
            if (open.empty())
                return Fail(error, QStringLiteral("unbalanced end tag"));
            TXmlElement& e = *open.back().element;
            e.text = e.text.trimmed();
            ResolveQName(open, e);
            open.pop_back();
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError())
        return Fail(error, reader.errorString());
    if (!haveRoot || !open.empty())
        return Fail(error, QStringLiteral("incomplete document"));
    return true;
}

bool XsdBoolean(const QString& text, bool* ok) {
    const QString t = text.trimmed();
    const bool isTrue = t == QLatin1String("true") || t == QLatin1String("1");
    const bool isFalse = t == QLatin1String("false") || t == QLatin1String("0");
    if (ok)
        *ok = isTrue || isFalse;
    return isTrue;
}

}  // namespace Onvif
