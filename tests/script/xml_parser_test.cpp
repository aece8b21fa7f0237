#include "script/xml_parser.h"

#include <gtest/gtest.h>

#include "platform/xml/xml_document.h"
#include "support/capture_stdout.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

struct Loaded {
  bool ok;
  TagList tags;
  std::string out;
};

Loaded LoadText(std::string_view text) {
  CaptureStdout out;
  XMLParser parser;
  const bool ok = parser.LoadText(text);
  return {ok, parser.Tags(), out.Text()};
}

TEST(XMLParser, RootThenElementChildrenInDocumentOrder) {
  const Loaded loaded = LoadText(R"(<?xml version="1.0"?>
<!-- before the root -->
<talmora width="640">
  <text y="1" x="2"><image/></text>
  <image/>
</talmora>
<?after root?>)");
  ASSERT_TRUE(loaded.ok);
  EXPECT_EQ(loaded.out, "XMLのパースが完了しました\n");
  ASSERT_EQ(loaded.tags.size(), 3u);
  EXPECT_EQ(loaded.tags[0].name, "talmora");
  EXPECT_EQ(loaded.tags[0].attributes.at("width"), "640");
  EXPECT_EQ(loaded.tags[1].name, "text");
  EXPECT_EQ(loaded.tags[1].attributes.begin()->first, "x");  // key order, not file order
  EXPECT_EQ(loaded.tags[2].name, "image");
  EXPECT_TRUE(loaded.tags[2].attributes.empty());
}

TEST(XMLParser, WarnsOnceForEachNodeThatIsNoElement) {
  const Loaded loaded = LoadText(
      "<talmora>\n  words <image/><!-- c --><![CDATA[x]]><?pi x?>\n\t <text/></talmora>");
  ASSERT_TRUE(loaded.ok);
  const std::string warning = "警告 : 属性の無いタグが存在しています\n";
  EXPECT_EQ(loaded.out, warning + warning + warning + warning + "XMLのパースが完了しました\n");
  EXPECT_EQ(loaded.tags.size(), 3u);
}

TEST(XMLParser, AttributeValuesAreNormalisedAndExpanded) {
  const Loaded loaded = LoadText(
      "<!DOCTYPE talmora [<!ENTITY who \"World\">]>"
      "<talmora><text sentence=\"Hello&#10;&amp;&#x3042;\t&who;\" empty=\"\" p:x=\"1\" "
      "xmlns:p=\"urn:p\"/></talmora>");
  ASSERT_TRUE(loaded.ok);
  const AttributeMap& attributes = loaded.tags[1].attributes;
  EXPECT_EQ(attributes.at("sentence"), "Hello\n&あ World");
  EXPECT_EQ(attributes.at("empty"), "");
  EXPECT_EQ(attributes.at("p:x"), "1");
}

TEST(XMLParser, FirstOfRepeatedKeysIsNotPossibleButDuplicatesFail) {
  const Loaded loaded = LoadText(R"(<talmora><image x="1" x="2"/></talmora>)");
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(loaded.tags.empty());
}

TEST(XMLParser, WrongRootFailsWithItsMessage) {
  for (const char* text : {"<Talmora/>", "<talmoras/>", "<p:talmora xmlns:p=\"urn:p\"/>"}) {
    const Loaded loaded = LoadText(text);
    EXPECT_FALSE(loaded.ok);
    EXPECT_EQ(loaded.out, "エラー : talmoraタグが見つかりませんでした\n") << text;
    EXPECT_TRUE(loaded.tags.empty());
  }
}

TEST(XMLParser, ParseErrorReportCarriesCodeAndPlace) {
  const Loaded loaded = LoadText("<talmora>\n  <image x=1/>\n</talmora>");
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(loaded.out.starts_with(
      "エラー : XMLのパースに失敗しました\n\tエラーコード = 0x27\n\t場所 = 2行目 "))
      << loaded.out;
  EXPECT_NE(loaded.out.find("\n\tエラー内容 = AttValue: \" or ' expected\n\n"), std::string::npos)
      << loaded.out;
}

TEST(XMLParser, EmptyDocumentIsAParseError) {
  const Loaded loaded = LoadText("");
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(loaded.out.starts_with("エラー : XMLのパースに失敗しました\n")) << loaded.out;
}

TEST(XMLParser, ReportIsCutAtACharacterBoundary) {
  XmlParseError error{0x4d2, 3, 7, std::string(1500, 'x')};
  EXPECT_EQ(ParseErrorReport(error).size(), 1023u);
  error.reason = std::string(2000, '\xE3');  // not text, but every byte a lead byte
  error.reason = "";
  for (int i = 0; i < 600; ++i) error.reason += "あ";
  const std::string report = ParseErrorReport(error);
  EXPECT_LE(report.size(), 1023u);
  EXPECT_GT(report.size(), 1019u);
  EXPECT_EQ(report.substr(report.size() - 3), "あ");
  EXPECT_TRUE(report.starts_with("エラー : XMLのパースに失敗しました\n\tエラーコード = 0x4d2\n\t場所 = 3行目 7文字目"));
}

TEST(XMLParser, ReadsOtherEncodingsAsUtf8) {
  // UTF-16 little-endian with a byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"<talmora><text sentence=\"日本\"/></talmora>")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  Loaded loaded = LoadText(utf16);
  ASSERT_TRUE(loaded.ok) << loaded.out;
  EXPECT_EQ(loaded.tags[1].attributes.at("sentence"), "日本");
  // Shift_JIS: 日本 is 93 FA 96 7B.
  loaded = LoadText(
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><talmora><text sentence=\"\x93\xFA\x96\x7B\"/></talmora>");
  ASSERT_TRUE(loaded.ok) << loaded.out;
  EXPECT_EQ(loaded.tags[1].attributes.at("sentence"), "日本");
}

TEST(XMLParser, EntityExpansionStaysBounded) {
  std::string doc = "<?xml version=\"1.0\"?><!DOCTYPE talmora [<!ENTITY a0 \"lollollollol\">";
  for (int i = 1; i < 10; ++i) {
    doc += "<!ENTITY a" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) doc += "&a" + std::to_string(i - 1) + ";";
    doc += "\">";
  }
  doc += "]><talmora><text sentence=\"&a9;\"/></talmora>";
  const Loaded loaded = LoadText(doc);
  EXPECT_FALSE(loaded.ok);
  EXPECT_TRUE(loaded.out.starts_with("エラー : XMLのパースに失敗しました\n")) << loaded.out.substr(0, 300);
}

TEST(XMLParser, ExternalEntitiesAreNeverLoaded) {
  const Loaded loaded = LoadText(
      "<!DOCTYPE talmora [<!ENTITY secret SYSTEM \"file:///etc/passwd\">]>"
      "<talmora><text sentence=\"&secret;\"/></talmora>");
  if (loaded.ok) {
    EXPECT_EQ(loaded.tags[1].attributes.at("sentence").find("root:"), std::string::npos);
  } else {
    EXPECT_TRUE(loaded.out.starts_with("エラー : XMLのパースに失敗しました\n"));
  }
}

TEST(XMLParser, MissingFileIsAParseError) {
  CaptureStdout out;
  XMLParser parser;
  EXPECT_FALSE(parser.Load("/nonexistent/folder/script.xml"));
  EXPECT_TRUE(out.Text().starts_with("エラー : XMLのパースに失敗しました\n"));
  EXPECT_TRUE(parser.Tags().empty());
}

}  // namespace
}  // namespace talmora
