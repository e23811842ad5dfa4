// The forward scan that the readers of the later formats take their values with.

#include "cadastral/element_scan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/stream.h"
#include "xml/xml_reader.h"

using cadastral::TElementScan;
using cadastral::TQName;

namespace {

constexpr std::u16string_view kA = u"urn:a";
constexpr std::u16string_view kB = u"urn:b";

// Reads text from its start; with behind_root, from just behind the root's name.
class TScanFixture {
 public:
  explicit TScanFixture(std::string text, bool behind_root = false)
      : text_(std::move(text)), stream_(text_.data(), static_cast<int64_t>(text_.size())) {
    reader_.InitStream(stream_);
    reader_.Settings().BreakReading = xml::TXMLBreakReading::None;
    if (behind_root) {
      const xml::TXMLReaderToken* token;
      while (reader_.ReadNextToken(token) && token->TokenType != xml::TXMLReaderTokenType::OpenElement) {
      }
    }
  }
  xml::TXMLReader& reader() { return reader_; }

 private:
  std::string text_;
  common::TVirtualMemoryStream stream_;
  xml::TXMLReader reader_;
};

std::string AttributeAt(const std::string& text, std::vector<TQName> path, std::u16string_view attribute) {
  TScanFixture fixture(text);
  std::string out = "<untouched>";
  TElementScan scan;
  scan.TakeAttribute(std::move(path), attribute, out);
  scan.Run(fixture.reader());
  return out;
}

std::string TextAt(const std::string& text, std::vector<TQName> path) {
  TScanFixture fixture(text);
  std::string out = "<untouched>";
  TElementScan scan;
  scan.TakeText(std::move(path), out);
  scan.Run(fixture.reader());
  return out;
}

TEST(ElementScan, NamesAreMatchedByNamespaceWhateverThePrefix) {
  const std::vector<TQName> path = {{kA, u"r"}, {kA, u"s"}, {kB, u"v"}};
  for (const std::string& text : {
           std::string("<r xmlns='urn:a' xmlns:b='urn:b'><s><b:v n='1'/></s></r>"),
           std::string("<x:r xmlns:x='urn:a'><x:s><y:v xmlns:y='urn:b' n='1'/></x:s></x:r>"),
           // The default namespace taken over by the inner element's own.
           std::string("<r xmlns='urn:a'><s><v xmlns='urn:b' n='1'/></s></r>"),
           // The first v is in another namespace, the second one counts.
           std::string("<r xmlns='urn:a' xmlns:b='urn:b'><s><v n='0'/><b:v n='1'/></s></r>"),
       }) {
    EXPECT_EQ(AttributeAt(text, path, u"n"), "1") << text;
  }
  // Same names, other namespaces or none: nothing.
  for (const std::string& text : {
           std::string("<r xmlns='urn:a'><s><v n='1'/></s></r>"),
           std::string("<r><s><v n='1'/></s></r>"),
           std::string("<r xmlns='urn:a' xmlns:b='urn:c'><s><b:v n='1'/></s></r>"),
           // An undeclared prefix binds nothing (the strict reader lets it pass).
           std::string("<r xmlns='urn:a'><s><q:v n='1'/></s></r>"),
       }) {
    EXPECT_EQ(AttributeAt(text, path, u"n"), "<untouched>") << text;
  }
}

TEST(ElementScan, DeclarationsHoldInTheirElementOnly) {
  const std::vector<TQName> path = {{{}, u"r"}, {kA, u"v"}};
  // "p" is rebound inside w and back to urn:b behind it.
  EXPECT_EQ(AttributeAt("<r xmlns:p='urn:b'><w xmlns:p='urn:a'><p:v n='0'/></w><p:v n='1'/></r>", path, u"n"),
            "<untouched>");
  EXPECT_EQ(AttributeAt("<r xmlns:p='urn:b'><w xmlns:p='urn:a'/><p:v n='1'/><v xmlns='urn:a' n='2'/></r>", path, u"n"),
            "2");
  // xmlns="" takes an element out of the default namespace.
  EXPECT_EQ(
      AttributeAt("<r xmlns=''><v xmlns='urn:a'><w xmlns=''/></v></r>", {{{}, u"r"}, {kA, u"v"}, {{}, u"w"}}, u"n"),
      "");
}

TEST(ElementScan, TheFirstElementAtThePathDecidesEvenWithoutTheAttribute) {
  const std::vector<TQName> path = {{{}, u"r"}, {{}, u"b"}};
  EXPECT_EQ(AttributeAt("<r><b/><b n='2'/></r>", path, u"n"), "");
  EXPECT_EQ(AttributeAt("<r><x><b n='1'/></x><b n='2'/></r>", path, u"n"), "2");
}

TEST(ElementScan, TextIsJoinedOverCommentsSectionsAndChildren) {
  const std::vector<TQName> path = {{{}, u"r"}, {{}, u"t"}};
  EXPECT_EQ(TextAt("<r><t>50/<!-- c -->201<![CDATA[/<16>]]><i>-4</i>12 &amp; 3</t></r>", path), "50/201/<16>-412 & 3");
  EXPECT_EQ(TextAt("<r><t/><t>2</t></r>", path), "");
  EXPECT_EQ(TextAt("<r><t>\r\n  x\r\n</t></r>", path), "\r\n  x\r\n");
  // A text beyond the limit is no value: empty, not cut.
  const std::string long_text(TElementScan::kMaxText + 1, 'x');
  EXPECT_EQ(TextAt("<r><t>" + long_text + "</t></r>", path), "");
  EXPECT_EQ(TextAt("<r><t>" + long_text.substr(1) + "</t></r>", path), long_text.substr(1));
}

TEST(ElementScan, FirstWithinConfinesTheSearchToTheFirstElement) {
  const std::string text = "<r><b><c/></b><b><c><s>2</s></c></b><s>3</s></r>";
  TScanFixture fixture(text);
  std::string confined = "<untouched>", free = "<untouched>", anywhere = "<untouched>";
  TElementScan scan;
  scan.TakeText({{{}, u"r"}, {{}, u"b"}, {{}, u"c"}, {{}, u"s"}}, confined, 2);
  scan.TakeText({{{}, u"r"}, {{}, u"b"}, {{}, u"c"}, {{}, u"s"}}, free);
  scan.TakeTextAnywhere({{}, u"s"}, anywhere);
  scan.Run(fixture.reader());
  EXPECT_EQ(confined, "<untouched>");
  EXPECT_EQ(free, "2");
  EXPECT_EQ(anywhere, "2");

  // An element of the name inside the one found is part of its text.
  TScanFixture nested("<r><s>a<s>b</s>c</s></r>");
  std::string outer;
  TElementScan again;
  again.TakeTextAnywhere({{}, u"s"}, outer);
  again.Run(nested.reader());
  EXPECT_EQ(outer, "abc");
}

TEST(ElementScan, AnEmptyLocalNameStandsForAnyRoot) {
  for (const char* root : {"a", "b"}) {
    EXPECT_EQ(TextAt(std::string("<") + root + "><t>v</t></" + root + ">", {{}, {{}, u"t"}}), "v");
  }
}

TEST(ElementScan, StartsBehindTheRootsName) {
  TScanFixture fixture("<?xml version='1.0'?><!-- c --><r xmlns='urn:a' n='root'><v n='1'>t</v></r>", true);
  std::string root = "<untouched>", value = "<untouched>", text = "<untouched>";
  TElementScan scan;
  scan.TakeAttribute({{kA, u"r"}}, u"n", root);
  scan.TakeAttribute({{kA, u"r"}, {kA, u"v"}}, u"n", value);
  scan.TakeText({{kA, u"r"}, {kA, u"v"}}, text);
  scan.Run(fixture.reader());
  EXPECT_EQ(root, "root");
  EXPECT_EQ(value, "1");
  EXPECT_EQ(text, "t");
}

TEST(ElementScan, StopsWhenEveryValueIsSettled) {
  // The damage behind the values is never read.
  TScanFixture fixture("<r><a n='1'/><b>2</b><c><d>&bad;</d></r>");
  std::string a, b;
  TElementScan scan;
  scan.TakeAttribute({{{}, u"r"}, {{}, u"a"}}, u"n", a);
  scan.TakeText({{{}, u"r"}, {{}, u"b"}}, b);
  scan.Run(fixture.reader());
  EXPECT_EQ(a, "1");
  EXPECT_EQ(b, "2");
  EXPECT_FALSE(fixture.reader().ParseError());

  // Damage inside a text leaves that value as it was.
  TScanFixture damaged("<r><a n='1'/><b>2&bad;</b></r>");
  std::string c = "<untouched>", d = "<untouched>";
  TElementScan again;
  again.TakeAttribute({{{}, u"r"}, {{}, u"a"}}, u"n", c);
  again.TakeText({{{}, u"r"}, {{}, u"b"}}, d);
  again.Run(damaged.reader());
  EXPECT_EQ(c, "1");
  EXPECT_EQ(d, "<untouched>");
  EXPECT_TRUE(damaged.reader().ParseError());
}

}  // namespace
