// The XML document loader on arbitrary bytes: load, walk the whole tree
// checking that its links agree, look nodes up by path, free.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "xml/xml_document.h"

namespace {

constexpr const char* kTarget = "xml_document";
// A handle other than the readers' own, and one past the first slot so the
// handle table has to grow.
constexpr int kHandle = 3;

void check(bool condition, const char* what) {
  if (!condition) fail(kTarget, what);
}

// Depth-first over the tree without recursion (documents may nest deeply);
// checks the links and touches every accessor. Returns the nodes visited.
int64_t walk(XmlNode* top) {
  int64_t visited = 0;
  XmlNode* node = top;
  while (node) {
    ++visited;
    check(node->document == kHandle, "a node names another document");
    check(node->kind <= kXmlInstructionNode, "a node has an unknown kind");
    Text name = XmlNode::name(node);
    Text text = XmlNode::text(node);
    Text r = XmlNode::attribute(node, u"r");
    Text t = XmlNode::attribute(node, u"t");
    check(node->attributeCount >= 0, "negative attribute count");
    check(node->attributeCount == 0 || node->attributes, "attributes counted but missing");
    check(node->kind == kXmlElementNode || node->attributeCount == 0,
          "attributes on a node that is not an element");
    (void)name, (void)text, (void)r, (void)t;

    int64_t children = 0;
    XmlNode* previous = nullptr;
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
      ++children;
      check(child->parent == node, "a child's parent link is wrong");
      check(child->previousSibling == previous, "a sibling's back link is wrong");
      previous = child;
    }
    check(XmlNode::childCount(node) == children, "childCount disagrees with the chain");
    check(XmlNode::child(node, children + 1) == nullptr, "child past the end is not nullptr");
    if (children > 0) {
      check(XmlNode::child(node, children) == previous, "the last child is not found");
      check(XmlNode::child(node, 0) == node->firstChild, "child(0) is not the first");
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

void lookUpPaths(XmlNode* root) {
  XmlNode* document = XmlDocument::documentNode(kHandle);
  static const char16_t* const kPaths[] = {
      u"sheetData", u"sheetData/row[2]/c", u"/#comment", u"/#dtd", u"/#instruction[2]",
      u"*", u"*[3]/*", u"a/b[2]/*", u"/*/*[0]", u"*[]", u"[1]", u"//", u"si[99999999999999999999]",
  };
  for (const char16_t* path : kPaths) {
    XmlNode* found = XmlNode::fromPath(root, path);
    check(!found || found->document == kHandle, "a path led into another document");
  }
  if (root) {
    Text first = u"/" + XmlNode::name(root);
    check(XmlNode::fromPath(root, first) == XmlNode::fromPath(document, first.substr(1)),
          "an absolute path depends on its start");
    if (XmlNode* child = root->firstChild; child && child->kind == kXmlElementNode)
      check(XmlNode::fromPath(root, XmlNode::name(child)) != nullptr,
            "the first element child is not found by its name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  startLibraries();
  Text path = scratch().work + u"document.xml";
  writeBytes(path, data, size);
  bool loaded = XmlDocument::loadFile(kHandle, path);
  check(size > 0 || !loaded, "an empty file was loaded");
  if (loaded) {
    XmlNode* document = XmlDocument::documentNode(kHandle);
    XmlNode* root = XmlDocument::root(kHandle);
    check(document != nullptr, "a loaded document has no document node");
    check(document->kind == kXmlDocumentNode, "the document node has the wrong kind");
    check(!root || (root->kind == kXmlElementNode && root->parent == document),
          "the root is not a top-level element");
    walk(document);
    lookUpPaths(root);
    int code = XmlDocument::statusCode(kHandle);
    Text message = XmlDocument::statusMessage(kHandle);
    check(code >= 0, "negative status");
    // Codes past the ones every expat names may come without a message.
    check(code < 1 || code > 40 || !message.empty(), "a parse error has no message");
    check(XmlDocument::statusLine(kHandle) >= 0 && XmlDocument::statusColumn(kHandle) >= 0,
          "negative position");
  } else {
    check(XmlDocument::documentNode(kHandle) == nullptr, "a refused load left a document behind");
  }
  XmlDocument::free(kHandle);
  check(XmlDocument::documentNode(kHandle) == nullptr, "free left the document");
  return 0;
}
