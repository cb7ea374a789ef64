#pragma once
// A read-only XML document tree built from expat's event stream. Documents are
// addressed by caller-chosen handles; the handle table and the node pool each
// have their own lock. One thread at a time may load, walk or free a given
// document.

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

// A node of a loaded document. The fields belong to the loader; callers use the
// static operations, each of which accepts nullptr and then gives the empty
// text, 0 or nullptr.
struct XmlNode {
  XmlNode* parent;
  XmlNode* firstChild;
  XmlNode* previousSibling;
  XmlNode* nextSibling;
  const char16_t* nameText;  // nullptr for none
  const char16_t* textText;  // nullptr for none
  XmlAttribute* attributes;
  int32_t attributeCount;
  int32_t document;  // handle of the owning document
  uint16_t kind;
  // How long the parent's text was when this node began: where the text of a
  // CDATA section stands among its element's own character data.
  uint32_t textPosition;

  static Text name(const XmlNode* node);
  static Text text(const XmlNode* node);
  // Value of the first attribute whose name equals name exactly; empty when absent.
  static Text attribute(const XmlNode* node, const Text& name);
  // The same without a copy: the value in the document, valid until it is
  // freed; nullptr when absent.
  static const char16_t* attributeText(const XmlNode* node, std::u16string_view name);
  // Walks the whole sibling chain.
  static int64_t childCount(const XmlNode* node);
  // The n-th child (1-based) of any kind; the first for n <= 1; nullptr past the end.
  static XmlNode* child(const XmlNode* node, int64_t n);
  // The node a path such as "sheetData", "/#comment" or "a/b[2]/*" leads to.
  static XmlNode* fromPath(const XmlNode* node, const Text& path);
};

namespace XmlDocument {

// Creates the handle table and the node pool; runs once before the first load.
void startup();
// Frees every document, then releases the node pool. A document that another
// thread is still loading is left alone, and the pool with it; a caller must
// not shut down while a reader is still walking a tree.
void shutdown();
// True when a document now exists under handle, also after a parse error (the
// tree then holds what was built before it). False for an empty path, a missing,
// unreadable, empty or 2 GiB file, or a parser that cannot be made; a document
// already under handle then stays usable.
bool loadFile(int handle, const Text& path);
// As above, but each element at stream.depth goes to stream.take as soon as
// its end tag is read (or with what was read of it, when the parse stops
// inside it), and is then freed with everything below it: a document of many
// such elements never exists whole. Its ancestors are in the tree when it is
// taken, its earlier siblings no longer are. Other nodes at that depth are
// dropped unseen, so the tree left afterwards holds only the levels above.
bool loadFile(int handle, const Text& path, const XmlElementStream& stream);
// The first element created by the parse, or nullptr.
XmlNode* root(int handle);
// The document node (parent of every top-level node), or nullptr.
XmlNode* documentNode(int handle);
// Frees the document under handle, or for -1 every document not being loaded.
void free(int handle);

// Parse status kept for diagnosis: 0 when the whole file parsed, else expat's
// error code, 1 when expat gave no buffer, 256 for a short read.
int statusCode(int handle);
Text statusMessage(int handle);
int64_t statusLine(int handle);
int64_t statusColumn(int handle);
// The parse status in plain Chinese words for a person ("标记不匹配" …);
// empty when the whole file parsed.
Text statusWords(int handle);

}  // namespace XmlDocument
