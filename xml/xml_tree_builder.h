#pragma once
// Builds a document's tree from expat's events: the loader's side of
// xml_document.cpp, which reads the file. Only the xml library includes this.

#include <expat.h>

#include <cstddef>
#include <cstdint>

#include "text/text.h"
#include "xml/xml_document.h"
#include "xml/xml_memory.h"

namespace XmlTree {

using XmlMemory::Arena;
using XmlMemory::Block;
using XmlMemory::NodePool;

enum class LineEnd { kUndetermined, kCrLf, kLf, kCr };

// Text of a node that is still open; it moves into the arena when the node
// closes. The units follow a block header, so a long text joins the arena's
// chain as it is instead of being copied.
struct TextBuffer {
  Block* block = nullptr;
  char16_t* units = nullptr;
  size_t length = 0;
  size_t capacity = 0;
};

// node is nullptr when the node could not be made for lack of memory; its
// content is then dropped but its close still pairs with its open.
struct OpenNode {
  XmlNode* node;
  uint16_t kind;
  XmlNode* lastChild;
  TextBuffer text;
};

struct Document {
  XmlNode* node = nullptr;
  XmlNode* root = nullptr;
  LineEnd lineEnd = LineEnd::kUndetermined;
  int statusCode = 0;
  int64_t statusLine = 0;
  int64_t statusColumn = 0;
  NodePool pool;
  Arena arena;
  // While loading with a stream: the nodes at and below its depth take their
  // texts from scratch, which is emptied each time one is handed over.
  const XmlElementStream* stream = nullptr;
  Arena scratch;
  // Open nodes, innermost last; only used while loading.
  OpenNode* open = nullptr;
  size_t depth = 0;
  size_t openCapacity = 0;
  size_t unrecordedDepth = 0;  // levels opened after the stack itself could not grow
  uint64_t events = 0;  // handler calls so far, to tell whether a chunk made progress
  // The parser feeding this document, stopped at the first text or node
  // that memory cannot hold: a tree with a text cut short, or an element
  // left out, would read as a different table.
  XML_Parser parser = nullptr;
  bool outOfMemory = false;
};

// Looks at the raw bytes of one chunk for the file's line-end convention.
LineEnd detectLineEnd(const unsigned char* bytes, size_t count);
// Opens the document node; false when memory ran out.
bool beginTree(Document& doc);
// Closes every node still open, and frees the stack of open nodes.
void endTree(Document& doc);
// Points parser's events at doc.
void installHandlers(XML_Parser parser, Document* doc);

}  // namespace XmlTree
