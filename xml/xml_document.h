#pragma once
// A read-only XML document tree built from expat's event stream, streamed:
// the elements at one depth are handed over as they are read. A document is
// a value its reader owns, used by one thread at a time.

#include <cstdint>
#include <string_view>

#include "text/text.h"

enum XmlNodeKind : uint16_t {
  kXmlDocumentNode = 0,
  kXmlElementNode = 1,
  kXmlCommentNode = 2,
  kXmlCdataNode = 3,
  kXmlDoctypeNode = 4,
  kXmlInstructionNode = 5,
};

struct XmlAttribute {
  const char16_t* name;
  const char16_t* value;
};
struct XmlNode;

// Takes the elements at one depth of a document as each is completed.
struct XmlElementStream {
  int depth;  // the document element is at depth 1
  void (*take)(const XmlNode* element, void* context);
  void* context;
};

// A node of a loaded document. The fields belong to the loader; callers follow
// the links and read the names, and use the static operations, each of which
// accepts nullptr and then gives the empty text or nullptr.
struct XmlNode {
  XmlNode* parent;
  XmlNode* firstChild;
  XmlNode* previousSibling;
  XmlNode* nextSibling;
  const char16_t* nameText;  // nullptr for none
  const char16_t* textText;  // nullptr for none
  XmlAttribute* attributes;
  int32_t attributeCount;
  uint16_t kind;
  // How long the parent's text was when this node began: where the text of a
  // CDATA section stands among its element's own character data.
  uint32_t textPosition;

  static Text text(const XmlNode* node);
  // The value of the first attribute whose name equals name exactly, in the
  // document and valid until it is freed; nullptr when absent.
  static const char16_t* attributeText(const XmlNode* node, std::u16string_view name);
};

namespace XmlTree {
struct Document;
}

// How a load ended: code 0 when the whole file parsed, else expat's error
// code (kXmlReadFailed for a short read) with the line and column where the
// parse stopped.
struct XmlStatus {
  int code = 0;
  int64_t line = 0;
  int64_t column = 0;
  // Expat's two codes for memory that ran out: the part is too large for
  // this process, not damaged.
  bool outOfMemory() const { return code == 1 || code == 42; }
};
constexpr int kXmlReadFailed = 256;

class XmlDocument {
 public:
  XmlDocument() = default;
  ~XmlDocument() { free(); }
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Reads the file at path, replacing what the document held. Each element
  // at stream.depth goes to stream.take as soon as its end tag is read (or
  // with what was read of it, when the parse stops inside it), and is then
  // freed with everything below it: a document of many such elements never
  // exists whole. Its ancestors are in the tree when it is taken, its
  // earlier siblings no longer are; the tree left afterwards holds only the
  // levels above. True when a document now exists, also after a parse error
  // (status says where); false for an empty path, a missing, unreadable,
  // empty or 2 GiB file, or a parser that cannot be made.
  bool load(const Text& path, const XmlElementStream& stream);
  // The first element created by the parse, or nullptr.
  XmlNode* root() const;
  // The document node (parent of every top-level node), or nullptr.
  XmlNode* documentNode() const;
  // The last load's; all zero without a document.
  XmlStatus status() const;
  // Frees the document and its memory.
  void free();

 private:
  XmlTree::Document* doc_ = nullptr;
};
