#include "xml/xml_tree_builder.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace XmlMemory;

namespace XmlTree {

// Looks at the raw bytes of one chunk. Many zero bytes mean 16-bit units. A
// line feed as the very first unit tells nothing (it may end a CR LF pair cut
// by the previous chunk), and the last unit can only complete a pair.
LineEnd detectLineEnd(const unsigned char* bytes, size_t count) {
  bool wide = std::count(bytes, bytes + count, 0) >= 5;
  size_t units = wide ? count / 2 : count;
  auto unitAt = [&](size_t i) -> unsigned {
    return wide ? bytes[2 * i] | bytes[2 * i + 1] << 8 : bytes[i];
  };
  size_t i = units > 0 && unitAt(0) == '\n' ? 1 : 0;
  for (; i + 1 < units; ++i) {
    unsigned unit = unitAt(i);
    if (unit == '\n') return LineEnd::kLf;
    if (unit == '\r') return unitAt(i + 1) == '\n' ? LineEnd::kCrLf : LineEnd::kCr;
  }
  return LineEnd::kUndetermined;
}

namespace {

// Where the texts of a node at depth go (the document element is at depth 1).
Arena& arenaFor(Document& doc, size_t depth) {
  bool streamed = doc.stream && depth >= static_cast<size_t>(doc.stream->depth);
  return streamed ? doc.scratch : doc.arena;
}

// Grows by doubling with realloc, which moves a large block by remapping its
// pages rather than copying them, and leaves the room not yet written untouched.
bool reserveText(TextBuffer& buffer, size_t extra) {
  if (buffer.length + extra < buffer.capacity) return true;  // room for the terminator too
  // In a 32-bit process a text of a gigabyte or so would double past what a
  // size can count and wrap round to a tiny block: it runs out of memory
  // instead, like any other text too large to hold.
  constexpr size_t kMostUnits = (SIZE_MAX - kBlockHeader) / sizeof(char16_t) - 1;
  if (extra > kMostUnits - buffer.length) return false;
  size_t doubled = buffer.capacity <= kMostUnits / 2 ? buffer.capacity * 2 : kMostUnits;
  size_t capacity = std::max(buffer.length + extra + 1, doubled);
  auto* block = static_cast<Block*>(std::realloc(buffer.block, kBlockHeader + capacity * sizeof(char16_t)));
  if (!block) return false;
  buffer.block = block;
  buffer.units = reinterpret_cast<char16_t*>(reinterpret_cast<char*>(block) + kBlockHeader);
  buffer.capacity = capacity;
  return true;
}

void runOutOfMemory(Document& doc) {
  if (doc.outOfMemory) return;
  doc.outOfMemory = true;
  if (doc.parser) XML_StopParser(doc.parser, XML_FALSE);
}

OpenNode* currentOpen(Document& doc) {
  if (doc.unrecordedDepth > 0 || doc.depth == 0) return nullptr;
  OpenNode* open = &doc.open[doc.depth - 1];
  return open->node ? open : nullptr;
}

// Expat turns every line end into one line feed; written back in the file's own
// convention when lineEnds is set.
void appendText(Document& doc, const XML_Char* s, int length, bool lineEnds) {
  OpenNode* open = currentOpen(doc);
  if (!open || length <= 0) return;
  LineEnd convention = lineEnds ? doc.lineEnd : LineEnd::kLf;
  bool keepLineFeeds = convention == LineEnd::kLf || convention == LineEnd::kUndetermined;
  size_t extra = static_cast<size_t>(length);
  if (convention == LineEnd::kCrLf) extra += std::count(s, s + length, '\n');
  if (!reserveText(open->text, extra)) return runOutOfMemory(doc);
  char16_t* start = open->text.units + open->text.length;
  size_t count = decodeUtf8(s, static_cast<size_t>(length), start);
  if (!keepLineFeeds) {
    // Widened in place from the back; a CR LF needs one unit more per line feed.
    size_t feeds = convention == LineEnd::kCrLf ? std::count(start, start + count, u'\n') : 0;
    char16_t* out = start + count + feeds;
    for (char16_t* in = start + count; in != start;) {
      char16_t unit = *--in;
      if (unit != u'\n') {
        *--out = unit;
      } else if (convention == LineEnd::kCrLf) {
        *--out = u'\n';
        *--out = u'\r';
      } else {
        *--out = u'\r';
      }
    }
    count += feeds;
  }
  open->text.length += count;
}

void appendRaw(Document& doc, const std::string& s) {
  appendText(doc, s.data(), static_cast<int>(s.size()), false);
}

bool growOpenStack(Document& doc) {
  if (doc.depth < doc.openCapacity) return true;
  size_t capacity = std::max<size_t>(64, doc.openCapacity * 2);
  auto* open = static_cast<OpenNode*>(std::realloc(doc.open, capacity * sizeof(OpenNode)));
  if (!open) return false;
  doc.open = open;
  doc.openCapacity = capacity;
  return true;
}

void linkAsLastChild(OpenNode& parent, XmlNode* node) {
  node->parent = parent.node;
  if (parent.lastChild) {
    parent.lastChild->nextSibling = node;
    node->previousSibling = parent.lastChild;
  } else {
    parent.node->firstChild = node;
  }
  parent.lastChild = node;
}

// Makes a node of kind the last child of the current node and the current node
// itself. nullptr when memory ran out; the matching close still works.
XmlNode* openNode(Document& doc, uint16_t kind) {
  if (doc.unrecordedDepth > 0 || !growOpenStack(doc)) {
    ++doc.unrecordedDepth;
    runOutOfMemory(doc);
    return nullptr;
  }
  OpenNode& parent = doc.open[doc.depth - 1];
  XmlNode* node = parent.node ? takeNode(doc.pool) : nullptr;
  doc.open[doc.depth++] = OpenNode{node, kind, nullptr, TextBuffer()};
  if (parent.node && !node) runOutOfMemory(doc);
  if (!node) return nullptr;
  node->kind = kind;
  node->textPosition = static_cast<uint32_t>(std::min<size_t>(parent.text.length, UINT32_MAX));
  if (kind == kXmlElementNode && !doc.root) doc.root = node;
  linkAsLastChild(parent, node);
  return node;
}

// A long text keeps its buffer, trimmed to size and chained into the arena:
// copying it would hold a huge cell twice at the moment its node closes.
void finishOpenNode(Document& doc, OpenNode& open, size_t depth) {
  TextBuffer& text = open.text;
  Arena& arena = arenaFor(doc, depth);
  if (open.node && text.units && (text.length + 1) * sizeof(char16_t) > kLargestShared) {
    text.units[text.length] = 0;
    auto* block = static_cast<Block*>(
        std::realloc(text.block, kBlockHeader + (text.length + 1) * sizeof(char16_t)));
    if (!block) block = text.block;
    block->next = arena.singles;
    arena.singles = block;
    open.node->textText =
        reinterpret_cast<const char16_t*>(reinterpret_cast<char*>(block) + kBlockHeader);
    text = TextBuffer();
    return;
  }
  if (open.node && text.units) open.node->textText = storeText(arena, {text.units, text.length});
  std::free(text.block);
  text = TextBuffer();
}

// Hands a finished element at the stream's depth to its taker, then frees it
// with everything below it. Being the last child of its parent, it unlinks
// from the end of the chain; its earlier siblings went the same way.
void handOver(Document& doc, OpenNode& open, size_t depth) {
  XmlNode* node = open.node;
  if (!doc.stream || depth != static_cast<size_t>(doc.stream->depth) || !node) return;
  if (node->kind == kXmlElementNode) doc.stream->take(node, doc.stream->context);
  OpenNode& parent = doc.open[depth - 1];
  if (XmlNode* previous = node->previousSibling)
    previous->nextSibling = nullptr;
  else if (parent.node)
    parent.node->firstChild = nullptr;
  parent.lastChild = node->previousSibling;
  node->previousSibling = nullptr;
  returnTree(doc.pool, node);
  emptyArena(doc.scratch);
}

// Finishes the innermost open node, which is at depth doc.depth - 1.
void finishInnermost(Document& doc) {
  size_t depth = --doc.depth;
  finishOpenNode(doc, doc.open[depth], depth);
  handOver(doc, doc.open[depth], depth);
}

void closeNode(Document& doc) {
  if (doc.unrecordedDepth > 0) {
    --doc.unrecordedDepth;
    return;
  }
  // The document node stays open until the load ends.
  if (doc.depth <= 1) return;
  finishInnermost(doc);
}

}  // namespace

bool beginTree(Document& doc) {
  doc.node = takeNode(doc.pool);
  if (!doc.node || !growOpenStack(doc)) return false;
  doc.node->kind = kXmlDocumentNode;
  doc.open[doc.depth++] = OpenNode{doc.node, kXmlDocumentNode, nullptr, TextBuffer()};
  return true;
}

// Nodes still open when the parse stopped keep the text they had.
void endTree(Document& doc) {
  while (doc.depth > 0) finishInnermost(doc);
  std::free(doc.open);
  doc.open = nullptr;
  doc.openCapacity = 0;
  doc.unrecordedDepth = 0;
}

namespace {

void storeAttributes(Arena& arena, XmlNode* node, const XML_Char** atts) {
  int count = 0;
  while (atts[2 * count]) ++count;
  if (count == 0) return;
  auto* list = static_cast<XmlAttribute*>(
      arenaAllocate(arena, count * sizeof(XmlAttribute), alignof(XmlAttribute)));
  if (!list) return;
  for (int i = 0; i < count; ++i) {
    list[i].name = storeUtf8(arena, atts[2 * i]);
    list[i].value = storeUtf8(arena, atts[2 * i + 1]);
  }
  node->attributes = list;
  node->attributeCount = count;
}

// An identifier holding a double quote can only have been written in apostrophes.
std::string quoteIdentifier(const XML_Char* id) {
  char quote = std::strchr(id, '"') ? '\'' : '"';
  return std::string(" ") + quote + id + quote;
}

std::string doctypeHead(const XML_Char* name, const XML_Char* sysid, const XML_Char* pubid,
                        bool internalSubset) {
  std::string head = std::string("<!DOCTYPE ") + name;
  if (sysid && pubid)
    head += " PUBLIC" + quoteIdentifier(pubid) + quoteIdentifier(sysid);
  else if (sysid)
    head += " SYSTEM" + quoteIdentifier(sysid);
  head += internalSubset ? " [" : ">";
  return head;
}

Document& documentOf(void* userData) {
  Document& doc = *static_cast<Document*>(userData);
  ++doc.events;
  return doc;
}

void XMLCALL onStartElement(void* userData, const XML_Char* name, const XML_Char** atts) {
  Document& doc = documentOf(userData);
  XmlNode* node = openNode(doc, kXmlElementNode);
  if (!node) return;
  Arena& arena = arenaFor(doc, doc.depth - 1);
  node->nameText = storeUtf8(arena, name);
  storeAttributes(arena, node, atts);
}

void XMLCALL onEndElement(void* userData, const XML_Char*) {
  closeNode(documentOf(userData));
}

void XMLCALL onCharacters(void* userData, const XML_Char* s, int length) {
  appendText(documentOf(userData), s, length, true);
}

// Whatever has no handler of its own: whitespace outside the root element, the
// internal subset, and references to internal entities, which stay unexpanded.
void XMLCALL onDefault(void* userData, const XML_Char* s, int length) {
  appendText(documentOf(userData), s, length, false);
}

void XMLCALL onComment(void* userData, const XML_Char* data) {
  Document& doc = documentOf(userData);
  openNode(doc, kXmlCommentNode);
  appendText(doc, data, static_cast<int>(std::strlen(data)), true);
  closeNode(doc);
}

void XMLCALL onStartCdata(void* userData) {
  openNode(documentOf(userData), kXmlCdataNode);
}

void XMLCALL onEndCdata(void* userData) {
  closeNode(documentOf(userData));
}

void XMLCALL onStartDoctype(void* userData, const XML_Char* name, const XML_Char* sysid,
                            const XML_Char* pubid, int hasInternalSubset) {
  Document& doc = documentOf(userData);
  openNode(doc, kXmlDoctypeNode);
  appendRaw(doc, doctypeHead(name, sysid, pubid, hasInternalSubset != 0));
  if (!hasInternalSubset) closeNode(doc);
}

void XMLCALL onEndDoctype(void* userData) {
  Document& doc = documentOf(userData);
  // A declaration comes before the root, so an unrecorded level here is its own.
  if (doc.unrecordedDepth > 0) return closeNode(doc);
  if (doc.open[doc.depth - 1].kind != kXmlDoctypeNode) return;
  appendRaw(doc, "]>");
  closeNode(doc);
}

// Declared so that the declaration does not reach the default handler.
void XMLCALL onXmlDeclaration(void*, const XML_Char*, const XML_Char*, int) {}

void XMLCALL onInstruction(void* userData, const XML_Char* target, const XML_Char* data) {
  Document& doc = documentOf(userData);
  if (XmlNode* node = openNode(doc, kXmlInstructionNode))
    node->nameText = storeUtf8(arenaFor(doc, doc.depth - 1), target);
  appendText(doc, data, static_cast<int>(std::strlen(data)), true);
  closeNode(doc);
}

}  // namespace

void installHandlers(XML_Parser parser, Document* doc) {
  doc->parser = parser;
  XML_SetUserData(parser, doc);
  XML_SetElementHandler(parser, onStartElement, onEndElement);
  XML_SetCharacterDataHandler(parser, onCharacters);
  XML_SetDefaultHandler(parser, onDefault);
  XML_SetCommentHandler(parser, onComment);
  XML_SetCdataSectionHandler(parser, onStartCdata, onEndCdata);
  XML_SetDoctypeDeclHandler(parser, onStartDoctype, onEndDoctype);
  XML_SetXmlDeclHandler(parser, onXmlDeclaration);
  XML_SetProcessingInstructionHandler(parser, onInstruction);
}
}  // namespace XmlTree
