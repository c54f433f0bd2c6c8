#include "xml.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace lansim::xml {

namespace {

constexpr int kMaxDepth = 32;
constexpr int kMaxElements = 20000;

std::string str(QStringView s) { return s.toString().toStdString(); }

void trim(std::string &s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) {
    s.clear();
    return;
  }
  s.erase(s.find_last_not_of(" \t\r\n") + 1);
  s.erase(0, first);
}

void writeNode(QXmlStreamWriter &w, const Node &n) {
  w.writeStartElement(QString::fromStdString(n.ns), QString::fromStdString(n.name));
  for (const auto &[name, value] : n.attrs) w.writeAttribute(QString::fromStdString(name), QString::fromStdString(value));
  if (!n.text.empty()) w.writeCharacters(QString::fromStdString(n.text));
  for (const Node &k : n.kids) writeNode(w, k);
  w.writeEndElement();
}

}  // namespace

const Node *Node::child(std::string_view ns_, std::string_view name_) const {
  for (const Node &k : kids)
    if (k.name == name_ && k.ns == ns_) return &k;
  return nullptr;
}

std::vector<const Node *> Node::children(std::string_view ns_, std::string_view name_) const {
  std::vector<const Node *> out;
  for (const Node &k : kids)
    if (k.name == name_ && k.ns == ns_) out.push_back(&k);
  return out;
}

const std::string *Node::childText(std::string_view ns_, std::string_view name_) const {
  const Node *c = child(ns_, name_);
  return c ? &c->text : nullptr;
}

const std::string *Node::attr(std::string_view name_) const {
  for (const auto &[k, v] : attrs)
    if (k == name_) return &v;
  return nullptr;
}

const std::string *Node::resolve(std::string_view prefix) const {
  for (const auto &[p, uri] : scope)
    if (p == prefix) return &uri;
  return nullptr;
}

Node &Node::add(std::string ns_, std::string name_, std::string text_) {
  Node n;
  n.ns = std::move(ns_);
  n.name = std::move(name_);
  n.text = std::move(text_);
  kids.push_back(std::move(n));
  return kids.back();
}

bool parse(std::string_view doc, Node &root, std::string &why) {
  root = Node{};
  if (doc.size() > kMaxDocument) return why = "document too large", false;
  const QByteArray bytes(doc.data(), static_cast<qsizetype>(doc.size()));
  QXmlStreamReader r(bytes);
  std::vector<Node *> open;
  int elements = 0;
  bool haveRoot = false;
  while (!r.atEnd()) {
    switch (r.readNext()) {
      case QXmlStreamReader::DTD:
      case QXmlStreamReader::EntityReference:
        return why = "document type declaration", false;
      case QXmlStreamReader::StartElement: {
        if (++elements > kMaxElements) return why = "too many elements", false;
        if (static_cast<int>(open.size()) >= kMaxDepth) return why = "nested too deeply", false;
        Node *n;
        if (open.empty()) {
          if (haveRoot) return why = "two document elements", false;
          haveRoot = true;
          n = &root;
        } else {
          // Only the innermost open element grows: the pointers above stay valid.
          open.back()->kids.emplace_back();
          n = &open.back()->kids.back();
          n->scope = open.back()->scope;
        }
        const auto decls = r.namespaceDeclarations();
        for (auto it = decls.rbegin(); it != decls.rend(); ++it)
          n->scope.insert(n->scope.begin(), {str(it->prefix()), str(it->namespaceUri())});
        n->ns = str(r.namespaceUri());
        n->name = str(r.name());
        for (const QXmlStreamAttribute &a : r.attributes())
          if (a.namespaceUri().isEmpty()) n->attrs.emplace_back(str(a.name()), str(a.value()));
        open.push_back(n);
        break;
      }
      case QXmlStreamReader::Characters:
        if (!open.empty()) open.back()->text += r.text().toString().toStdString();
        break;
      case QXmlStreamReader::EndElement:
        if (open.empty()) return why = "unbalanced end tag", false;
        trim(open.back()->text);
        open.pop_back();
        break;
      default:
        break;
    }
  }
  if (r.hasError()) return why = r.errorString().toStdString(), false;
  if (!haveRoot || !open.empty()) return why = "incomplete document", false;
  return true;
}

std::string write(const Node &root, const std::vector<std::pair<std::string, std::string>> &prefixes) {
  QByteArray out;
  QXmlStreamWriter w(&out);
  w.writeStartDocument();
  for (const auto &[uri, prefix] : prefixes) w.writeNamespace(QString::fromStdString(uri), QString::fromStdString(prefix));
  writeNode(w, root);
  w.writeEndDocument();
  return out.toStdString();
}

}  // namespace lansim::xml
