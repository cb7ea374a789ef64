#include "xml/xml_document.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

// Streaming deeper than any test document goes keeps the whole tree.
void ignore(const XmlNode*, void*) {}
constexpr XmlElementStream kWholeTree{1 << 30, ignore, nullptr};

class XmlDocumentTest : public TempFolderTest {
 protected:
  // Writes bytes to a file in the test folder and loads it into document.
  bool load(const std::string& bytes, const XmlElementStream& stream = kWholeTree) {
    Text path = dir + u"doc.xml";
    writeFile(path, bytes);
    return document.load(path, stream);
  }

  XmlNode* loadRoot(const std::string& bytes) {
    EXPECT_TRUE(load(bytes));
    return document.root();
  }

  XmlDocument document;
};

// The n-th child (1-based) of any kind, and how many there are.
const XmlNode* child(const XmlNode* node, int n) {
  const XmlNode* child = node ? node->firstChild : nullptr;
  for (int i = 1; i < n && child; ++i) child = child->nextSibling;
  return child;
}
int childCount(const XmlNode* node) {
  int count = 0;
  for (const XmlNode* child = node->firstChild; child; child = child->nextSibling) ++count;
  return count;
}
Text name(const XmlNode* node) {
  return node->nameText ? Text(node->nameText) : Text();
}
Text attribute(const XmlNode* node, std::u16string_view name) {
  const char16_t* value = XmlNode::attributeText(node, name);
  return value ? Text(value) : Text();
}

std::string utf16le(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST_F(XmlDocumentTest, LineFeedsComeBackInTheFilesConvention) {
  const std::string body = "<r v='p&#10;q'><a>x\r\ny</a><b>x&#10;y</b><!--c\r\nd--></r>";
  XmlNode* root = loadRoot("<?xml version=\"1.0\"?>\r\n" + body);
  EXPECT_EQ(u"x\r\ny", XmlNode::text(child(root, 1)));
  EXPECT_EQ(u"x\r\ny", XmlNode::text(child(root, 2)));
  EXPECT_EQ(u"c\r\nd", XmlNode::text(child(root, 3)));
  // Attribute values keep expat's normalisation; text outside the root stays raw.
  EXPECT_EQ(u"p\nq", attribute(root, u"v"));
  EXPECT_EQ(u"\r\n", XmlNode::text(document.documentNode()));

  root = loadRoot("<?xml version=\"1.0\"?>\n<r><a>x\r\ny</a><b>x&#10;y</b></r>");
  EXPECT_EQ(u"x\ny", XmlNode::text(child(root, 1)));
  EXPECT_EQ(u"x\ny", XmlNode::text(child(root, 2)));

  root = loadRoot("<r>\r<a>x&#10;y</a></r>");
  EXPECT_EQ(u"x\ry", XmlNode::text(child(root, 1)));

  // A leading line feed says nothing about the convention.
  root = loadRoot("\n<r>\r\n<a>x&#10;y</a></r>");
  EXPECT_EQ(u"x\r\ny", XmlNode::text(child(root, 1)));

  // No line break at all: plain line feeds.
  root = loadRoot("<r>x&#10;y</r>");
  EXPECT_EQ(u"x\ny", XmlNode::text(root));
}

TEST_F(XmlDocumentTest, LineEndDetectionWorksChunkByChunk) {
  // The first 16384-byte chunk holds no line break, so its text keeps a plain
  // line feed; the CR LF in the second chunk fixes the convention from there on.
  std::string head = "<r><a>x&#10;y</a><f>";
  std::string bytes = head + std::string(16384 - head.size(), 'f') + "</f>\r\n<b>x&#10;y</b></r>";
  XmlNode* root = loadRoot(bytes);
  EXPECT_EQ(u"x\ny", XmlNode::text(child(root, 1)));
  EXPECT_EQ(u"x\r\ny", XmlNode::text(child(root, 3)));
  EXPECT_EQ(16384 - head.size(), XmlNode::text(child(root, 2)).size());

  // A pair cut by the chunk boundary is seen by neither chunk: the CR is the
  // first chunk's last byte and the LF the second chunk's skipped first one.
  bytes = "<r>" + std::string(16384 - 4, 'f') + "\r\n<b>x&#10;y</b>\n</r>";
  root = loadRoot(bytes);
  EXPECT_EQ(u"x\ny", XmlNode::text(child(root, 1)));

  // Once fixed, the convention holds for later chunks with other line ends.
  bytes = "<r>\r\n" + std::string(16384, 'f') + "<b>x&#10;y</b>\n\n</r>";
  root = loadRoot(bytes);
  EXPECT_EQ(u"x\r\ny", XmlNode::text(child(root, 1)));
}

TEST_F(XmlDocumentTest, CharacterDataJoinsTheInnermostOpenNode) {
  XmlNode* root =
      loadRoot("<r><s>a <e/> b</s><a>x<!--c-->y<b>z</b>w</a><d><![CDATA[<x>&]]></d></r>");
  const XmlNode* spaced = child(root, 1);
  EXPECT_EQ(u"a  b", XmlNode::text(spaced));
  EXPECT_EQ(1, childCount(spaced));

  const XmlNode* mixed = child(root, 2);
  EXPECT_EQ(u"xyw", XmlNode::text(mixed));
  ASSERT_EQ(2, childCount(mixed));
  EXPECT_EQ(kXmlCommentNode, child(mixed, 1)->kind);
  EXPECT_EQ(u"z", XmlNode::text(child(mixed, 2)));

  const XmlNode* holder = child(root, 3);
  EXPECT_EQ(u"", XmlNode::text(holder));
  ASSERT_EQ(1, childCount(holder));
  const XmlNode* cdata = child(holder, 1);
  EXPECT_EQ(kXmlCdataNode, cdata->kind);
  EXPECT_EQ(u"", name(cdata));
  EXPECT_EQ(u"<x>&", XmlNode::text(cdata));
  EXPECT_EQ(holder, cdata->parent);
  EXPECT_EQ(spaced, mixed->previousSibling);
}

TEST_F(XmlDocumentTest, TopLevelNodesBelongToTheDocumentNode) {
  XmlNode* root = loadRoot("<?xml version='1.0'?><!--top--><?go far?><r/><!--end-->");
  const XmlNode* top = document.documentNode();
  ASSERT_EQ(4, childCount(top));
  EXPECT_EQ(kXmlDocumentNode, top->kind);
  EXPECT_EQ(u"r", name(root));
  EXPECT_EQ(root, child(top, 3));
  EXPECT_EQ(kXmlCommentNode, child(top, 1)->kind);
  EXPECT_EQ(u"top", XmlNode::text(child(top, 1)));
  const XmlNode* instruction = child(top, 2);
  EXPECT_EQ(kXmlInstructionNode, instruction->kind);
  EXPECT_EQ(u"go", name(instruction));
  EXPECT_EQ(u"far", XmlNode::text(instruction));
  EXPECT_EQ(u"end", XmlNode::text(child(top, 4)));
}

TEST_F(XmlDocumentTest, AttributesMatchTheirWholeNameExactly) {
  XmlNode* root = loadRoot("<r Id='7' empty='' x:n='p' xmlns:x='u'><a/></r>");
  EXPECT_EQ(u"7", Text(XmlNode::attributeText(root, u"Id")));
  EXPECT_EQ(nullptr, XmlNode::attributeText(root, u"id"));
  EXPECT_EQ(u"", Text(XmlNode::attributeText(root, u"empty")));
  EXPECT_EQ(nullptr, XmlNode::attributeText(root, u"missing"));
  EXPECT_EQ(u"p", Text(XmlNode::attributeText(root, u"x:n")));
  EXPECT_EQ(u"u", Text(XmlNode::attributeText(root, u"xmlns:x")));
  EXPECT_EQ(nullptr, XmlNode::attributeText(child(root, 1), u"Id"));
  EXPECT_EQ(nullptr, XmlNode::attributeText(nullptr, u"Id"));
  EXPECT_EQ(u"", XmlNode::text(nullptr));
}

TEST_F(XmlDocumentTest, NamesAndTextsArriveAsUtf16) {
  XmlNode* root = loadRoot("<x:表 列=\"值&lt;\">文字 &#x1F600;&amp;</x:表>");
  EXPECT_EQ(u"x:表", name(root));
  EXPECT_EQ(u"值<", attribute(root, u"列"));
  EXPECT_EQ(u"文字 \U0001F600&", XmlNode::text(root));

  std::string bytes = "\xFF\xFE" + utf16le(u"<r a=\"é\">x\r\ny€</r>");
  root = loadRoot(bytes);
  EXPECT_EQ(u"r", name(root));
  EXPECT_EQ(u"é", attribute(root, u"a"));
  EXPECT_EQ(u"x\r\ny€", XmlNode::text(root));
}

// Texts around the size where the loader stops copying and hands its buffer
// over come back the same, in every line-end convention and across chunks.
TEST_F(XmlDocumentTest, TextsOfEverySizeComeBackWhole) {
  const std::u16string piece = u"a\u00e9\u8868\U0001F600\n";  // 1 to 4 UTF-8 bytes
  for (const char* lineEnd : {"\n", "\r\n", "\r"}) {
    for (size_t units : {size_t{1}, size_t{500}, size_t{511}, size_t{512}, size_t{513},
                         size_t{4000}, size_t{100000}}) {
      std::u16string text;
      while (text.size() < units) text += piece;
      std::u16string expected;
      for (char16_t unit : text) {
        if (unit == u'\n') expected += fromUtf8(lineEnd);
        else expected += unit;
      }
      // The attribute holds no line end, so the text's first one sets the convention.
      std::u16string value;
      for (char16_t unit : text.substr(0, units % 700))
        if (unit != u'\n') value += unit;
      XmlNode* root = loadRoot("<r a=\"" + toUtf8(value) + "\">" + toUtf8(expected) + "</r>");
      SCOPED_TRACE(testing::Message() << units << " units, line end " << int(lineEnd[0]));
      // Compared as a whole without printing: a failure would show 100,000 units.
      EXPECT_TRUE(expected == XmlNode::text(root));
      EXPECT_TRUE(value == attribute(root, u"a"));
    }
  }
}

TEST_F(XmlDocumentTest, FilesThatGiveNoDocument) {
  EXPECT_FALSE(document.load(u"", kWholeTree));
  EXPECT_FALSE(document.load(dir + u"absent.xml", kWholeTree));
  EXPECT_FALSE(document.load(dir, kWholeTree));
  EXPECT_FALSE(load(""));
  EXPECT_FALSE(load("<r/>", XmlElementStream{0, ignore, nullptr}));
  EXPECT_EQ(nullptr, document.documentNode());
  // A failed load leaves nothing of the document before it.
  ASSERT_TRUE(load("<first/>"));
  EXPECT_FALSE(document.load(dir + u"absent.xml", kWholeTree));
  EXPECT_EQ(nullptr, document.root());
  EXPECT_EQ(0, document.status().code);
}

TEST_F(XmlDocumentTest, FailedParsesKeepWhatWasBuilt) {
  ASSERT_TRUE(load(" "));
  EXPECT_EQ(nullptr, document.root());
  EXPECT_NE(nullptr, document.documentNode());
  EXPECT_EQ(XML_ERROR_NO_ELEMENTS, document.status().code);

  XmlNode* root = loadRoot("<r>abc<a/><b>t</b><c>def");
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(3, childCount(root));
  EXPECT_EQ(u"abc", XmlNode::text(root));
  EXPECT_EQ(u"t", XmlNode::text(child(root, 2)));
  EXPECT_EQ(u"def", XmlNode::text(child(root, 3)));
  EXPECT_NE(0, document.status().code);

  root = loadRoot("<r>\n  <a>x</b></r>");
  EXPECT_EQ(u"x", XmlNode::text(child(root, 1)));
  EXPECT_EQ(XML_ERROR_TAG_MISMATCH, document.status().code);
  EXPECT_EQ(2, document.status().line);
  EXPECT_EQ(9, document.status().column);  // expat points at the name

  EXPECT_TRUE(load("<?xml version='1.0' encoding='no-such-code'?><r/>"));
  EXPECT_EQ(nullptr, document.root());
  EXPECT_EQ(XML_ERROR_UNKNOWN_ENCODING, document.status().code);

  EXPECT_TRUE(load("<r>&undeclared;</r>"));
  EXPECT_EQ(XML_ERROR_UNDEFINED_ENTITY, document.status().code);

  EXPECT_TRUE(load("<r/>"));
  EXPECT_EQ(0, document.status().code);

  // Every parse error comes with its code and place.
  for (const char* xml : {"<r a=\"1\" a=\"2\"/>", "<r/><r/>", "no xml", "<r>\x01</r>",
                          "<?xml version=\"1.0\"?><r><![CDATA[x</r>", "<r>&#0;</r>"}) {
    ASSERT_TRUE(load(xml)) << xml;
    XmlStatus status = document.status();
    EXPECT_NE(0, status.code) << xml;
    EXPECT_FALSE(status.outOfMemory()) << xml;
    EXPECT_GE(status.line, 1) << xml;
    EXPECT_GE(status.column, 1) << xml;
  }
}

// A streamed load hands over each element at its depth as soon as it is
// read, whole and with its ancestors in place, then lets it go. A parse that
// stops inside one hands over what was read of it; other kinds of node at
// that depth are never seen, and the levels above stay as a full load has them.
TEST_F(XmlDocumentTest, StreamedElementsArriveWholeOneByOne) {
  std::vector<std::string> seen;
  auto take = [](const XmlNode* row, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(
        toUtf8(name(row->parent)) + "/" + toUtf8(name(row)) + " a=" + toUtf8(attribute(row, u"a")) +
        " " + std::to_string(childCount(row)) + " " + toUtf8(XmlNode::text(child(row, 1))) +
        (row->previousSibling ? " after" : ""));
  };
  const std::string longText(5000, 'z');
  writeFile(dir + u"rows.xml", "<r><head>h</head><rows><!--c--><row a='1'><c>x</c><c/></row>text"
                               "<row a='2'><c>" + longText + "</c></row><?pi d?></rows>"
                               "<rows><row a='3'/></rows></r>");
  ASSERT_TRUE(document.load(dir + u"rows.xml", XmlElementStream{3, take, &seen}));
  EXPECT_EQ(0, document.status().code);
  const std::vector<std::string> whole = {"rows/row a=1 2 x", "rows/row a=2 1 " + longText,
                                          "rows/row a=3 0 "};
  EXPECT_EQ(whole, seen);
  const XmlNode* root = document.root();
  ASSERT_EQ(3, childCount(root));
  EXPECT_EQ(u"h", XmlNode::text(child(root, 1)));
  EXPECT_EQ(0, childCount(child(root, 2)));
  EXPECT_EQ(u"text", XmlNode::text(child(root, 2)));

  seen.clear();
  writeFile(dir + u"cut.xml", "<r><rows><row a='1'><c>x</c></row><row a='2'><c>y</c><c>par");
  ASSERT_TRUE(document.load(dir + u"cut.xml", XmlElementStream{3, take, &seen}));
  EXPECT_NE(0, document.status().code);
  EXPECT_EQ((std::vector<std::string>{"rows/row a=1 1 x", "rows/row a=2 2 y"}), seen);
}

TEST_F(XmlDocumentTest, InternalEntitiesStayUnexpanded) {
  const std::string subset = "\n<!ENTITY e \"v\">\n<!ATTLIST r a CDATA #IMPLIED>\n";
  XmlNode* root = loadRoot("<!DOCTYPE r [" + subset + "<!--n-->]>\n<r a='&e;'>x&e;y&amp;</r>");
  EXPECT_EQ(u"x&e;y&", XmlNode::text(root));
  EXPECT_EQ(u"v", attribute(root, u"a"));
  const XmlNode* doctype = child(document.documentNode(), 1);
  ASSERT_EQ(kXmlDoctypeNode, doctype->kind);
  EXPECT_EQ(u"<!DOCTYPE r [" + fromUtf8(subset) + u"]>", XmlNode::text(doctype));
  // A comment in the subset has its own handler, so it is a node, not subset text.
  EXPECT_EQ(u"n", XmlNode::text(child(doctype, 1)));

  root = loadRoot("<!DOCTYPE r PUBLIC '-//p' 'a\"b'><r/>");
  EXPECT_EQ(u"<!DOCTYPE r PUBLIC \"-//p\" 'a\"b'>",
            XmlNode::text(child(document.documentNode(), 1)));
  root = loadRoot("<!DOCTYPE r SYSTEM 'r.dtd'><r/>");
  EXPECT_EQ(u"<!DOCTYPE r SYSTEM \"r.dtd\">", XmlNode::text(child(document.documentNode(), 1)));
  EXPECT_EQ(root, child(document.documentNode(), 2));
}

TEST_F(XmlDocumentTest, LargeAndDeepDocumentsLoad) {
  // Deeper than any recursion over the tree would survive.
  const int depth = 100000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<d>";
  deep += "bottom";
  for (int i = 0; i < depth; ++i) deep += "</d>";
  const XmlNode* node = loadRoot(deep);
  int levels = 0;
  for (; child(node, 1); node = child(node, 1)) ++levels;
  EXPECT_EQ(depth - 1, levels);
  EXPECT_EQ(u"bottom", XmlNode::text(node));
  EXPECT_EQ(0, document.status().code);

  // More UTF-16 text than the first arena block holds, a text longer than the
  // shared-block limit, and texts cut by chunk boundaries.
  const int count = 100000;
  std::string wide = "<r>";
  for (int i = 0; i < count; ++i)
    wide += "<c n='" + std::to_string(i) + "'>" + std::to_string(i) + "</c>";
  wide += "<long>" + std::string(40000, 'L') + "</long></r>";
  XmlNode* root = loadRoot(wide);
  ASSERT_EQ(count + 1, childCount(root));
  int checked = 0;
  for (XmlNode* c = root->firstChild; c && c->nextSibling; c = c->nextSibling, ++checked) {
    Text number = fromUtf8(std::to_string(checked));
    if (XmlNode::text(c) != number || attribute(c, u"n") != number) break;
  }
  EXPECT_EQ(count, checked);
  EXPECT_EQ(Text(40000, u'L'), XmlNode::text(child(root, count + 1)));

  // One start tag spanning hundreds of chunks, then ordinary content again.
  std::string value(8 << 20, 'v');
  XmlNode* big = loadRoot("<r a='" + value + "'><c>after</c></r>");
  EXPECT_EQ(fromUtf8(value), attribute(big, u"a"));
  EXPECT_EQ(u"after", XmlNode::text(child(big, 1)));
}

}  // namespace
