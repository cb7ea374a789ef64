#include <string_view>
#include <utility>

#include "text/text.h"
#include "workbook/cell_map.h"
#include "workbook/workbook.h"
#include "workbook/xml_items.h"
#include "xml/xml_document.h"

namespace {

constexpr int kSharedStringsDocument = 0;

Text RunsText(const XmlNode* item) {
  Text text;
  for (const XmlNode* run = item->firstChild; run; run = run->nextSibling) {
    if (IsElementNamed(run, u"r")) text += XmlNode::text(FirstChildNamed(run, u"t"));
  }
  return text;
}

}  // namespace

bool IsElementNamed(const XmlNode* node, const Text& localName) {
  if (!node || node->kind != kXmlElementNode || !node->nameText) return false;
  std::u16string_view name(node->nameText);
  size_t colon = name.rfind(u':');
  if (colon != std::u16string_view::npos) name.remove_prefix(colon + 1);
  return name == localName;
}

const XmlNode* FirstChildNamed(const XmlNode* node, const Text& localName) {
  if (!node) return nullptr;
  for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
    if (IsElementNamed(child, localName)) return child;
  }
  return nullptr;
}

bool StringItemText(const XmlNode* item, Text& text) {
  if (!item) return false;
  for (const XmlNode* child = item->firstChild; child; child = child->nextSibling) {
    if (IsElementNamed(child, u"t")) {
      text = XmlNode::text(child);
      return true;
    }
    if (IsElementNamed(child, u"r")) {
      text = RunsText(item);
      return true;
    }
  }
  return false;
}

void LoadSharedStrings(const Text& path) {
  SharedStrings.clear();
  if (!XmlDocument::loadFile(kSharedStringsDocument, path)) return;
  const XmlNode* root = XmlDocument::root(kSharedStringsDocument);
  if (IsElementNamed(root, u"sst")) {
    for (const XmlNode* item = root->firstChild; item; item = item->nextSibling) {
      Text text;
      if (IsElementNamed(item, u"si") && StringItemText(item, text))
        SharedStrings.push_back(std::move(text));
    }
  }
  XmlDocument::free(kSharedStringsDocument);
}
