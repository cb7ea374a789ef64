// The XML document loader on arbitrary bytes: load, streaming the elements
// at the depth of a sheet's rows as the worksheet reader does; walk each
// element handed over and the tree left afterwards, checking that their
// links agree; free.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "xml/xml_document.h"

namespace {

constexpr const char* kTarget = "xml_document";
constexpr int kRowDepth = 3;

void check(bool condition, const char* what) {
  if (!condition) fail(kTarget, what);
}

// Depth-first over the tree without recursion (documents may nest deeply);
// checks the links and touches every accessor. Returns the nodes visited.
int64_t walk(const XmlNode* top) {
  int64_t visited = 0;
  const XmlNode* node = top;
  while (node) {
    ++visited;
    check(node->kind <= kXmlInstructionNode, "a node has an unknown kind");
    Text text = XmlNode::text(node);
    const char16_t* r = XmlNode::attributeText(node, u"r");
    const char16_t* t = XmlNode::attributeText(node, u"t");
    check(node->attributeCount >= 0, "negative attribute count");
    check(node->attributeCount == 0 || node->attributes, "attributes counted but missing");
    check(node->kind == kXmlElementNode || node->attributeCount == 0,
          "attributes on a node that is not an element");
    (void)text, (void)r, (void)t;

    const XmlNode* previous = nullptr;
    for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) {
      check(child->parent == node, "a child's parent link is wrong");
      check(child->previousSibling == previous, "a sibling's back link is wrong");
      previous = child;
    }

    if (node->firstChild) {
      node = node->firstChild;
      continue;
    }
    while (node && node != top && !node->nextSibling) node = node->parent;
    node = node && node != top ? node->nextSibling : nullptr;
  }
  return visited;
}

// A row as it is handed over: an element at its depth, its ancestors in place.
void takeRow(const XmlNode* row, void* context) {
  check(row->kind == kXmlElementNode, "a node handed over is not an element");
  int depth = 0;
  for (const XmlNode* up = row; up->parent; up = up->parent) ++depth;
  check(depth == kRowDepth, "an element handed over from another depth");
  *static_cast<int64_t*>(context) += walk(row);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  prepareProcess();
  Text path = scratch().work + u"document.xml";
  writeBytes(path, data, size);
  XmlDocument document;
  int64_t taken = 0;
  bool loaded = document.load(path, XmlElementStream{kRowDepth, takeRow, &taken});
  check(size > 0 || !loaded, "an empty file was loaded");
  if (loaded) {
    const XmlNode* top = document.documentNode();
    const XmlNode* root = document.root();
    check(top != nullptr, "a loaded document has no document node");
    check(top->kind == kXmlDocumentNode, "the document node has the wrong kind");
    check(!root || (root->kind == kXmlElementNode && root->parent == top),
          "the root is not a top-level element");
    walk(top);
    XmlStatus status = document.status();
    check(status.code >= 0, "negative status");
    check(status.line >= 0 && status.column >= 0, "negative position");
  } else {
    check(document.documentNode() == nullptr, "a refused load left a document behind");
  }
  document.free();
  check(document.documentNode() == nullptr, "free left the document");
  return 0;
}
