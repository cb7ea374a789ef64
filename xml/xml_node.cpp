// Reading a loaded tree: names, texts, attributes, children and paths.
#include <cstdint>
#include <string_view>

#include "xml/xml_document.h"

namespace {

// The number between the brackets, digits only; 1 without a closing bracket,
// without digits or for 0.
int64_t bracketIndex(std::u16string_view inside) {
  size_t close = inside.find(u']');
  if (close == std::u16string_view::npos) return 1;
  int64_t value = 0;
  for (char16_t unit : inside.substr(0, close)) {
    if (unit < u'0' || unit > u'9') continue;
    value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (unit - u'0');
  }
  return value == 0 ? 1 : value;
}

constexpr int kAnyKind = -1;

int tokenKind(std::u16string_view name) {
  if (name == u"*") return kAnyKind;
  if (name == u"#comment") return kXmlCommentNode;
  if (name == u"#cdata") return kXmlCdataNode;
  if (name == u"#dtd") return kXmlDoctypeNode;
  if (name == u"#instruction") return kXmlInstructionNode;
  return kXmlElementNode;
}

bool segmentMatches(const XmlNode* child, int kind, std::u16string_view name) {
  if (kind == kAnyKind) return true;
  if (child->kind != kind) return false;
  if (kind != kXmlElementNode) return true;
  return child->nameText && std::u16string_view(child->nameText) == name;
}

XmlNode* selectChild(const XmlNode* parent, std::u16string_view segment) {
  size_t open = segment.find(u'[');
  std::u16string_view name = segment.substr(0, open);
  if (name.empty()) return nullptr;
  int64_t index = open == std::u16string_view::npos ? 1 : bracketIndex(segment.substr(open + 1));
  int kind = tokenKind(name);
  int64_t seen = 0;
  for (XmlNode* child = parent->firstChild; child; child = child->nextSibling) {
    if (segmentMatches(child, kind, name) && ++seen == index) return child;
  }
  return nullptr;
}

Text textOrEmpty(const char16_t* text) {
  return text ? Text(text) : Text();
}

}  // namespace

Text XmlNode::name(const XmlNode* node) {
  return node ? textOrEmpty(node->nameText) : Text();
}

Text XmlNode::text(const XmlNode* node) {
  return node ? textOrEmpty(node->textText) : Text();
}

Text XmlNode::attribute(const XmlNode* node, const Text& name) {
  if (!node) return Text();
  for (int32_t i = 0; i < node->attributeCount; ++i) {
    const XmlAttribute& attribute = node->attributes[i];
    if (attribute.name && name == attribute.name) return textOrEmpty(attribute.value);
  }
  return Text();
}

const char16_t* XmlNode::attributeText(const XmlNode* node, std::u16string_view name) {
  if (!node) return nullptr;
  for (int32_t i = 0; i < node->attributeCount; ++i) {
    const XmlAttribute& attribute = node->attributes[i];
    if (attribute.name && name == attribute.name) return attribute.value ? attribute.value : u"";
  }
  return nullptr;
}

int64_t XmlNode::childCount(const XmlNode* node) {
  int64_t count = 0;
  for (XmlNode* child = node ? node->firstChild : nullptr; child; child = child->nextSibling)
    ++count;
  return count;
}

XmlNode* XmlNode::child(const XmlNode* node, int64_t n) {
  XmlNode* child = node ? node->firstChild : nullptr;
  for (int64_t i = 1; i < n && child; ++i) child = child->nextSibling;
  return child;
}

XmlNode* XmlNode::fromPath(const XmlNode* node, const Text& path) {
  if (!node) return nullptr;
  XmlNode* current = const_cast<XmlNode*>(node);
  std::u16string_view rest(path);
  if (!rest.empty() && rest.front() == u'/') {
    current = XmlDocument::documentNode(node->document);
    if (!current) return nullptr;
    rest.remove_prefix(1);
  }
  while (!rest.empty()) {
    size_t slash = rest.find(u'/');
    current = selectChild(current, rest.substr(0, slash));
    if (!current) return nullptr;
    if (slash == std::u16string_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return current;
}

