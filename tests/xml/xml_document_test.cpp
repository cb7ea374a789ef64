#include "xml/xml_document.h"

#include <expat.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

class XmlDocumentTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    XmlDocument::startup();
  }
  void TearDown() override {
    XmlDocument::shutdown();
    TempFolderTest::TearDown();
  }

  // Writes bytes to a file in the test folder and loads it under handle.
  bool load(int handle, const std::string& bytes, const char* name = "doc.xml") {
    Text path = dir + fromUtf8(name);
    writeFile(path, bytes);
    return XmlDocument::loadFile(handle, path);
  }

  // Loads bytes under handle 0 and gives the root element.
  XmlNode* loadRoot(const std::string& bytes) {
    EXPECT_TRUE(load(0, bytes));
    return XmlDocument::root(0);
  }
};

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
  EXPECT_EQ(u"x\r\ny", XmlNode::text(XmlNode::child(root, 1)));
  EXPECT_EQ(u"x\r\ny", XmlNode::text(XmlNode::child(root, 2)));
  EXPECT_EQ(u"c\r\nd", XmlNode::text(XmlNode::child(root, 3)));
  // Attribute values keep expat's normalisation; text outside the root stays raw.
  EXPECT_EQ(u"p\nq", XmlNode::attribute(root, u"v"));
  EXPECT_EQ(u"\r\n", XmlNode::text(XmlDocument::documentNode(0)));

  root = loadRoot("<?xml version=\"1.0\"?>\n<r><a>x\r\ny</a><b>x&#10;y</b></r>");
  EXPECT_EQ(u"x\ny", XmlNode::text(XmlNode::child(root, 1)));
  EXPECT_EQ(u"x\ny", XmlNode::text(XmlNode::child(root, 2)));

  root = loadRoot("<r>\r<a>x&#10;y</a></r>");
  EXPECT_EQ(u"x\ry", XmlNode::text(XmlNode::child(root, 1)));

  // A leading line feed says nothing about the convention.
  root = loadRoot("\n<r>\r\n<a>x&#10;y</a></r>");
  EXPECT_EQ(u"x\r\ny", XmlNode::text(XmlNode::child(root, 1)));

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
  EXPECT_EQ(u"x\ny", XmlNode::text(XmlNode::fromPath(root, u"a")));
  EXPECT_EQ(u"x\r\ny", XmlNode::text(XmlNode::fromPath(root, u"b")));
  EXPECT_EQ(16384 - head.size(), XmlNode::text(XmlNode::fromPath(root, u"f")).size());

  // A pair cut by the chunk boundary is seen by neither chunk: the CR is the
  // first chunk's last byte and the LF the second chunk's skipped first one.
  bytes = "<r>" + std::string(16384 - 4, 'f') + "\r\n<b>x&#10;y</b>\n</r>";
  root = loadRoot(bytes);
  EXPECT_EQ(u"x\ny", XmlNode::text(XmlNode::fromPath(root, u"b")));

  // Once fixed, the convention holds for later chunks with other line ends.
  bytes = "<r>\r\n" + std::string(16384, 'f') + "<b>x&#10;y</b>\n\n</r>";
  root = loadRoot(bytes);
  EXPECT_EQ(u"x\r\ny", XmlNode::text(XmlNode::fromPath(root, u"b")));
}

TEST_F(XmlDocumentTest, CharacterDataJoinsTheInnermostOpenNode) {
  XmlNode* root =
      loadRoot("<r><s>a <e/> b</s><a>x<!--c-->y<b>z</b>w</a><d><![CDATA[<x>&]]></d></r>");
  XmlNode* spaced = XmlNode::child(root, 1);
  EXPECT_EQ(u"a  b", XmlNode::text(spaced));
  EXPECT_EQ(1, XmlNode::childCount(spaced));

  XmlNode* mixed = XmlNode::child(root, 2);
  EXPECT_EQ(u"xyw", XmlNode::text(mixed));
  ASSERT_EQ(2, XmlNode::childCount(mixed));
  EXPECT_EQ(kXmlCommentNode, XmlNode::child(mixed, 1)->kind);
  EXPECT_EQ(u"z", XmlNode::text(XmlNode::child(mixed, 2)));

  XmlNode* holder = XmlNode::child(root, 3);
  EXPECT_EQ(u"", XmlNode::text(holder));
  ASSERT_EQ(1, XmlNode::childCount(holder));
  XmlNode* cdata = XmlNode::child(holder, 1);
  EXPECT_EQ(kXmlCdataNode, cdata->kind);
  EXPECT_EQ(u"", XmlNode::name(cdata));
  EXPECT_EQ(u"<x>&", XmlNode::text(cdata));
  EXPECT_EQ(holder, cdata->parent);
  EXPECT_EQ(spaced, mixed->previousSibling);
}

TEST_F(XmlDocumentTest, TopLevelNodesBelongToTheDocumentNode) {
  XmlNode* root = loadRoot("<?xml version='1.0'?><!--top--><?go far?><r/><!--end-->");
  XmlNode* document = XmlDocument::documentNode(0);
  ASSERT_EQ(4, XmlNode::childCount(document));
  EXPECT_EQ(kXmlDocumentNode, document->kind);
  EXPECT_EQ(u"r", XmlNode::name(root));
  EXPECT_EQ(root, XmlNode::child(document, 3));

  XmlNode* comment = XmlNode::fromPath(root, u"/#comment");
  EXPECT_EQ(XmlNode::child(document, 1), comment);
  EXPECT_EQ(u"top", XmlNode::text(comment));
  XmlNode* instruction = XmlNode::fromPath(root, u"/#instruction");
  EXPECT_EQ(u"go", XmlNode::name(instruction));
  EXPECT_EQ(u"far", XmlNode::text(instruction));
  EXPECT_EQ(u"end", XmlNode::text(XmlNode::fromPath(root, u"/#comment[2]")));
}

TEST_F(XmlDocumentTest, ChildAndAttributeAccess) {
  XmlNode* root = loadRoot("<r Id='7' empty='' x:n='p' xmlns:x='u'><a/><b/><c/></r>");
  EXPECT_EQ(3, XmlNode::childCount(root));
  EXPECT_EQ(u"a", XmlNode::name(XmlNode::child(root, 0)));
  EXPECT_EQ(u"a", XmlNode::name(XmlNode::child(root, -5)));
  EXPECT_EQ(u"c", XmlNode::name(XmlNode::child(root, 3)));
  EXPECT_EQ(nullptr, XmlNode::child(root, 4));
  XmlNode* leaf = XmlNode::child(root, 1);
  EXPECT_EQ(0, XmlNode::childCount(leaf));
  EXPECT_EQ(nullptr, XmlNode::child(leaf, 1));
  EXPECT_EQ(nullptr, XmlNode::child(leaf, 0));

  EXPECT_EQ(u"7", XmlNode::attribute(root, u"Id"));
  EXPECT_EQ(u"", XmlNode::attribute(root, u"id"));
  EXPECT_EQ(u"", XmlNode::attribute(root, u"empty"));
  EXPECT_EQ(u"", XmlNode::attribute(root, u"missing"));
  EXPECT_EQ(u"p", XmlNode::attribute(root, u"x:n"));
  EXPECT_EQ(u"u", XmlNode::attribute(root, u"xmlns:x"));
  EXPECT_EQ(u"", XmlNode::attribute(leaf, u"Id"));

  EXPECT_EQ(u"", XmlNode::name(nullptr));
  EXPECT_EQ(u"", XmlNode::text(nullptr));
  EXPECT_EQ(u"", XmlNode::attribute(nullptr, u"Id"));
  EXPECT_EQ(0, XmlNode::childCount(nullptr));
  EXPECT_EQ(nullptr, XmlNode::child(nullptr, 1));
  EXPECT_EQ(nullptr, XmlNode::fromPath(nullptr, u"/"));
}

TEST_F(XmlDocumentTest, NamesAndTextsArriveAsUtf16) {
  XmlNode* root = loadRoot("<x:表 列=\"值&lt;\">文字 &#x1F600;&amp;</x:表>");
  EXPECT_EQ(u"x:表", XmlNode::name(root));
  EXPECT_EQ(u"值<", XmlNode::attribute(root, u"列"));
  EXPECT_EQ(u"文字 \U0001F600&", XmlNode::text(root));

  std::string bytes = "\xFF\xFE" + utf16le(u"<r a=\"é\">x\r\ny€</r>");
  root = loadRoot(bytes);
  EXPECT_EQ(u"r", XmlNode::name(root));
  EXPECT_EQ(u"é", XmlNode::attribute(root, u"a"));
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
      std::u16string attribute;
      for (char16_t unit : text.substr(0, units % 700))
        if (unit != u'\n') attribute += unit;
      XmlNode* root = loadRoot("<r a=\"" + toUtf8(attribute) + "\">" + toUtf8(expected) + "</r>");
      SCOPED_TRACE(testing::Message() << units << " units, line end " << int(lineEnd[0]));
      // Compared as a whole without printing: a failure would show 100,000 units.
      EXPECT_TRUE(expected == XmlNode::text(root));
      EXPECT_TRUE(attribute == XmlNode::attribute(root, u"a"));
    }
  }
}

// Every parse error comes with its place and plain Chinese words; the
// diagnostic English text stays where it was.
TEST_F(XmlDocumentTest, ParseErrorsHaveChineseWords) {
  EXPECT_TRUE(load(0, "<r/>"));
  EXPECT_EQ(u"", XmlDocument::statusWords(0));
  const char* const broken[] = {
      "<r><a></b></r>", "<r a=\"1\" a=\"2\"/>", "<r>&nope;</r>", "<r/><r/>", "<r><a",
      "no xml", "<r>\x01</r>", "<?xml version=\"1.0\"?><r><![CDATA[x</r>",
      "<r>&#0;</r>", "<?xml version=\"1.0\" encoding=\"klingon\"?><r/>",
  };
  for (const char* xml : broken) {
    ASSERT_TRUE(load(0, xml)) << xml;
    EXPECT_NE(0, XmlDocument::statusCode(0)) << xml;
    Text words = XmlDocument::statusWords(0);
    EXPECT_FALSE(words.empty()) << xml;
    bool english = false;
    for (size_t i = 0; i + 1 < words.size(); ++i)
      english = english || (words[i] >= u'a' && words[i] <= u'z');
    EXPECT_FALSE(english) << xml << ": " << toUtf8(words);
    EXPECT_GE(XmlDocument::statusLine(0), 1) << xml;
    EXPECT_GE(XmlDocument::statusColumn(0), 1) << xml;
  }
  ASSERT_TRUE(load(0, "<r>\n  <a></b>\n</r>"));
  EXPECT_EQ(u"开始标记与结束标记不一致", XmlDocument::statusWords(0));
  EXPECT_EQ(2, XmlDocument::statusLine(0));
  EXPECT_EQ(8, XmlDocument::statusColumn(0));
}

TEST_F(XmlDocumentTest, PathsSelectByNameKindAndPosition) {
  XmlNode* root = loadRoot(
      "<r><a/><b/><a id='2'/><!--1--><!--2--><![CDATA[c]]><?p x?><sub><a id='deep'/></sub></r>");
  XmlNode* document = XmlDocument::documentNode(0);
  EXPECT_EQ(root, XmlNode::fromPath(root, u""));
  EXPECT_EQ(document, XmlNode::fromPath(root, u"/"));
  EXPECT_EQ(root, XmlNode::fromPath(XmlNode::child(root, 2), u"/r"));
  EXPECT_EQ(u"2", XmlNode::attribute(XmlNode::fromPath(root, u"a[2]"), u"id"));
  EXPECT_EQ(u"2", XmlNode::attribute(XmlNode::fromPath(root, u"/r/a[2]"), u"id"));
  EXPECT_EQ(u"2", XmlNode::attribute(XmlNode::fromPath(root, u"a[x2y]"), u"id"));
  EXPECT_EQ(u"deep", XmlNode::attribute(XmlNode::fromPath(root, u"sub/a/"), u"id"));
  EXPECT_EQ(XmlNode::child(root, 1), XmlNode::fromPath(root, u"a[0]"));
  EXPECT_EQ(XmlNode::child(root, 1), XmlNode::fromPath(root, u"a[]"));
  EXPECT_EQ(XmlNode::child(root, 1), XmlNode::fromPath(root, u"a[2"));
  EXPECT_EQ(XmlNode::child(root, 2), XmlNode::fromPath(root, u"*[2]"));
  EXPECT_EQ(XmlNode::child(root, 7), XmlNode::fromPath(root, u"*[7]"));
  EXPECT_EQ(u"2", XmlNode::text(XmlNode::fromPath(root, u"#comment[2]")));
  EXPECT_EQ(u"c", XmlNode::text(XmlNode::fromPath(root, u"#cdata")));
  EXPECT_EQ(u"p", XmlNode::name(XmlNode::fromPath(root, u"#instruction")));

  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"a[3]"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"A"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"su"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"sub//a"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"//"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"#comment[3]"));
  EXPECT_EQ(nullptr, XmlNode::fromPath(root, u"/#dtd"));

  XmlDocument::free(0);
  EXPECT_EQ(nullptr, XmlDocument::documentNode(0));
}

TEST_F(XmlDocumentTest, FilesThatGiveNoDocument) {
  EXPECT_FALSE(XmlDocument::loadFile(0, u""));
  EXPECT_FALSE(XmlDocument::loadFile(0, dir + u"absent.xml"));
  EXPECT_FALSE(XmlDocument::loadFile(0, dir));
  EXPECT_FALSE(load(0, ""));
  EXPECT_FALSE(load(-2, "<r/>"));
  EXPECT_EQ(nullptr, XmlDocument::documentNode(0));
}

TEST_F(XmlDocumentTest, FailedParsesKeepWhatWasBuilt) {
  ASSERT_TRUE(load(0, " "));
  EXPECT_EQ(nullptr, XmlDocument::root(0));
  EXPECT_NE(nullptr, XmlDocument::documentNode(0));
  EXPECT_EQ(XML_ERROR_NO_ELEMENTS, XmlDocument::statusCode(0));
  EXPECT_EQ(u"no element found", XmlDocument::statusMessage(0));

  XmlNode* root = loadRoot("<r>abc<a/><b>t</b><c>def");
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(3, XmlNode::childCount(root));
  EXPECT_EQ(u"abc", XmlNode::text(root));
  EXPECT_EQ(u"t", XmlNode::text(XmlNode::child(root, 2)));
  EXPECT_EQ(u"def", XmlNode::text(XmlNode::child(root, 3)));
  EXPECT_NE(0, XmlDocument::statusCode(0));

  root = loadRoot("<r>\n  <a>x</b></r>");
  EXPECT_EQ(u"x", XmlNode::text(XmlNode::child(root, 1)));
  EXPECT_EQ(XML_ERROR_TAG_MISMATCH, XmlDocument::statusCode(0));
  EXPECT_EQ(2, XmlDocument::statusLine(0));
  EXPECT_EQ(9, XmlDocument::statusColumn(0));  // expat points at the name
  EXPECT_EQ(u"mismatched tag", XmlDocument::statusMessage(0));

  EXPECT_TRUE(load(0, "<?xml version='1.0' encoding='no-such-code'?><r/>"));
  EXPECT_EQ(nullptr, XmlDocument::root(0));
  EXPECT_EQ(XML_ERROR_UNKNOWN_ENCODING, XmlDocument::statusCode(0));

  EXPECT_TRUE(load(0, "<r>&undeclared;</r>"));
  EXPECT_EQ(XML_ERROR_UNDEFINED_ENTITY, XmlDocument::statusCode(0));

  EXPECT_TRUE(load(0, "<r/>"));
  EXPECT_EQ(0, XmlDocument::statusCode(0));
  EXPECT_EQ(u"", XmlDocument::statusMessage(0));
}

// A streamed load hands over each element at its depth as soon as it is
// read, whole and with its ancestors in place, then lets it go. A parse that
// stops inside one hands over what was read of it; other kinds of node at
// that depth are never seen, and the levels above stay as a full load has them.
TEST_F(XmlDocumentTest, StreamedElementsArriveWholeOneByOne) {
  std::vector<std::string> seen;
  auto take = [](const XmlNode* row, void* context) {
    static_cast<std::vector<std::string>*>(context)->push_back(
        toUtf8(XmlNode::name(row->parent)) + "/" + toUtf8(XmlNode::name(row)) + " a=" +
        toUtf8(XmlNode::attribute(row, u"a")) + " " + std::to_string(XmlNode::childCount(row)) +
        " " + toUtf8(XmlNode::text(XmlNode::child(row, 1))) + (row->previousSibling ? " after" : ""));
  };
  const std::string longText(5000, 'z');
  writeFile(dir + u"rows.xml", "<r><head>h</head><rows><!--c--><row a='1'><c>x</c><c/></row>text"
                               "<row a='2'><c>" + longText + "</c></row><?pi d?></rows>"
                               "<rows><row a='3'/></rows></r>");
  ASSERT_TRUE(XmlDocument::loadFile(0, dir + u"rows.xml", XmlElementStream{3, take, &seen}));
  EXPECT_EQ(0, XmlDocument::statusCode(0));
  const std::vector<std::string> whole = {"rows/row a=1 2 x", "rows/row a=2 1 " + longText,
                                          "rows/row a=3 0 "};
  EXPECT_EQ(whole, seen);
  XmlNode* root = XmlDocument::root(0);
  ASSERT_EQ(3, XmlNode::childCount(root));
  EXPECT_EQ(u"h", XmlNode::text(XmlNode::child(root, 1)));
  EXPECT_EQ(0, XmlNode::childCount(XmlNode::child(root, 2)));
  EXPECT_EQ(u"text", XmlNode::text(XmlNode::child(root, 2)));

  seen.clear();
  writeFile(dir + u"cut.xml", "<r><rows><row a='1'><c>x</c></row><row a='2'><c>y</c><c>par");
  ASSERT_TRUE(XmlDocument::loadFile(0, dir + u"cut.xml", XmlElementStream{3, take, &seen}));
  EXPECT_NE(0, XmlDocument::statusCode(0));
  EXPECT_EQ((std::vector<std::string>{"rows/row a=1 1 x", "rows/row a=2 2 y"}), seen);
}

TEST_F(XmlDocumentTest, HandlesHoldIndependentDocuments) {
  ASSERT_TRUE(load(0, "<first/>", "first.xml"));
  EXPECT_FALSE(XmlDocument::loadFile(0, dir + u"absent.xml"));
  EXPECT_FALSE(load(0, "", "empty.xml"));
  EXPECT_EQ(u"first", XmlNode::name(XmlDocument::root(0)));

  ASSERT_TRUE(load(20, "<far/>", "far.xml"));
  ASSERT_TRUE(load(0, "<second><k/></second>", "second.xml"));
  XmlNode* second = XmlDocument::root(0);
  EXPECT_EQ(u"second", XmlNode::name(second));
  EXPECT_EQ(u"k", XmlNode::name(XmlNode::child(second, 1)));
  EXPECT_EQ(0, XmlNode::child(second, 1)->document);
  EXPECT_EQ(u"far", XmlNode::name(XmlDocument::root(20)));
  EXPECT_EQ(20, XmlDocument::root(20)->document);
  EXPECT_EQ(nullptr, XmlDocument::root(5));
  EXPECT_EQ(nullptr, XmlDocument::root(1000));

  XmlDocument::free(0);
  EXPECT_EQ(nullptr, XmlDocument::root(0));
  EXPECT_NE(nullptr, XmlDocument::root(20));
  XmlDocument::free(0);
  XmlDocument::free(-1);
  EXPECT_EQ(nullptr, XmlDocument::root(20));
}

TEST_F(XmlDocumentTest, InternalEntitiesStayUnexpanded) {
  const std::string subset = "\n<!ENTITY e \"v\">\n<!ATTLIST r a CDATA #IMPLIED>\n";
  XmlNode* root = loadRoot("<!DOCTYPE r [" + subset + "<!--n-->]>\n<r a='&e;'>x&e;y&amp;</r>");
  EXPECT_EQ(u"x&e;y&", XmlNode::text(root));
  EXPECT_EQ(u"v", XmlNode::attribute(root, u"a"));
  XmlNode* doctype = XmlNode::fromPath(root, u"/#dtd");
  ASSERT_NE(nullptr, doctype);
  EXPECT_EQ(XmlDocument::documentNode(0), doctype->parent);
  EXPECT_EQ(u"<!DOCTYPE r [" + fromUtf8(subset) + u"]>", XmlNode::text(doctype));
  // A comment in the subset has its own handler, so it is a node, not subset text.
  EXPECT_EQ(u"n", XmlNode::text(XmlNode::fromPath(doctype, u"#comment")));

  root = loadRoot("<!DOCTYPE r PUBLIC '-//p' 'a\"b'><r/>");
  EXPECT_EQ(u"<!DOCTYPE r PUBLIC \"-//p\" 'a\"b'>",
            XmlNode::text(XmlNode::fromPath(root, u"/#dtd")));
  root = loadRoot("<!DOCTYPE r SYSTEM 'r.dtd'><r/>");
  EXPECT_EQ(u"<!DOCTYPE r SYSTEM \"r.dtd\">", XmlNode::text(XmlNode::fromPath(root, u"/#dtd")));
  EXPECT_EQ(root, XmlNode::child(XmlDocument::documentNode(0), 2));
}

TEST_F(XmlDocumentTest, LargeAndDeepDocumentsLoad) {
  // Deeper than any recursion over the tree would survive.
  const int depth = 100000;
  std::string deep;
  for (int i = 0; i < depth; ++i) deep += "<d>";
  deep += "bottom";
  for (int i = 0; i < depth; ++i) deep += "</d>";
  XmlNode* node = loadRoot(deep);
  int levels = 0;
  for (; XmlNode::child(node, 1); node = XmlNode::child(node, 1)) ++levels;
  EXPECT_EQ(depth - 1, levels);
  EXPECT_EQ(u"bottom", XmlNode::text(node));
  EXPECT_EQ(0, XmlDocument::statusCode(0));

  // More UTF-16 text than the first arena block holds, a text longer than the
  // shared-block limit, and texts cut by chunk boundaries.
  const int count = 100000;
  std::string wide = "<r>";
  for (int i = 0; i < count; ++i)
    wide += "<c n='" + std::to_string(i) + "'>" + std::to_string(i) + "</c>";
  wide += "<long>" + std::string(40000, 'L') + "</long></r>";
  XmlNode* root = loadRoot(wide);
  ASSERT_EQ(count + 1, XmlNode::childCount(root));
  int checked = 0;
  for (XmlNode* c = root->firstChild; c && c->nextSibling; c = c->nextSibling, ++checked) {
    Text number = fromUtf8(std::to_string(checked));
    if (XmlNode::text(c) != number || XmlNode::attribute(c, u"n") != number) break;
  }
  EXPECT_EQ(count, checked);
  EXPECT_EQ(Text(40000, u'L'), XmlNode::text(XmlNode::fromPath(root, u"long")));

  // One start tag spanning hundreds of chunks, then ordinary content again.
  std::string value(8 << 20, 'v');
  XmlNode* big = loadRoot("<r a='" + value + "'><c>after</c></r>");
  EXPECT_EQ(fromUtf8(value), XmlNode::attribute(big, u"a"));
  EXPECT_EQ(u"after", XmlNode::text(XmlNode::fromPath(big, u"c")));
  EXPECT_FALSE(XmlDocument::loadFile(1 << 20, dir + u"doc.xml"));  // no such table
}

}  // namespace
