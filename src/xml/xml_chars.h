#pragma once
// Character classes of XML 1.0 (fifth edition) for UTF-16 code units, as one
// table of flags so that a tokenizer tests a character with one load.

#include <array>
#include <cstdint>

namespace xml {

enum TXMLCharFlag : uint8_t {
  cfNameStart = 1,     // NameStartChar
  cfName = 2,          // NameChar
  cfInvalid = 4,       // U+0000-U+0008, U+000B, U+000C, U+000E-U+001F, U+FFFE, U+FFFF
  cfWhite = 8,         // tab, LF, CR, space
  cfTextStop = 16,     // ends a plain run of text: < & CR LF ] > and invalid characters
  cfAttrStop = 32,     // ends a plain run of an attribute value: " ' & < CR LF and invalid
  cfTerminator = 64,   // ends a name in lenient mode: up to space, " ' / < = > ?
  cfMarkupStop = 128,  // ends a plain run of markup content: > [ CR LF and invalid
};

// Built at compile time (in xml_chars.cpp).
extern const std::array<uint8_t, 65536> kXMLCharFlags;

inline bool IsXMLNameStartChar(char16_t c) { return kXMLCharFlags[c] & cfNameStart; }
inline bool IsXMLNameChar(char16_t c) { return kXMLCharFlags[c] & cfName; }
inline bool IsXMLWhiteSpace(char16_t c) { return kXMLCharFlags[c] & cfWhite; }
inline bool IsXMLInvalidChar(char16_t c) { return kXMLCharFlags[c] & cfInvalid; }

}  // namespace xml
