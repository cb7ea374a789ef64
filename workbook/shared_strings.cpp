#include <algorithm>
#include <string_view>
#include <utility>

#include "fs/paths.h"
#include "text/text.h"
#include "workbook/table_reading.h"
#include "workbook/xml_items.h"
#include "xml/xml_document.h"

namespace {

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

WorkbookStatus LoadPart(XmlDocument& document, const Text& path, WorkbookPart part,
                        const XmlElementStream& stream) {
  WorkbookStatus status;
  status.part = part;
  if (document.load(path, stream)) {
    XmlStatus parse = document.status();
    if (parse.code == 0) {
      status.part = WorkbookPart::kNone;
    } else if (parse.outOfMemory()) {
      status.failure.kind = ErrorKind::kOutOfMemory;
    } else {
      status.failure.kind =
          parse.code == kXmlReadFailed ? ErrorKind::kXmlReadError : ErrorKind::kXmlMalformed;
      status.failure.code = parse.code;
      status.line = parse.line;
      status.column = parse.column;
    }
    return status;
  }
  int64_t size = fileSize(path);
  if (size == 0)
    status.failure.kind = ErrorKind::kPartEmpty;
  else if (size == -1)
    status.failure.kind = ErrorKind::kPartMissing;
  else if (size == -2)
    status.failure.kind = ErrorKind::kEntryIsFolder;
  else if (size > INT32_MAX)
    status.failure.kind = ErrorKind::kPartTooLarge;
  else
    status.failure.kind = ErrorKind::kPartUnreadable;
  return status;
}

namespace {

// Items are the "si" elements of an "sst" document element, each taken as
// soon as it has been read.
void TakeItem(const XmlNode* item, void* context) {
  Text text;
  if (IsElementNamed(item->parent, u"sst") && IsElementNamed(item, u"si") &&
      StringItemText(item, text))
    static_cast<std::vector<Text>*>(context)->push_back(std::move(text));
}

}  // namespace

WorkbookStatus LoadSharedStrings(TableReading& reading, const Text& path) {
  reading.sharedStrings.clear();
  XmlDocument document;
  return LoadPart(document, path, WorkbookPart::kSharedStrings,
                  XmlElementStream{2, TakeItem, &reading.sharedStrings});
}
