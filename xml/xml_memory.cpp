#include "xml/xml_memory.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace XmlMemory {

namespace {

constexpr int kLargestPoolBlock = 512;

bool growPool(NodePool& pool) {
  int count = pool.nextBlockNodes;
  auto* block = static_cast<Block*>(std::malloc(kBlockHeader + count * sizeof(XmlNode)));
  if (!block) return false;
  block->next = pool.blocks;
  pool.blocks = block;
  auto* nodes = reinterpret_cast<XmlNode*>(reinterpret_cast<char*>(block) + kBlockHeader);
  for (int i = 0; i < count; ++i) {
    nodes[i].nextSibling = pool.free;
    pool.free = &nodes[i];
  }
  pool.nextBlockNodes = std::min(count * 2, kLargestPoolBlock);
  return true;
}

void* allocateSingle(Arena& arena, size_t bytes) {
  if (bytes > SIZE_MAX - kBlockHeader) return nullptr;  // would wrap round in 32 bits
  auto* block = static_cast<Block*>(std::malloc(kBlockHeader + bytes));
  if (!block) return nullptr;
  block->next = arena.singles;
  arena.singles = block;
  return reinterpret_cast<char*>(block) + kBlockHeader;
}

}  // namespace

XmlNode* takeNode(NodePool& pool) {
  if (!pool.free && !growPool(pool)) return nullptr;
  XmlNode* node = pool.free;
  pool.free = node->nextSibling;
  std::memset(static_cast<void*>(node), 0, sizeof(XmlNode));
  return node;
}

void returnNodes(NodePool& pool, XmlNode* first, XmlNode* last) {
  last->nextSibling = pool.free;
  pool.free = first;
}

void releaseChain(Block* block) {
  while (block) {
    Block* next = block->next;
    std::free(block);
    block = next;
  }
}

void releasePool(NodePool& pool) {
  releaseChain(pool.blocks);
  pool.blocks = nullptr;
  pool.free = nullptr;
  pool.nextBlockNodes = NodePool().nextBlockNodes;
}

void returnTree(NodePool& pool, XmlNode* top) {
  XmlNode* first = nullptr;
  XmlNode* last = nullptr;
  XmlNode* node = top;
  while (node) {
    if (XmlNode* child = node->firstChild) {
      node->firstChild = nullptr;
      node = child;
      continue;
    }
    XmlNode* next = node == top ? nullptr : node->nextSibling ? node->nextSibling : node->parent;
    node->nextSibling = first;
    first = node;
    if (!last) last = node;
    node = next;
  }
  if (first) returnNodes(pool, first, last);
}

bool addArenaBlock(Arena& arena, size_t bytes) {
  auto* block = static_cast<Block*>(std::malloc(bytes));
  if (!block) return false;
  block->next = arena.blocks;
  arena.blocks = block;
  arena.next = reinterpret_cast<char*>(block) + kBlockHeader;
  arena.room = bytes - kBlockHeader;
  return true;
}

void* arenaAllocate(Arena& arena, size_t bytes, size_t alignment) {
  if (bytes > kLargestShared) return allocateSingle(arena, bytes);
  size_t pad = (alignment - reinterpret_cast<uintptr_t>(arena.next) % alignment) % alignment;
  if (!arena.next || pad + bytes > arena.room) {
    if (!addArenaBlock(arena, kArenaBlockSize)) return nullptr;
    pad = 0;
  }
  char* result = arena.next + pad;
  arena.next = result + bytes;
  arena.room -= pad + bytes;
  return result;
}

const char16_t* storeText(Arena& arena, std::u16string_view text) {
  auto* units = static_cast<char16_t*>(
      arenaAllocate(arena, (text.size() + 1) * sizeof(char16_t), alignof(char16_t)));
  if (!units) return nullptr;
  std::copy(text.begin(), text.end(), units);
  units[text.size()] = 0;
  return units;
}

// Expat hands over well-formed UTF-8 only, so the decoding needs no checks.
// Never more units than bytes.
size_t decodeUtf8(const char* bytes, size_t count, char16_t* out) {
  const auto* s = reinterpret_cast<const unsigned char*>(bytes);
  char16_t* start = out;
  for (size_t i = 0; i < count;) {
    unsigned lead = s[i];
    if (lead < 0x80) {
      *out++ = static_cast<char16_t>(lead);
      ++i;
    } else if (lead < 0xE0 && i + 1 < count) {
      *out++ = static_cast<char16_t>((lead & 0x1F) << 6 | (s[i + 1] & 0x3F));
      i += 2;
    } else if (lead < 0xF0 && i + 2 < count) {
      *out++ = static_cast<char16_t>((lead & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
      i += 3;
    } else if (i + 3 < count) {
      uint32_t code = (lead & 0x07) << 18 | (s[i + 1] & 0x3F) << 12 | (s[i + 2] & 0x3F) << 6 |
                      (s[i + 3] & 0x3F);
      code -= 0x10000;
      *out++ = static_cast<char16_t>(0xD800 + (code >> 10));
      *out++ = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      i += 4;
    } else {
      *out++ = u'\uFFFD';
      break;
    }
  }
  return static_cast<size_t>(out - start);
}

// Decoded straight into the arena: a huge attribute costs its UTF-16 form
// once, not a converted copy and then the stored one.
const char16_t* storeUtf8(Arena& arena, const XML_Char* text) {
  size_t count = std::strlen(text);
  auto* units = static_cast<char16_t*>(
      arenaAllocate(arena, (count + 1) * sizeof(char16_t), alignof(char16_t)));
  if (!units) return nullptr;
  units[decodeUtf8(text, count, units)] = 0;
  return units;
}

void releaseArena(Arena& arena) {
  releaseChain(arena.blocks);
  releaseChain(arena.singles);
  arena = Arena();
}

void emptyArena(Arena& arena) {
  releaseChain(arena.singles);
  arena.singles = nullptr;
  if (!arena.blocks) return;
  releaseChain(arena.blocks->next);
  arena.blocks->next = nullptr;
  arena.next = reinterpret_cast<char*>(arena.blocks) + kBlockHeader;
  arena.room = kArenaBlockSize - kBlockHeader;
}


}  // namespace XmlMemory
