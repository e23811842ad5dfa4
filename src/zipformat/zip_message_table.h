#pragma once
// The component's message table: compressed blocks of texts by message id.
//
// A block: language id (2 bytes), n = 4 + length of the compressed data (2),
// language tag zero-padded (4), CRC-32 of the decompressed table (4), raw
// deflate data (n - 4). The decompressed table is an array of 16-bit
// little-endian words: words 0..2 unused; word 3 is 0 for 8-bit zero-terminated
// texts at byte offsets and non-zero for UTF-16 texts at word indexes; from word
// 4 range triples (last id, first id, index of the range's first offset word)
// in ascending order up to a triple whose last id is 0xFFFF; one offset word per
// id of each range, 0 for no text.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zip {

class TZipMessageTable {
 public:
  static constexpr size_t kMinTableSize = 50;     // a smaller table counts as absent
  static constexpr size_t kMaxTableSize = 20000;  // the table must be shorter

  // Decompresses and checks a block; none when it is malformed, fails its CRC
  // or its size limits.
  static std::optional<TZipMessageTable> FromBlock(std::string_view block);
  // Takes an already decompressed table; none when it is too short or too long.
  static std::optional<TZipMessageTable> FromTable(std::string table);

  uint16_t LanguageId() const { return language_id_; }
  const std::string& Tag() const { return tag_; }
  size_t TableSize() const { return table_.size(); }
  // The UTF-8 text of the id (low 9 bits), empty when the table has none.
  std::string Find(int id) const;

 private:
  uint16_t Word(size_t index) const;
  size_t Words() const { return table_.size() / 2; }
  uint16_t language_id_ = 0;
  std::string tag_;
  std::string table_;
};

// The block built into the program (US English, language id 1033, tag "US").
std::string_view BuiltInMessageBlock();

// Text of a message id from the built-in table (made on first use and kept for
// the process lifetime), or "Resource missing for " and the id.
std::string LoadZipStr(int id);
// The same with a hook that may replace the text before the fallback is used
// (the component passes its OnLoadStr event).
std::string LoadZipStr(int id, const std::function<void(int ident, std::string& text)>& hook);

}  // namespace zip
