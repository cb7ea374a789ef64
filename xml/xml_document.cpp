#include "xml/xml_document.h"

#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>

#include "fs/paths.h"
#include "text/catalogue.h"
#include "xml/xml_memory.h"
#include "xml/xml_tree_builder.h"

using namespace XmlMemory;
using namespace XmlTree;

namespace {

constexpr int64_t kChunkSize = 16384;
constexpr int64_t kLargestChunk = 64 << 20;
// No caller needs more than a few documents; a larger number is refused
// rather than grown into a table of that size.
constexpr size_t kHandleLimit = 1 << 16;
// Sizes are kept as signed 32-bit counts; anything larger is refused.
constexpr int64_t kLargestFile = INT32_MAX;
constexpr int kStatusNoBuffer = 1;
constexpr int kStatusReadError = 256;
constexpr int kLastNamedExpatError = 40;

struct HandleTable {
  // Re-entrant: freeing the previous document of a reused handle looks the
  // handle up again while the load still holds the lock.
  std::recursive_mutex lock;
  Document** slots = nullptr;
  size_t count = 0;
};

HandleTable& handleTable() {
  static HandleTable table;
  return table;
}

bool ensureSlot(HandleTable& table, size_t handle) {
  if (handle < table.count) return true;
  if (handle >= kHandleLimit) return false;
  size_t count = handle + 8;
  auto* slots = static_cast<Document**>(std::realloc(table.slots, count * sizeof(Document*)));
  if (!slots) return false;
  std::fill(slots + table.count, slots + count, nullptr);
  table.slots = slots;
  table.count = count;
  return true;
}

Document* lookUp(int handle) {
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  if (handle < 0 || static_cast<size_t>(handle) >= table.count) return nullptr;
  return table.slots[handle];
}

void destroyDocument(Document* doc) {
  returnTree(doc->node);
  releaseArena(doc->arena);
  releaseArena(doc->scratch);
  delete doc;
}

void recordParseStop(Document& doc, XML_Parser parser, int code) {
  doc.statusCode = code;
  doc.statusLine = static_cast<int64_t>(XML_GetCurrentLineNumber(parser));
  doc.statusColumn = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser)) + 1;
  if (code >= 1 && code <= kLastNamedExpatError)
    doc.statusMessage = fromUtf8(XML_ErrorString(static_cast<XML_Error>(code)));
}

// Reads each chunk straight into expat's own buffer. This expat rescans an
// unfinished token from its start on every call, so one huge start tag or
// attribute would cost its size squared: while a chunk gives no event at all,
// the next one is twice as large.
void readAndParse(Document& doc, XML_Parser parser, std::FILE* file, int64_t size) {
  int64_t done = 0;
  int64_t chunk = kChunkSize;
  while (done < size) {
    int want = static_cast<int>(std::min(chunk, size - done));
    uint64_t eventsBefore = doc.events;
    void* buffer = XML_GetBuffer(parser, want);
    if (!buffer) return recordParseStop(doc, parser, kStatusNoBuffer);
    if (std::fread(buffer, 1, want, file) != static_cast<size_t>(want)) {
      doc.statusCode = kStatusReadError;
      doc.statusMessage = kXmlReadError;
      return;
    }
    if (doc.lineEnd == LineEnd::kUndetermined)
      doc.lineEnd = detectLineEnd(static_cast<const unsigned char*>(buffer), want);
    done += want;
    if (XML_ParseBuffer(parser, want, done >= size) == XML_STATUS_ERROR)
      return recordParseStop(doc, parser,
                             doc.outOfMemory ? XML_ERROR_NO_MEMORY : XML_GetErrorCode(parser));
    chunk = doc.events != eventsBefore ? kChunkSize : std::min(chunk * 2, kLargestChunk);
  }
}

// Replaces whatever handle held with a new, empty document.
Document* takeHandle(int handle) {
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  if (!ensureSlot(table, handle)) return nullptr;
  XmlDocument::free(handle);
  auto* doc = new (std::nothrow) Document();
  if (!doc) return nullptr;
  doc->handle = handle;
  doc->loading = true;
  if (!beginTree(*doc)) {
    endTree(*doc);
    destroyDocument(doc);
    return nullptr;
  }
  table.slots[handle] = doc;
  return doc;
}

void finishLoad(Document& doc) {
  endTree(doc);
  doc.stream = nullptr;
  releaseArena(doc.scratch);
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  doc.loading = false;
}

bool parseOpenFile(int handle, std::FILE* file, int64_t size, const XmlElementStream* stream) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return false;
  Document* doc = takeHandle(handle);
  if (!doc) {
    XML_ParserFree(parser);
    return false;
  }
  installHandlers(parser, doc);
  // A whole tree's texts are at most the file's size in units; a streamed
  // document keeps only its upper levels.
  if (stream)
    doc->stream = stream;
  else
    addArenaBlock(doc->arena, static_cast<size_t>(size) + kBlockHeader);
  readAndParse(*doc, parser, file, size);
  finishLoad(*doc);
  doc->parser = nullptr;
  XML_ParserFree(parser);
  return true;
}

bool loadPath(int handle, const Text& path, const XmlElementStream* stream) {
  if (handle < 0 || path.empty()) return false;
  std::FILE* file = openFile(path, "rb");
  if (!file) return false;
  // Also turns away a folder, which a POSIX system opens for reading.
  int64_t size = fileSize(path);
  bool loaded = size > 0 && size <= kLargestFile && parseOpenFile(handle, file, size, stream);
  std::fclose(file);
  return loaded;
}

constexpr int kExpatWordCount = sizeof kExpatWords / sizeof kExpatWords[0];

}  // namespace

namespace XmlDocument {

void startup() {
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  ensureSlot(table, 0);
  startPool();
}

// A document still being loaded by another thread is left alone: the process
// is about to end, and freeing it would pull the tree from under the loader.
void shutdown() {
  free(-1);
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  for (size_t i = 0; i < table.count; ++i) {
    if (table.slots[i]) return;
  }
  std::free(table.slots);
  table.slots = nullptr;
  table.count = 0;
  releasePool();
}

bool loadFile(int handle, const Text& path) { return loadPath(handle, path, nullptr); }

bool loadFile(int handle, const Text& path, const XmlElementStream& stream) {
  return stream.depth >= 1 && stream.take && loadPath(handle, path, &stream);
}

XmlNode* root(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->root : nullptr;
}

XmlNode* documentNode(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->node : nullptr;
}

void free(int handle) {
  HandleTable& table = handleTable();
  std::lock_guard<std::recursive_mutex> hold(table.lock);
  if (handle == -1) {
    for (size_t i = 0; i < table.count; ++i) {
      if (table.slots[i] && !table.slots[i]->loading) free(static_cast<int>(i));
    }
    return;
  }
  if (handle < 0 || static_cast<size_t>(handle) >= table.count || !table.slots[handle]) return;
  destroyDocument(table.slots[handle]);
  table.slots[handle] = nullptr;
}

int statusCode(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->statusCode : 0;
}

Text statusWords(int handle) {
  Document* doc = lookUp(handle);
  if (!doc || doc->statusCode == 0) return Text();
  if (doc->statusCode == kStatusReadError) return kXmlReadError;
  if (doc->statusCode > 0 && doc->statusCode < kExpatWordCount) return kExpatWords[doc->statusCode];
  return kXmlMalformed;
}

Text statusMessage(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->statusMessage : Text();
}

int64_t statusLine(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->statusLine : 0;
}

int64_t statusColumn(int handle) {
  Document* doc = lookUp(handle);
  return doc ? doc->statusColumn : 0;
}

}  // namespace XmlDocument
