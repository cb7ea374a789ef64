#pragma once
// The memory of the XML trees: one pool of nodes that every document draws
// from, and per document an arena for names and texts that goes in one
// sweep. Only the loader uses it.

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

// Nodes: taken zeroed from the shared pool, given back one chain or one
// whole tree at a time; the pool's blocks go at the process's end.
void startPool();
XmlNode* takeNode();
void returnNodes(XmlNode* first, XmlNode* last);
// Every node below top, iteratively: a document may nest far deeper than
// the stack would allow recursion.
void returnTree(XmlNode* top);
void releasePool();

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
