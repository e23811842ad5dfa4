#include "xml/xml_chars.h"

namespace xml {

namespace detail {

constexpr uint32_t kNameStartRanges[][2] = {{':', ':'},       {'A', 'Z'},       {'_', '_'},       {'a', 'z'},
                                            {0xC0, 0xD6},     {0xD8, 0xF6},     {0xF8, 0x2FF},    {0x370, 0x37D},
                                            {0x37F, 0x1FFF},  {0x200C, 0x200D}, {0x2070, 0x218F}, {0x2C00, 0x2FEF},
                                            {0x3001, 0xD7FF}, {0xF900, 0xFDCF}, {0xFDF0, 0xFFFD}};
constexpr uint32_t kNameExtraRanges[][2] = {{'-', '-'},   {'.', '.'},     {'0', '9'},
                                            {0xB7, 0xB7}, {0x300, 0x36F}, {0x203F, 0x2040}};

constexpr std::array<uint8_t, 65536> MakeTable() {
  std::array<uint8_t, 65536> table{};
  for (const auto& range : kNameStartRanges)
    for (uint32_t c = range[0]; c <= range[1]; ++c) table[c] = cfNameStart | cfName;
  for (const auto& range : kNameExtraRanges)
    for (uint32_t c = range[0]; c <= range[1]; ++c) table[c] |= cfName;
  // Everything else concerns the ASCII range and the two non-characters.
  for (uint32_t c = 0; c < 0x80; ++c) {
    uint8_t f = 0;
    const bool invalid = c <= 0x1F && c != 0x09 && c != 0x0A && c != 0x0D;
    if (invalid) f |= cfInvalid;
    if (c == 0x09 || c == 0x0A || c == 0x0D || c == 0x20) f |= cfWhite;
    const bool line = c == 0x0A || c == 0x0D;
    if (invalid || line || c == '<' || c == '&' || c == ']' || c == '>') f |= cfTextStop;
    if (invalid || line || c == '"' || c == '\'' || c == '&' || c == '<') f |= cfAttrStop;
    if (c <= 0x20 || c == '"' || c == '\'' || c == '/' || c == '<' || c == '=' || c == '>' || c == '?')
      f |= cfTerminator;
    if (invalid || line || c == '>' || c == '[') f |= cfMarkupStop;
    table[c] |= f;
  }
  for (uint32_t c : {0xFFFEu, 0xFFFFu}) table[c] = cfInvalid | cfTextStop | cfAttrStop | cfMarkupStop;
  return table;
}

}  // namespace detail

constexpr std::array<uint8_t, 65536> kXMLCharFlags = detail::MakeTable();

}  // namespace xml
