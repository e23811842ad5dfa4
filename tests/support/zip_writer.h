#pragma once
// Writes ZIP archives byte by byte, including the malformed and unusual forms the
// directory reader must cope with. Serves the tests, the benchmarks and the
// generator of the bundled samples.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace support {

enum class TZipWriterMethod : uint16_t { zwmStored = 0, zwmDeflated = 8 };

// Host systems (high byte of "version made by").
constexpr uint8_t kHostMsDos = 0;
constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostHpfs = 6;
constexpr uint8_t kHostNtfs = 10;
constexpr uint16_t kVersionMadeByNtfs50 = 2866;  // 0x0B32: NTFS host with version 5.0
constexpr uint16_t kFlagUtf8Name = 0x0800;

struct TZipExtraBlock {
  uint16_t tag = 0;
  std::string data;
};

struct TZipWriterEntry {
  std::string name;  // raw name bytes as stored
  std::string data;  // uncompressed content
  TZipWriterMethod method = TZipWriterMethod::zwmDeflated;
  uint16_t flags = 0;
  uint8_t host = kHostMsDos;
  uint8_t version = 20;
  std::optional<uint16_t> version_made_by;  // replaces host and version when set
  uint16_t version_needed = 20;
  uint32_t dos_date_time = 0;  // 0: the writer's default stamp
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  std::vector<TZipExtraBlock> central_extra;
  std::vector<TZipExtraBlock> local_extra;
  std::string raw_central_extra;  // appended as is after the blocks (malformed fields)
  std::string comment;
  bool zip64 = false;  // sizes and offset escaped into a Zip64 block
  // Which central fields a Zip64 entry escapes into its block, in the block's
  // order: 1 uncompressed size, 2 compressed size, 4 local header offset.
  uint8_t zip64_escapes = 7;
  bool zip64_block_last = false;       // the central Zip64 block after the other blocks, not before
  bool zip64_version = true;           // a Zip64 entry states version 45 as needed
  std::optional<uint32_t> crc;         // a wrong CRC on purpose
  std::optional<uint16_t> disk_start;  // the field as written (split archives set it)
};

// Info-ZIP Unicode Path and Comment blocks for a raw text and its UTF-8 form.
TZipExtraBlock UnicodePathBlock(std::string_view raw_name, std::string_view utf8_name, bool wrong_crc = false,
                                uint8_t version = 1);
TZipExtraBlock UnicodeCommentBlock(std::string_view raw_comment, std::string_view utf8_comment, bool wrong_crc = false);

uint32_t ZipCrc32(std::string_view data);
uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second);

class TZipWriter {
 public:
  static constexpr uint32_t kDefaultDateTime = (44u << 25) | (5u << 21) | (17u << 16) | (10u << 11) | (30u << 5);

  TZipWriterEntry& Add(std::string name, std::string data, TZipWriterMethod method = TZipWriterMethod::zwmDeflated);
  // A directory entry: the name gets a trailing "/", no data, the directory attribute.
  TZipWriterEntry& AddDirectory(std::string name);
  TZipWriterEntry& Add(TZipWriterEntry entry);
  std::vector<TZipWriterEntry>& Entries() { return entries_; }

  // --- switches of the whole archive ---
  std::string comment;                     // archive comment
  std::optional<uint16_t> comment_length;  // the length field as written (a bad one on purpose)
  std::string prefix;                      // data in front of the archive (a stub)
  bool offsets_include_prefix = false;     // false: offsets stay relative to the archive data
  std::string trailing;                    // junk after the end record and comment
  bool zip64 = false;                      // Zip64 end record and locator, escapes in the end record
  uint16_t zip64_version_needed = 45;
  uint64_t zip64_record_size = 44;
  std::optional<uint32_t> zip64_locator_disk;  // the locator's disk of the Zip64 end record
  std::optional<uint32_t> zip64_total_disks;   // the locator's number of disks
  bool zip64_escapes = true;                   // false: the end record keeps its true values
  std::optional<uint16_t> entry_count;         // both counts of the end record as written
  std::optional<uint32_t> central_offset;      // the stored offset as written
  std::optional<uint32_t> central_size;        // the stored size as written

  // The whole archive.
  std::string Build() const;
  // Parts of at most part_size bytes where records allow: the first starts with
  // the spanning marker, offsets and disk numbers are per part, the end records
  // lie in the last part.
  std::vector<std::string> BuildSplit(size_t part_size) const;

  void Save(const std::string& path) const;
  // Writes path's numbered parts (a.zip: a001.zip, a002.zip, ...), all with the
  // same time stamp; returns their names.
  std::vector<std::string> SaveSplit(const std::string& path, size_t part_size) const;

  // The 22-byte archive without entries.
  static std::string EmptyArchive();

 private:
  std::vector<std::string> Layout(size_t part_size, bool split) const;
  std::vector<TZipWriterEntry> entries_;
};

void SaveBytes(const std::string& path, std::string_view bytes);

}  // namespace support
