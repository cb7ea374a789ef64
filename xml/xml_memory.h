#pragma once
// The memory of an XML tree: per document a pool of nodes and an arena for
// names and texts, each going in one sweep with the document. Only the
// loader uses it.

#include <expat.h>

#include <cstddef>
#include <string_view>

#include "xml/xml_document.h"

namespace XmlMemory {

constexpr size_t kBlockHeader = 8;
constexpr size_t kArenaBlockSize = 524288;
// Larger allocations get a block of their own.
constexpr size_t kLargestShared = 1024;

// Arena blocks and separately allocated strings are chained through this header
// so that a document's memory goes in one sweep.
struct Block {
  Block* next;
};
static_assert(sizeof(Block) <= kBlockHeader);

struct Arena {
  Block* blocks = nullptr;  // newest first; the newest is the one being filled
  Block* singles = nullptr;
  char* next = nullptr;
  size_t room = 0;
};

// A document's nodes: taken zeroed, given back one chain or one whole tree
// at a time for the document's later nodes to reuse (a streamed sheet's rows
// go through the same few), and freed together with the document.
struct NodePool {
  XmlNode* free = nullptr;  // chained through nextSibling
  Block* blocks = nullptr;
  int nextBlockNodes = 32;
};
XmlNode* takeNode(NodePool& pool);
void returnNodes(NodePool& pool, XmlNode* first, XmlNode* last);
// Every node below top, iteratively: a document may nest far deeper than
// the stack would allow recursion.
void returnTree(NodePool& pool, XmlNode* top);
void releasePool(NodePool& pool);

void releaseChain(Block* block);
bool addArenaBlock(Arena& arena, size_t bytes);
// nullptr when memory runs out.
void* arenaAllocate(Arena& arena, size_t bytes, size_t alignment);
const char16_t* storeText(Arena& arena, std::u16string_view text);
// Expat's UTF-8 decoded straight into the arena.
const char16_t* storeUtf8(Arena& arena, const XML_Char* text);
// Decodes well-formed UTF-8 into out, never more units than bytes; the count.
size_t decodeUtf8(const char* bytes, size_t count, char16_t* out);
void releaseArena(Arena& arena);
// Frees what the arena holds but keeps its newest block for the next element.
void emptyArena(Arena& arena);

}  // namespace XmlMemory
