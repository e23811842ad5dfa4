#pragma once
// Reads the data of one entry: its local header, traditional PKWARE
// decryption, stored or deflated data, never more bytes than the directory
// declares, and the CRC-32 of what came out.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/stream.h"
#include "zipengine/zip_whole_inflate.h"
#include "zipformat/zip_dir_record.h"

namespace zipengine {

// Where the bytes of an entry go.
class TZipEntrySink {
 public:
  virtual ~TZipEntrySink();
  // False when the bytes could not be taken.
  virtual bool Write(const uint8_t* data, size_t count) = 0;
  // Memory the entry may be decompressed into directly (capacity bytes from
  // the start of the entry), or none. Write is then called with pointers into it.
  virtual uint8_t* Direct(size_t& capacity) {
    capacity = 0;
    return nullptr;
  }
};

enum class TZipEntryStatus {
  esOk,
  esBadLocalHeader,  // no local header where the directory says
  esTruncated,       // the data ends before the entry does
  esBadSizes,        // declared sizes the archive cannot hold
  esBadData,         // the compressed data is not valid
  esTooLong,         // more data than declared (cut there)
  esTooShort,        // less data than declared
  esCRC,             // data complete, CRC-32 differs
  esWriteFailed,
  esAborted,
};

struct TZipEntryResult {
  TZipEntryStatus status = TZipEntryStatus::esOk;
  uint32_t crc = 0;          // CRC-32 of the bytes produced
  uint64_t produced = 0;     // bytes handed to the sink
  bool whole_entry = false;  // inflated in one call into the sink's memory
};

// Traditional PKWARE encryption keys.
class TZipCryptKeys {
 public:
  explicit TZipCryptKeys(const std::string& password);
  uint8_t Decrypt(uint8_t c) {
    const uint32_t t = (key2_ & 0xFFFF) | 2;
    const uint8_t plain = static_cast<uint8_t>(c ^ ((t * (t ^ 1)) >> 8));
    Update(plain);
    return plain;
  }

 private:
  void Update(uint8_t c);
  uint32_t key0_ = 305419896u, key1_ = 591751049u, key2_ = 878082192u;
};

class TZipEntryReader {
 public:
  static constexpr size_t kInBufferSize = 1 << 16;
  static constexpr size_t kOutBufferSize = 1 << 18;
  static constexpr size_t kCryptHeaderSize = 12;
  // Deflate cannot expand data by more than about 1032:1.
  static constexpr uint64_t kMaxDeflateRatio = 1032;
  // The most compressed bytes read whole for a one-call inflate.
  static constexpr uint64_t kMaxWholeInput = uint64_t{256} << 20;

  // The reader reads the archive through the stream; size is its length.
  TZipEntryReader(common::TStream& archive, int64_t archive_size);
  ~TZipEntryReader();
  TZipEntryReader(const TZipEntryReader&) = delete;
  TZipEntryReader& operator=(const TZipEntryReader&) = delete;

  // Finds the entry's data after its local header (offsets moved by shift)
  // and checks the declared sizes against the archive: esOk, esBadLocalHeader,
  // esTruncated or esBadSizes.
  TZipEntryStatus Locate(const zip::TZipDirRecord& record, int64_t shift);
  // For an encrypted entry after Locate: whether the password opens it (the
  // check byte of the 12-byte header; a wrong one passes 1 time in 256, which
  // the CRC then catches).
  bool CheckPassword(const zip::TZipDirRecord& record, const std::string& password);
  // After Locate: the most bytes the entry can yield, whatever its record
  // declares (a stored entry no more than its data, a deflated one no more
  // than deflate can expand its data to).
  uint64_t OutputBound() const { return bound_; }

  // Decompresses the located entry into the sink. progress is called after
  // every block with the bytes produced so far; abort is looked at between
  // blocks. An unencrypted deflated entry whose sink offers memory for all of
  // it is inflated in one call where the build can (TZipWholeInflate); any
  // trouble there streams it again, so the result is the same either way.
  TZipEntryResult Extract(const zip::TZipDirRecord& record, const std::string* password, TZipEntrySink* sink,
                          const std::atomic<bool>& abort, const std::function<void(uint64_t)>& progress);

 private:
  bool ReadAt(int64_t position, uint8_t* buffer, size_t count);
  size_t ReadData(uint64_t& left, uint8_t* buffer, size_t count);
  // Buffers as large as the entry needs, up to their full sizes, kept for the
  // next entry; a small archive never makes large ones.
  void SizeBuffers(uint64_t in_need, uint64_t out_need);
  // The one-call inflate of the located entry into out (exactly size bytes);
  // false when it is not possible or the data does not give exactly that.
  bool InflateWhole(uint8_t* out, uint64_t size);
  // The checks after the last byte: all declared bytes came, and their CRC-32.
  static TZipEntryResult Finish(const zip::TZipDirRecord& record, TZipEntryResult result);

  common::TStream& archive_;
  int64_t archive_size_;
  int64_t data_offset_ = 0;
  uint64_t data_size_ = 0;  // bytes of entry data after the local header
  int64_t read_position_ = 0;
  uint64_t bound_ = 0;
  std::unique_ptr<uint8_t[]> in_, out_;
  size_t in_size_ = 0, out_size_ = 0;
  struct TInflate;
  std::unique_ptr<TInflate> inflate_;
  std::unique_ptr<TZipWholeInflate> whole_;
  std::unique_ptr<uint8_t[]> whole_in_;  // the compressed data of a whole-entry inflate
  size_t whole_in_size_ = 0;
};

}  // namespace zipengine
