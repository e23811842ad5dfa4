#pragma once
// The program's own version record (the VS_VERSIONINFO block of a Windows
// executable): on Windows the real version resource of the running module,
// elsewhere the same record built from the project version when the program was
// compiled, so one reading serves both.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

struct TFileVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t release = 0;
  uint16_t build = 0;
};

// The record's bytes: header, the key "VS_VERSION_INFO", padding, and the fixed
// file information with file and product version set to version.
std::string MakeVersionRecord(const TFileVersion& version);

// The running program's record; empty when it has none.
std::string OwnVersionRecord();

// "v%d.%d.%d.%d" from the file version in the first 56 bytes of a record (the
// little-endian words at offsets 50, 48, 54 and 52); the empty text for a record
// shorter than that.
std::string FileVersionText(std::string_view record);

}  // namespace platform
