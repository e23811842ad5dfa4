#pragma once
// Decoding of entry names and comments from the raw bytes of a central
// directory record into UTF-8, and the extra-field blocks that take part.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zip {

enum TZipEncodingOpts { zenAuto, zenNone, zenOEM, zenUTF8, zenUPath };

constexpr uint16_t kZip64ExtraTag = 0x0001;
constexpr uint16_t kUnicodePathTag = 0x7075;
constexpr uint16_t kUnicodeCommentTag = 0x6375;
constexpr uint16_t kFlagUtf8 = 0x0800;  // general-purpose bit 11

// What a record contributes to the decoding of its name or comment.
struct TZipNameSource {
  std::string_view raw;  // raw name (or comment) bytes
  uint16_t flags = 0;    // general-purpose flags
  uint16_t version_made_by = 0;
  std::string_view extra;  // raw extra field of the record
};

// The component settings that take part.
struct TZipNameOptions {
  TZipEncodingOpts encoding = zenAuto;
  uint32_t code_page = 0;  // for names taken as ANSI; 0 = the system ANSI code page
};

// The data of the first block with the tag, searched as a chain of (tag, size,
// data) from the first byte; a block counts only when its data lies wholly
// inside the field, and the search ends at the first block with the tag.
std::optional<std::string_view> FindExtraBlock(std::string_view extra, uint16_t tag);

// The text of a valid Info-ZIP Unicode Path (or Comment) block: version 1, the
// CRC-32 of the raw text, and more than 0 bytes of lead/continuation-shaped UTF-8.
std::optional<std::string_view> UnicodeExtraText(std::string_view extra, uint16_t tag, std::string_view raw);

// The encoding a record's name or comment is decoded with. Automatically: the
// UTF-8 flag, else a valid Unicode block, else the OEM code page for OEM hosts;
// any other host's text is UTF-8 when it is valid UTF-8 beyond ASCII, else ANSI.
enum class TZipTextEncoding { teRaw, teAnsi, teOem, teUtf8, teUnicodeExtra };
TZipTextEncoding ChooseTextEncoding(const TZipNameSource& source, const TZipNameOptions& options, uint16_t tag);
// True for the hosts whose names are in the OEM code page: MS-DOS/FAT (host
// byte 0), HPFS (host byte 6) and exactly 2866 (NTFS with version 5.0).
bool IsOemHost(uint16_t version_made_by);

// The decoded name in UTF-8, every "/" turned into the platform delimiter.
std::string DecodeEntryName(const TZipNameSource& source, const TZipNameOptions& options);
// The decoded comment in UTF-8 (the Unicode Comment block takes the place of the path block).
std::string DecodeEntryComment(const TZipNameSource& source, const TZipNameOptions& options);
// Bytes that carry no encoding information, read as text of the system ANSI code page.
std::string RawBytesAsText(std::string_view raw);

}  // namespace zip
