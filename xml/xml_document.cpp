#include "xml/xml_document.h"

#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>

#include "fs/paths.h"
#include "xml/xml_memory.h"
#include "xml/xml_tree_builder.h"

using namespace XmlMemory;
using namespace XmlTree;

namespace {

constexpr int64_t kChunkSize = 16384;
constexpr int64_t kLargestChunk = 64 << 20;
// Sizes are kept as signed 32-bit counts; anything larger is refused.
constexpr int64_t kLargestFile = INT32_MAX;
constexpr int kStatusNoBuffer = 1;

void destroyDocument(Document* doc) {
  returnTree(doc->pool, doc->node);
  releaseArena(doc->arena);
  releaseArena(doc->scratch);
  releasePool(doc->pool);
  delete doc;
}

void recordParseStop(Document& doc, XML_Parser parser, int code) {
  doc.statusCode = code;
  doc.statusLine = static_cast<int64_t>(XML_GetCurrentLineNumber(parser));
  doc.statusColumn = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser)) + 1;
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
      doc.statusCode = kXmlReadFailed;
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

// A new, empty document; nullptr when memory ran out.
Document* newDocument() {
  auto* doc = new (std::nothrow) Document();
  if (!doc) return nullptr;
  if (!beginTree(*doc)) {
    endTree(*doc);
    destroyDocument(doc);
    return nullptr;
  }
  return doc;
}

Document* parseOpenFile(std::FILE* file, int64_t size, const XmlElementStream& stream) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (!parser) return nullptr;
  Document* doc = newDocument();
  if (!doc) {
    XML_ParserFree(parser);
    return nullptr;
  }
  installHandlers(parser, doc);
  doc->stream = &stream;
  readAndParse(*doc, parser, file, size);
  endTree(*doc);
  doc->stream = nullptr;
  releaseArena(doc->scratch);
  doc->parser = nullptr;
  XML_ParserFree(parser);
  return doc;
}

}  // namespace

bool XmlDocument::load(const Text& path, const XmlElementStream& stream) {
  free();
  if (stream.depth < 1 || !stream.take || path.empty()) return false;
  std::FILE* file = openFile(path, "rb");
  if (!file) return false;
  // Also turns away a folder, which a POSIX system opens for reading.
  int64_t size = fileSize(path);
  if (size > 0 && size <= kLargestFile) doc_ = parseOpenFile(file, size, stream);
  std::fclose(file);
  return doc_ != nullptr;
}

XmlNode* XmlDocument::root() const {
  return doc_ ? doc_->root : nullptr;
}

XmlNode* XmlDocument::documentNode() const {
  return doc_ ? doc_->node : nullptr;
}

XmlStatus XmlDocument::status() const {
  if (!doc_) return XmlStatus();
  return XmlStatus{doc_->statusCode, doc_->statusLine, doc_->statusColumn};
}

void XmlDocument::free() {
  if (doc_) destroyDocument(doc_);
  doc_ = nullptr;
}
