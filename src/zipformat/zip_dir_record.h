#pragma once
// One central directory record as read from the archive.

#include <cstdint>
#include <string>

#include "zipformat/zip_dir_entry.h"
#include "zipformat/zip_name.h"

namespace zip {

class TZipContext;
class TZipReader;

constexpr uint32_t kCentralHeaderSig = 0x02014B50;
constexpr size_t kCentralHeaderSize = 46;

// The fixed part of a central directory record, sizes and offset widened.
struct TZipCentralHeader {
  uint16_t version_made_by = 0;
  uint16_t version_needed = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dos_date_time = 0;
  uint32_t crc32 = 0;
  uint64_t compressed_size = 0;
  uint64_t uncompressed_size = 0;
  uint16_t name_length = 0;
  uint16_t extra_length = 0;
  uint16_t comment_length = 0;
  uint32_t disk_start = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  uint64_t local_header_offset = 0;
};

class TZipDirRecord final : public TZipDirEntry {
 public:
  // The context supplies the name options; none means the defaults.
  explicit TZipDirRecord(const TZipContext* context = nullptr) : context_(context) {}

  // Reads one record at the reader's position: the 46-byte header, then name,
  // extra field and comment, then the Zip64 extra values. Returns a negative
  // code on failure, 1 when Zip64 values were used, else 0.
  int Read(TZipReader& reader);

  // Sets the record from parts (tests, writers of records).
  void Assign(const TZipCentralHeader& header, std::string name, std::string extra, std::string comment);

  const TZipCentralHeader& Header() const { return header_; }

  const std::string& FileName() const override;
  std::string FileComment() const override;
  uint64_t CompressedSize() const override { return header_.compressed_size; }
  uint64_t UncompressedSize() const override { return header_.uncompressed_size; }
  uint32_t CRC32() const override { return header_.crc32; }
  uint16_t CompressionMethod() const override { return header_.method; }
  uint32_t DateTime() const override { return header_.dos_date_time; }
  uint16_t Flag() const override { return header_.flags; }
  uint16_t VersionMadeBy() const override { return header_.version_made_by; }
  uint16_t VersionNeeded() const override { return header_.version_needed; }
  uint32_t ExtFileAttrib() const override { return header_.external_attributes; }
  uint16_t IntFileAttrib() const override { return header_.internal_attributes; }
  uint32_t StartOnDisk() const override { return header_.disk_start; }
  uint64_t RelOffLocalHdr() const override { return header_.local_header_offset; }
  const std::string& RawFileName() const override { return name_; }
  const std::string& ExtraField() const override { return extra_; }
  const std::string& RawComment() const override { return comment_; }
  bool IsDirOnly() const override { return (status_ & kIsDirectory) != 0; }

  // The name hash of the index, computed on first request and cached.
  uint32_t NameHash() const;
  bool HashValid() const { return (status_ & kHashValid) != 0; }
  // Forgets the decoded name and the hash (the encoding changed).
  void ClearCache();

  bool Deleted() const { return (status_ & kDeleted) != 0; }
  void SetDeleted(bool deleted);

 private:
  static constexpr uint8_t kIsDirectory = 1, kHashValid = 2, kDeleted = 4, kNameValid = 8;
  TZipNameSource Source(const std::string& raw) const;
  TZipNameOptions Options() const;
  int ReadZip64();

  const TZipContext* context_;
  TZipCentralHeader header_;
  std::string name_, extra_, comment_;
  mutable std::string decoded_name_;
  mutable uint32_t hash_ = 0;
  mutable uint8_t status_ = 0;
};

}  // namespace zip
