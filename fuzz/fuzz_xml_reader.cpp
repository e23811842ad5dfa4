// Arbitrary bytes through the XML reader, in strict and lenient mode, under
// each line-break setting, in every encoding of the name table, with small and
// large blocks, read from memory and through the read-ahead wrapper. The block
// fast path must give exactly what character-by-character reading gives, and
// block-wise decoding exactly what decoding the whole text gives, with the
// positions that counting character by character gives.
//
// Input: byte 0 chooses the settings, byte 1 the encoding, byte 2 the block
// size; the rest is the document.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/stream.h"
#include "platform/text_conversion.h"
#include "xml/encoding.h"
#include "xml/text_reader.h"
#include "xml/xml_reader.h"

namespace xml {
struct TXMLReaderTesting {
  static void SetFastPath(TXMLReader& reader, bool on) { reader.fast_path_ = on; }
};
}  // namespace xml

namespace {

// Neither a memory nor a file stream, so the readers wrap it; it hands out a
// few bytes per call.
class TTrickleStream : public common::TStream {
 public:
  TTrickleStream(const uint8_t* data, size_t size) : data_(data), size_(static_cast<int64_t>(size)) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::min<int64_t>(std::min<int64_t>(count, 7), size_ - position_);
    if (n <= 0) return 0;
    std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, common::TSeekOrigin origin) override {
    if (origin == common::TSeekOrigin::soCurrent) offset += position_;
    if (origin == common::TSeekOrigin::soEnd) offset += size_;
    position_ = offset;
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  const uint8_t* data_;
  int64_t size_;
  int64_t position_ = 0;
};

xml::TEncodingPtr Encoding(uint8_t choice) {
  const size_t index = choice % (std::size(xml::kEncodingInfos) + 2);
  if (index >= std::size(xml::kEncodingInfos)) return nullptr;  // detected, not forced
  return xml::EncodingFromCodePage(xml::kEncodingInfos[index].CodePage);
}

std::string Trace(xml::TXMLReader& reader, common::TStream& stream, xml::TEncodingPtr encoding) {
  reader.InitStream(stream, std::move(encoding));
  std::string trace;
  const xml::TXMLReaderToken* token;
  int limit = 200000;
  while (limit-- > 0 && reader.ReadNextToken(token)) {
    const xml::TTextReader& t = reader.TextReader();
    trace += std::to_string(static_cast<int>(token->TokenType)) + platform::Utf16ToUtf8(token->TokenName) + "\x1F" +
             platform::Utf16ToUtf8(token->TokenValue) + "\x1F" + std::to_string(t.Line()) + ":" +
             std::to_string(t.LinePosition()) + ":" + std::to_string(t.FilePosition()) + "#" +
             std::to_string(reader.OpenElementCount()) + "\n";
  }
  if (const auto& error = reader.ParseError()) trace += "error " + platform::Utf16ToUtf8(error->Message());
  return trace;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

#ifdef FUZZ_XML_READER_DEBUG
#include <cstdio>
#define CHECK_EQUAL(a, b)                                                                                      \
  do {                                                                                                         \
    if ((a) != (b))                                                                                            \
      std::printf("MISMATCH %s vs %s\n----\n%s\n----\n%s\n", #a, #b, platform::Utf16ToUtf8(ToText(a)).c_str(), \
                  platform::Utf16ToUtf8(ToText(b)).c_str());                                                   \
  } while (0)
std::u16string ToText(const std::string& s) { return platform::Utf8ToUtf16(s); }
std::u16string ToText(const std::u16string& s) { return s; }
#else
#define CHECK_EQUAL(a, b) Check((a) == (b))
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t settings = data[0], encoding = data[1];
  const int block = (data[2] & 0x80) ? 16384 : 16 + data[2];
  const uint8_t* text = data + 3;
  const size_t length = size - 3;

  std::string traces[3];
  for (int variant = 0; variant < 3; ++variant) {
    xml::TXMLReader reader(block);
    xml::TXMLReaderSettings& s = reader.Settings();
    s.StrictXML = settings & 1;
    s.ExpandEntities = !(settings & 2);
    s.LineBreak = static_cast<xml::TXMLLineBreak>((settings >> 2) & 3);
    s.RecognizeXMLDeclaration = !(settings & 16);
    s.BreakReading = (settings & 32) ? xml::TXMLBreakReading::AfterDocumentElement : xml::TXMLBreakReading::None;
    xml::TXMLReaderTesting::SetFastPath(reader, variant != 1);
    if (variant == 2) {
      TTrickleStream stream(text, length);
      traces[variant] = Trace(reader, stream, Encoding(encoding));
    } else {
      common::TVirtualMemoryStream stream(text, static_cast<int64_t>(length));
      traces[variant] = Trace(reader, stream, Encoding(encoding));
    }
  }
  CHECK_EQUAL(traces[0], traces[1]);
  CHECK_EQUAL(traces[0], traces[2]);

  // Block-wise decoding against decoding the whole text at once.
  xml::TEncodingPtr forced = Encoding(encoding);
  if (forced) {
    const std::string_view bytes(reinterpret_cast<const char*>(text), length);
    common::TVirtualMemoryStream stream(text, static_cast<int64_t>(length));
    xml::TTextReader reader(block);
    const uint32_t code_page = forced->CodePage();
    reader.InitStream(stream, nullptr);
    // The encoding of a byte order mark is kept, and the mark skipped.
    const size_t skip = reader.Encoding() == forced.get() ? forced->ByteOrderMark().size() : 0;
    reader.SetEncoding(std::move(forced));
    std::u16string blockwise;
    char16_t ch;
    // Positions as the rules per character give them: CR LF, a lone CR and a
    // lone LF are one line break each.
    int64_t line = 1, column = 0, file = 0;
    char16_t previous = 0;
    while (reader.ReadNextChar(ch)) {
      blockwise += ch;
      if (ch == u'\n') {
        if (previous != u'\r') ++line;
        column = 0;
      } else if (ch == u'\r') {
        ++line;
        column = 0;
      } else {
        ++column;
      }
      previous = ch;
      ++file;
      Check(reader.Line() == line && reader.LinePosition() == column && reader.FilePosition() == file);
    }
    std::u16string whole;
    xml::EncodingFromCodePage(code_page)->DecodeBytes(bytes.substr(skip), whole);
    // Invalid UTF-8 may be cut differently at a block end; valid text may not.
    if (code_page != 65001 || platform::IsValidUtf8(bytes)) CHECK_EQUAL(blockwise, whole);
  }
  return 0;
}
