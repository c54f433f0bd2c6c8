// A small namespace-aware XML tree for the ONVIF cameras' SOAP messages.
// Reading and writing go through Qt's XML stream classes (xml.cpp is the
// only file of lan-sim that uses Qt); everything else sees plain C++.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lansim::xml {

struct Node {
  std::string ns, name;  // namespace URI and local name
  std::string text;      // character data directly inside, blanks trimmed
  std::vector<std::pair<std::string, std::string>> attrs;  // local name (no namespace) and value
  std::vector<Node> kids;
  // The prefixes in scope at this element (read trees only), innermost first.
  std::vector<std::pair<std::string, std::string>> scope;

  const Node *child(std::string_view ns, std::string_view name) const;
  std::vector<const Node *> children(std::string_view ns, std::string_view name) const;
  const std::string *childText(std::string_view ns, std::string_view name) const;
  const std::string *attr(std::string_view name) const;
  // The namespace a prefix stands for here; nullptr when it is not declared.
  const std::string *resolve(std::string_view prefix) const;

  // Builders for answers.
  Node &add(std::string ns, std::string name, std::string text = {});
};

inline constexpr std::size_t kMaxDocument = 1 << 20;

// One whole document; false with a reason for anything malformed, with a
// document type declaration, deeper than 32 levels or with more than 20000
// elements.
bool parse(std::string_view doc, Node &root, std::string &why);

// The document with an XML declaration; prefixes maps namespace URIs to the
// prefixes declared on the root element.
std::string write(const Node &root, const std::vector<std::pair<std::string, std::string>> &prefixes);

}  // namespace lansim::xml
