#pragma once
// A small element tree read with QXmlStreamReader, for the SOAP and WS-Discovery messages of
// ONVIF. Elements are found by namespace URI and local name, never by prefix. Every message
// comes from the network, so the reader refuses document type declarations (SOAP forbids them;
// they are the door to entity expansion) and bounds the depth and the number of elements.

#include <QByteArray>
#include <QString>
#include <vector>

namespace Onvif {

struct TXmlElement {
    QString ns;    // namespace URI
    QString name;  // local name
    // Character data directly inside the element, trimmed of blanks at both ends.
    QString text;
    // The text read as a QName (prefix:local or local) with the prefixes in scope at the
    // element; empty valueName when the text is not a QName or its prefix is not declared.
    QString valueNs;
    QString valueName;
    struct TAttribute {
        QString ns;
        QString name;
        QString value;
    };
    std::vector<TAttribute> attributes;
    std::vector<TXmlElement> children;

    // First child with this namespace and local name, or null.
    const TXmlElement* Child(const QString& ns, const QString& name) const;
    // First child with this local name in any of the namespaces, or null.
    const TXmlElement* ChildIn(const QStringList& namespaces, const QString& name) const;
    std::vector<const TXmlElement*> Children(const QString& ns, const QString& name) const;
    // The child's text, or empty when there is no such child.
    QString ChildText(const QString& ns, const QString& name) const;
    // Attribute value by namespace (empty: no namespace) and local name; empty when absent.
    QString Attribute(const QString& ns, const QString& name) const;
};

struct TXmlLimits {
    qsizetype maxBytes = 1 << 20;
    int maxDepth = 32;
    int maxElements = 20000;
};

// Reads a whole document into root (the document element). False, with a short reason in
// error, for anything that is not one well-formed, namespace-correct document within limits.
bool ReadXml(const QByteArray& bytes, TXmlElement& root, QString* error = nullptr,
             const TXmlLimits& limits = TXmlLimits());

// xsd:boolean: "true"/"1" and "false"/"0"; false for anything else, with ok cleared.
bool XsdBoolean(const QString& text, bool* ok = nullptr);

}  // namespace Onvif
