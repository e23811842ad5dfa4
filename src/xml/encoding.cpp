#include "xml/encoding.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "common/stream.h"
#include "platform/text_compare.h"
#include "platform/text_conversion.h"

namespace xml {

void TEncodingReleaser::operator()(TEncoding* encoding) const {
  if (encoding && !IsSharedEncoding(encoding)) std::default_delete<TEncoding>()(encoding);
}

TEncoding::~TEncoding() = default;

namespace {

template <class T, class... Args>
TEncodingPtr MakeEncoding(Args... args) {
  return TEncodingPtr(std::make_unique<T>(args...).release());
}

}  // namespace

// --- code pages --------------------------------------------------------------

bool TMBCSEncoding::DecodeBytes(std::string_view bytes, std::u16string& text) const {
  if (!platform::CodePageToUtf16(code_page_, bytes, text)) text.clear();
  return bytes.empty() || !text.empty();
}

void TMBCSEncoding::EncodeText(std::u16string_view text, std::string& bytes) const {
  if (!platform::Utf16ToCodePage(code_page_, text, bytes)) bytes.clear();
}

TEncodingPtr TMBCSEncoding::CloneEncoding() const { return MakeEncoding<TMBCSEncoding>(code_page_); }

TEncodingPtr TUTF7Encoding::CloneEncoding() const { return MakeEncoding<TUTF7Encoding>(); }

// --- UTF-8 -------------------------------------------------------------------

bool TUTF8Encoding::DecodeBytes(std::string_view bytes, std::u16string& text) const {
  text.clear();
  platform::AppendUtf8ToUtf16(bytes, text);
  return bytes.empty() || !text.empty();
}

void TUTF8Encoding::EncodeText(std::u16string_view text, std::string& bytes) const {
  bytes.clear();
  platform::AppendUtf16ToUtf8(text, bytes);
}

TEncodingPtr TUTF8Encoding::CloneEncoding() const { return MakeEncoding<TUTF8Encoding>(); }

// --- UTF-16 ------------------------------------------------------------------

namespace {

void CopyUnits(std::string_view bytes, std::u16string& text, bool swap) {
  // An odd last byte is no code unit and is dropped.
  text.resize(bytes.size() / 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const auto lo = static_cast<unsigned char>(bytes[2 * i + (swap ? 1 : 0)]);
    const auto hi = static_cast<unsigned char>(bytes[2 * i + (swap ? 0 : 1)]);
    text[i] = static_cast<char16_t>(lo | (hi << 8));
  }
}

void CopyBytes(std::u16string_view text, std::string& bytes, bool swap) {
  bytes.resize(text.size() * 2);
  for (size_t i = 0; i < text.size(); ++i) {
    const char lo = static_cast<char>(text[i] & 0xFF), hi = static_cast<char>(text[i] >> 8);
    bytes[2 * i] = swap ? hi : lo;
    bytes[2 * i + 1] = swap ? lo : hi;
  }
}

}  // namespace

bool TUnicodeEncoding::DecodeBytes(std::string_view bytes, std::u16string& text) const {
  CopyUnits(bytes, text, false);
  return bytes.empty() || !text.empty();
}

void TUnicodeEncoding::EncodeText(std::u16string_view text, std::string& bytes) const { CopyBytes(text, bytes, false); }

TEncodingPtr TUnicodeEncoding::CloneEncoding() const { return MakeEncoding<TUnicodeEncoding>(); }

bool TBigEndianUnicodeEncoding::DecodeBytes(std::string_view bytes, std::u16string& text) const {
  CopyUnits(bytes, text, true);
  return bytes.empty() || !text.empty();
}

void TBigEndianUnicodeEncoding::EncodeText(std::u16string_view text, std::string& bytes) const {
  CopyBytes(text, bytes, true);
}

TEncodingPtr TBigEndianUnicodeEncoding::CloneEncoding() const { return MakeEncoding<TBigEndianUnicodeEncoding>(); }

// --- shared encodings --------------------------------------------------------

namespace {

enum SharedSlot { kAnsi, kAscii, kUtf16LE, kUtf16BE, kUtf7, kUtf8, kSlotCount };

// Constant-initialised, so it exists before any static constructor runs; at
// program end it frees the objects and clears the slots, so a late user
// would get a new object instead of a dangling one. Threads that sort archives
// side by side ask for them at once: the first object stored in a slot wins.
struct SharedEncodings {
  std::atomic<TEncoding*> slots[kSlotCount] = {};
  ~SharedEncodings() {
    for (std::atomic<TEncoding*>& slot : slots) std::unique_ptr<TEncoding> owned(slot.exchange(nullptr));
  }
};
SharedEncodings g_shared;

template <class Make>
TEncoding* SharedEncoding(SharedSlot slot, Make make) {
  std::atomic<TEncoding*>& object = g_shared.slots[slot];
  TEncoding* existing = object.load(std::memory_order_acquire);
  if (existing) return existing;
  std::unique_ptr<TEncoding> made = make();
  if (object.compare_exchange_strong(existing, made.get(), std::memory_order_acq_rel)) return made.release();
  return existing;
}

}  // namespace

TEncoding* EncodingAnsi() {
  return SharedEncoding(kAnsi, [] { return std::make_unique<TMBCSEncoding>(platform::AnsiCodePage()); });
}

TEncoding* EncodingAscii() {
  return SharedEncoding(
      kAscii, [] { return std::make_unique<TMBCSEncoding>(platform::IsCodePageSupported(20127) ? 20127 : 437); });
}

TEncoding* EncodingUTF16LE() {
  return SharedEncoding(kUtf16LE, [] { return std::make_unique<TUnicodeEncoding>(); });
}

TEncoding* EncodingUTF16BE() {
  return SharedEncoding(kUtf16BE, [] { return std::make_unique<TBigEndianUnicodeEncoding>(); });
}

TEncoding* EncodingUTF7() {
  return SharedEncoding(kUtf7, [] { return std::make_unique<TUTF7Encoding>(); });
}

TEncoding* EncodingUTF8() {
  return SharedEncoding(kUtf8, [] { return std::make_unique<TUTF8Encoding>(); });
}

bool IsSharedEncoding(const TEncoding* encoding) {
  if (!encoding) return false;
  for (const std::atomic<TEncoding*>& slot : g_shared.slots)
    if (slot.load(std::memory_order_acquire) == encoding) return true;
  return false;
}

// --- names -------------------------------------------------------------------

const TEncodingInfo kEncodingInfos[33] = {
    {65001, "utf-8"},       {1200, "utf-16"},       {1201, "utf-16be"},     {1250, "windows-1250"},
    {1251, "windows-1251"}, {1252, "windows-1252"}, {1253, "windows-1253"}, {1254, "windows-1254"},
    {1255, "windows-1255"}, {1256, "windows-1256"}, {1257, "windows-1257"}, {1258, "windows-1258"},
    {28591, "iso-8859-1"},  {28592, "iso-8859-2"},  {28593, "iso-8859-3"},  {28594, "iso-8859-4"},
    {28595, "iso-8859-5"},  {28596, "iso-8859-6"},  {28597, "iso-8859-7"},  {28598, "iso-8859-8"},
    {28599, "iso-8859-9"},  {28603, "iso-8859-13"}, {28605, "iso-8859-15"}, {20866, "koi8-r"},
    {21866, "koi8-u"},      {437, "ibm437"},        {850, "ibm850"},        {852, "ibm852"},
    {866, "cp866"},         {874, "windows-874"},   {932, "shift-jis"},     {20127, "us-ascii"},
    {65000, "utf-7"},
};

TEncodingPtr EncodingFromCodePage(uint32_t code_page) {
  switch (code_page) {
    case 0:
      return Shared(EncodingAnsi());
    case 1200:
      return Shared(EncodingUTF16LE());
    case 1201:
      return Shared(EncodingUTF16BE());
    case 65000:
      return Shared(EncodingUTF7());
    case 65001:
      return Shared(EncodingUTF8());
    default:
      return MakeEncoding<TMBCSEncoding>(code_page);
  }
}

uint32_t CodePageFromAlias(std::u16string_view name) {
  for (const TEncodingInfo& info : kEncodingInfos)
    if (platform::SameText(name, std::u16string_view(platform::Utf8ToUtf16(info.Alias)))) return info.CodePage;
  return 0;
}

uint32_t CodePageFromAlias(std::string_view name) {
  return CodePageFromAlias(std::u16string_view(platform::Utf8ToUtf16(name)));
}

bool EncodingFromAlias(std::u16string_view name, TEncodingPtr& encoding) {
  const uint32_t code_page = CodePageFromAlias(name);
  if (code_page == 0) {
    encoding.reset();
    return false;
  }
  encoding = EncodingFromCodePage(code_page);
  return true;
}

std::string AliasFromCodePage(uint32_t code_page) {
  for (const TEncodingInfo& info : kEncodingInfos)
    if (info.CodePage == code_page) return info.Alias;
  return {};
}

// --- byte order mark ---------------------------------------------------------

TEncodingPtr DetectByteOrderMark(common::TStream& stream, int64_t& position, TEncodingPtr default_encoding) {
  TEncodingPtr result = std::move(default_encoding);
  const int64_t remaining = stream.Size() - position;
  if (remaining >= 2) {
    unsigned char mark[4] = {};
    stream.Seek(position, common::TSeekOrigin::soBeginning);
    const int64_t got = stream.Read(mark, std::min<int64_t>(4, remaining));
    int length = 0;
    if (got >= 3 && mark[0] == 0xEF && mark[1] == 0xBB && mark[2] == 0xBF) {
      result = Shared(EncodingUTF8());
      length = 3;
    } else if (got >= 2 && mark[0] == 0xFF && mark[1] == 0xFE) {
      result = Shared(EncodingUTF16LE());
      length = 2;
    } else if (got >= 2 && mark[0] == 0xFE && mark[1] == 0xFF) {
      result = Shared(EncodingUTF16BE());
      length = 2;
    }
    position += length;
    stream.Seek(position, common::TSeekOrigin::soBeginning);
  }
  if (!result) result = Shared(EncodingAnsi());
  return result;
}

}  // namespace xml
