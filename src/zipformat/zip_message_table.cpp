#include "zipformat/zip_message_table.h"

#include <zlib.h>

#include "platform/text_conversion.h"
#include "zipformat/zip_reader.h"

namespace zip {

namespace detail {
extern const unsigned char kBuiltInMessageBlock[];
extern const std::size_t kBuiltInMessageBlockSize;
}  // namespace detail

namespace {

// Raw deflate, stopping as soon as the output would reach the limit.
bool InflateRaw(std::string_view data, size_t limit, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out.assign(limit, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(limit);
  const int rc = inflate(&z, Z_FINISH);
  const size_t produced = z.total_out;
  inflateEnd(&z);
  if (rc != Z_STREAM_END || produced >= limit) return false;
  out.resize(produced);
  return true;
}

}  // namespace

std::optional<TZipMessageTable> TZipMessageTable::FromTable(std::string table) {
  if (table.size() < kMinTableSize || table.size() >= kMaxTableSize) return std::nullopt;
  TZipMessageTable t;
  t.table_ = std::move(table);
  return t;
}

std::optional<TZipMessageTable> TZipMessageTable::FromBlock(std::string_view block) {
  if (block.size() < 12) return std::nullopt;
  const uint16_t n = GetLe16(block, 2);
  if (n < 4 || block.size() < size_t{8} + n) return std::nullopt;
  std::string table;
  if (!InflateRaw(block.substr(12, n - 4u), kMaxTableSize, table)) return std::nullopt;
  const uint32_t want = GetLe32(block, 8);
  const uint32_t got =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(table.data()), static_cast<uInt>(table.size())));
  if (got != want) return std::nullopt;
  auto t = FromTable(std::move(table));
  if (!t) return std::nullopt;
  t->language_id_ = GetLe16(block, 0);
  std::string_view tag = block.substr(4, 4);
  t->tag_.assign(tag.data(), tag.find('\0') == std::string_view::npos ? 4 : tag.find('\0'));
  return t;
}

uint16_t TZipMessageTable::Word(size_t index) const { return index < Words() ? GetLe16(table_, index * 2) : 0; }

std::string TZipMessageTable::Find(int id) const {
  const int n = id & 0x1FF;
  size_t triple = 4;
  // The table is our own, but a bad one must still end the walk inside it.
  while (triple + 2 < Words() && Word(triple) != 0xFFFF && Word(triple) < n) triple += 3;
  if (triple + 2 >= Words()) return {};
  const uint16_t last = Word(triple), first = Word(triple + 1);
  if (last == 0xFFFF || n < first) return {};
  const uint16_t offset = Word(static_cast<size_t>(Word(triple + 2)) + static_cast<size_t>(n - first));
  if (offset == 0) return {};
  if (Word(3) == 0) {
    if (offset >= table_.size()) return {};
    const size_t end = table_.find('\0', offset);
    return table_.substr(offset, end == std::string::npos ? std::string::npos : end - offset);
  }
  std::u16string text;
  for (size_t w = offset; w < Words() && Word(w) != 0; ++w) text.push_back(static_cast<char16_t>(Word(w)));
  return platform::Utf16ToUtf8(text);
}

std::string_view BuiltInMessageBlock() {
  return {reinterpret_cast<const char*>(detail::kBuiltInMessageBlock), detail::kBuiltInMessageBlockSize};
}

namespace {
const std::optional<TZipMessageTable>& BuiltInTable() {
  static const std::optional<TZipMessageTable> table = TZipMessageTable::FromBlock(BuiltInMessageBlock());
  return table;
}
}  // namespace

std::string LoadZipStr(int id) { return LoadZipStr(id, nullptr); }

std::string LoadZipStr(int id, const std::function<void(int ident, std::string& text)>& hook) {
  const int ident = id & 0x1FF;
  std::string text;
  if (const auto& table = BuiltInTable()) text = table->Find(ident);
  if (hook) hook(ident, text);
  if (text.empty()) text = "Resource missing for " + std::to_string(ident);
  return text;
}

}  // namespace zip
