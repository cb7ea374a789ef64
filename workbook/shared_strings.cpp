#include <algorithm>
#include <string_view>
#include <utility>

#include "fs/paths.h"
#include "text/catalogue.h"
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
    if (IsElementNamed(run, u"r")) text += ElementText(FirstChildNamed(run, u"t"));
  }
  return text;
}

}  // namespace

bool IsElementNamed(const XmlNode* node, std::u16string_view localName) {
  if (!node || node->kind != kXmlElementNode || !node->nameText) return false;
  std::u16string_view name(node->nameText);
  size_t colon = name.rfind(u':');
  if (colon != std::u16string_view::npos) name.remove_prefix(colon + 1);
  return name == localName;
}

const XmlNode* FirstChildNamed(const XmlNode* node, std::u16string_view localName) {
  if (!node) return nullptr;
  for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
    if (IsElementNamed(child, localName)) return child;
  }
  return nullptr;
}

Text ElementText(const XmlNode* element) {
  Text own = XmlNode::text(element);
  if (!element) return own;
  Text text;
  size_t taken = 0;
  bool sections = false;
  for (const XmlNode* child = element->firstChild; child; child = child->nextSibling) {
    if (child->kind != kXmlCdataNode) continue;
    size_t at = std::min<size_t>(child->textPosition, own.size());
    text.append(own, taken, at - taken);
    if (child->textText) text += child->textText;
    taken = at;
    sections = true;
  }
  return sections ? text.append(own, taken, Text::npos) : own;
}

bool StringItemText(const XmlNode* item, Text& text) {
  if (!item) return false;
  for (const XmlNode* child = item->firstChild; child; child = child->nextSibling) {
    if (IsElementNamed(child, u"t")) {
      text = ElementText(child);
      return true;
    }
    if (IsElementNamed(child, u"r")) {
      text = RunsText(item);
      return true;
    }
  }
  return false;
}

bool LoadPart(int document, const Text& path, const Text& label, Text& problem,
              const XmlElementStream* stream) {
  problem.clear();
  bool loaded = stream ? XmlDocument::loadFile(document, path, *stream)
                       : XmlDocument::loadFile(document, path);
  if (loaded) {
    if (XmlDocument::statusCode(document) == 0) return true;
    problem = label + kPartLineOpen + intToText(XmlDocument::statusLine(document)) +
              kPartLineColumn + intToText(XmlDocument::statusColumn(document)) + kPartColumnClose +
              XmlDocument::statusWords(document);
    return false;
  }
  // A document left from an earlier load must not pass for this one.
  XmlDocument::free(document);
  int64_t size = fileSize(path);
  if (size == 0) problem = label + kPartEmpty;
  else if (size == -1) problem = label + kPartMissing;
  else if (size == -2) problem = label + kEntryIsFolder;
  else if (size > INT32_MAX) problem = label + kPartTooLarge;
  else problem = label + kPartUnreadable;
  return false;
}

void LoadSharedStrings(const Text& path) {
  Text problem;
  LoadSharedStrings(path, problem);
}

namespace {

// Items are the "si" elements of an "sst" document element, each taken as
// soon as it has been read.
void TakeItem(const XmlNode* item, void*) {
  Text text;
  if (IsElementNamed(item->parent, u"sst") && IsElementNamed(item, u"si") &&
      StringItemText(item, text))
    SharedStrings.push_back(std::move(text));
}

}  // namespace

bool LoadSharedStrings(const Text& path, Text& problem) {
  SharedStrings.clear();
  XmlElementStream items{2, TakeItem, nullptr};
  bool whole = LoadPart(kSharedStringsDocument, path, kSharedStringsLabel, problem, &items);
  XmlDocument::free(kSharedStringsDocument);
  return whole;
}
