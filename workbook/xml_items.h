#pragma once
// Element lookups shared by the shared-strings and worksheet readers. Producers
// may write every SpreadsheetML element with a namespace prefix ("x:c"), so
// names are compared by the part after the prefix. Children are followed along
// the sibling chain, keeping each walk linear in the number of children.

#include <string_view>

#include "text/text.h"
#include "workbook/workbook.h"

struct XmlNode;
struct XmlElementStream;
class XmlDocument;

// True when node is an element whose name, after any "prefix:", equals localName.
bool IsElementNamed(const XmlNode* node, std::u16string_view localName);
// The first child element of node named localName (prefix allowed), or nullptr.
const XmlNode* FirstChildNamed(const XmlNode* node, std::u16string_view localName);
// The character data of element in document order: its own text with the
// text of each CDATA section put back where the section stood.
Text ElementText(const XmlNode* element);
// The text of a string item (a shared-string "si" or an inline "is"): the first
// "t" or "r" child decides; runs contribute the text of their first "t" each.
// False, with text untouched, when the item has neither child.
bool StringItemText(const XmlNode* item, Text& text);

// Reads the XML part at path into document, its elements at the stream's
// depth handed over as they are read. A status with failure kNone when the
// whole file parsed; else what was found in part: a file missing, empty,
// a folder, too large or unreadable, memory that ran out, or where the XML
// went wrong. What parsed before an error stays read.
WorkbookStatus LoadPart(XmlDocument& document, const Text& path, WorkbookPart part,
                        const XmlElementStream& stream);
