#pragma once
// Helpers for the XML engine tests: streams over test text and a compact
// rendering of token sequences.

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/xml_reader.h"

namespace xml_test {

// A stream that is neither a memory nor a file stream, so readers wrap it; it
// also counts how often it is asked to seek back.
class TPlainStream : public common::TStream {
 public:
  explicit TPlainStream(std::string bytes, int64_t max_read = 1 << 30)
      : bytes_(std::move(bytes)), max_read_(max_read) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::clamp<int64_t>(std::min(count, max_read_), 0, Size() - position_);
    if (n <= 0) return 0;
    std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, common::TSeekOrigin origin) override {
    int64_t target = offset;
    if (origin == common::TSeekOrigin::soCurrent) target = position_ + offset;
    if (origin == common::TSeekOrigin::soEnd) target = Size() + offset;
    if (target < position_) ++backward_seeks;
    position_ = target;
    return position_;
  }
  int64_t Size() override { return static_cast<int64_t>(bytes_.size()); }
  int backward_seeks = 0;

 private:
  std::string bytes_;
  int64_t max_read_;
  int64_t position_ = 0;
};

inline std::string U8(std::u16string_view text) { return platform::Utf16ToUtf8(text); }
inline std::u16string U16(std::string_view text) { return platform::Utf8ToUtf16(text); }

// Line breaks shown as \r and \n so that expectations stay on one line.
inline std::string Visible(std::u16string_view text) {
  std::string out;
  for (char c : U8(text)) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

inline std::string Describe(const xml::TXMLReaderToken& t) {
  using T = xml::TXMLReaderTokenType;
  const std::string name = Visible(t.TokenName), value = Visible(t.TokenValue);
  switch (t.TokenType) {
    case T::OpenXMLDeclaration:
      return "<?" + name;
    case T::XMLDeclarationAttribute:
      return "?" + name + "=" + value;
    case T::FinishXMLDeclaration:
      return "?>" + name;
    case T::OpenElement:
      return "<" + name;
    case T::Attribute:
      return name + "=" + value;
    case T::FinishOpenElement:
      return ">" + name;
    case T::FinishOpenElementClose:
      return "/>" + name;
    case T::CloseElement:
      return "</" + name;
    case T::Text:
      return "T:" + value;
    case T::EntityReference:
      return "&" + name + "=" + value;
    case T::CData:
      return "CDATA:" + value;
    case T::Comment:
      return "!--" + value;
    case T::ProcessingInstruction:
      return "PI:" + name + "=" + value;
    case T::DocType:
      return "DOCTYPE:" + value;
    default:
      return "?";
  }
}

struct TReadResult {
  std::string tokens;  // tokens joined by " | "
  std::string error;   // the reason of the parse error, empty without one
  xml::ITextParseErrorPtr parse_error;
};

inline TReadResult ReadAll(xml::TXMLReader& reader, common::TStream& stream, xml::TEncodingPtr forced = nullptr,
                           int limit = 100000) {
  reader.InitStream(stream, std::move(forced));
  TReadResult result;
  const xml::TXMLReaderToken* token;
  while (limit-- > 0 && reader.ReadNextToken(token)) {
    if (!result.tokens.empty()) result.tokens += " | ";
    result.tokens += Describe(*token);
  }
  if (reader.ParseError()) {
    result.parse_error = reader.ParseError();
    result.error = U8(reader.ParseError()->Reason());
  }
  return result;
}

inline TReadResult ReadAll(std::string_view text,
                           const std::function<void(xml::TXMLReaderSettings&)>& configure = nullptr) {
  xml::TXMLReader reader;
  if (configure) configure(reader.Settings());
  common::TVirtualMemoryStream stream(text.data(), static_cast<int64_t>(text.size()));
  return ReadAll(reader, stream);
}

inline void Lenient(xml::TXMLReaderSettings& s) { s.StrictXML = false; }

// depth elements e inside each other around the text "x".
inline std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<e>";
  text += "x";
  for (int i = 0; i < depth; ++i) text += "</e>";
  return text;
}

}  // namespace xml_test
