#pragma once
// Character encodings of XML text: the encoding classes, the six process-wide
// shared encodings, the table of encoding names and byte-order-mark detection.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace common {
class TStream;
}

namespace xml {

class TEncoding;

// Frees an encoding unless it is one of the shared ones, which live until the
// program ends. Holders of an encoding never need to ask which kind they hold.
struct TEncodingReleaser {
  void operator()(TEncoding* encoding) const;
};
using TEncodingPtr = std::unique_ptr<TEncoding, TEncodingReleaser>;

class TEncoding {
 public:
  virtual ~TEncoding();
  TEncoding(const TEncoding&) = delete;
  TEncoding& operator=(const TEncoding&) = delete;

  // Bytes to UTF-16. False only when non-empty bytes gave no text at all (the
  // conversion failed); empty bytes give empty text and true. text is replaced.
  virtual bool DecodeBytes(std::string_view bytes, std::u16string& text) const = 0;
  // UTF-16 to bytes; bytes is replaced.
  virtual void EncodeText(std::u16string_view text, std::string& bytes) const = 0;
  // True only for the code-page class, whatever its code page.
  virtual bool IsSingleByte() const = 0;
  // A new object of the same class and code page, owned by the caller.
  virtual TEncodingPtr CloneEncoding() const = 0;
  virtual std::string ByteOrderMark() const = 0;

  virtual uint32_t CodePage() const = 0;

 protected:
  TEncoding() = default;
};

// A Windows code page, converted by the platform's converter.
class TMBCSEncoding : public TEncoding {
 public:
  explicit TMBCSEncoding(uint32_t code_page) : code_page_(code_page) {}
  bool DecodeBytes(std::string_view bytes, std::u16string& text) const override;
  void EncodeText(std::u16string_view text, std::string& bytes) const override;
  bool IsSingleByte() const override { return true; }
  TEncodingPtr CloneEncoding() const override;
  std::string ByteOrderMark() const override { return {}; }
  uint32_t CodePage() const override { return code_page_; }

 private:
  uint32_t code_page_;
};

class TUTF7Encoding : public TMBCSEncoding {
 public:
  TUTF7Encoding() : TMBCSEncoding(65000) {}
  bool IsSingleByte() const override { return false; }
  TEncodingPtr CloneEncoding() const override;
};

class TUTF8Encoding : public TEncoding {
 public:
  bool DecodeBytes(std::string_view bytes, std::u16string& text) const override;
  void EncodeText(std::u16string_view text, std::string& bytes) const override;
  bool IsSingleByte() const override { return false; }
  TEncodingPtr CloneEncoding() const override;
  std::string ByteOrderMark() const override { return "\xEF\xBB\xBF"; }
  uint32_t CodePage() const override { return 65001; }
};

// UTF-16, little-endian code units.
class TUnicodeEncoding : public TEncoding {
 public:
  bool DecodeBytes(std::string_view bytes, std::u16string& text) const override;
  void EncodeText(std::u16string_view text, std::string& bytes) const override;
  bool IsSingleByte() const override { return false; }
  TEncodingPtr CloneEncoding() const override;
  std::string ByteOrderMark() const override { return "\xFF\xFE"; }
  uint32_t CodePage() const override { return 1200; }
};

// UTF-16, big-endian code units.
class TBigEndianUnicodeEncoding : public TEncoding {
 public:
  bool DecodeBytes(std::string_view bytes, std::u16string& text) const override;
  void EncodeText(std::u16string_view text, std::string& bytes) const override;
  bool IsSingleByte() const override { return false; }
  TEncodingPtr CloneEncoding() const override;
  std::string ByteOrderMark() const override { return "\xFE\xFF"; }
  uint32_t CodePage() const override { return 1201; }
};

// The shared encodings: created on first use, freed when the program ends.
TEncoding* EncodingAnsi();   // the system's ANSI code page
TEncoding* EncodingAscii();  // code page 20127 when the converter knows it, else 437
TEncoding* EncodingUTF16LE();
TEncoding* EncodingUTF16BE();
TEncoding* EncodingUTF7();
TEncoding* EncodingUTF8();
bool IsSharedEncoding(const TEncoding* encoding);
// A holder for a shared encoding (its release does nothing).
inline TEncodingPtr Shared(TEncoding* encoding) { return TEncodingPtr(encoding); }

struct TEncodingInfo {
  uint32_t CodePage;
  const char* Alias;
};
// The 33 names that XML declarations may give, searched from the first.
extern const TEncodingInfo kEncodingInfos[33];

// 0 gives the ANSI encoding; 1200, 1201, 65000 and 65001 the shared UTF
// encodings; any other code page a new code-page encoding.
TEncodingPtr EncodingFromCodePage(uint32_t code_page);
// The code page of the first name equal to name ignoring case, 0 when none.
uint32_t CodePageFromAlias(std::u16string_view name);
uint32_t CodePageFromAlias(std::string_view name);
// False (and no object) when the name is not in the table.
bool EncodingFromAlias(std::u16string_view name, TEncodingPtr& encoding);
// The first name of the code page, empty when none.
std::string AliasFromCodePage(uint32_t code_page);

// Looks for a byte order mark at position (the stream's current position, which
// this moves just after the mark, or leaves where it was without one). Returns
// the encoding of the mark, else the default, else the ANSI encoding.
TEncodingPtr DetectByteOrderMark(common::TStream& stream, int64_t& position, TEncodingPtr default_encoding);

}  // namespace xml
