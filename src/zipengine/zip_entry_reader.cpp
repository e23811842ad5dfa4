#include "zipengine/zip_entry_reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "zipengine/zip_crc32.h"
#include "zipformat/zip_file.h"
#include "zipformat/zip_reader.h"

namespace zipengine {

namespace {
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
}  // namespace

TZipEntrySink::~TZipEntrySink() = default;

// --- traditional encryption ------------------------------------------------------

TZipCryptKeys::TZipCryptKeys(const std::string& password) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

void TZipCryptKeys::Update(uint8_t c) {
  static const z_crc_t* table = get_crc_table();
  key0_ = table[(key0_ ^ c) & 0xFF] ^ (key0_ >> 8);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
  key2_ = table[(key2_ ^ (key1_ >> 24)) & 0xFF] ^ (key2_ >> 8);
}

// --- reader -------------------------------------------------------------------------

struct TZipEntryReader::TInflate {
  z_stream z{};
  bool ready = false;
  TInflate() { ready = inflateInit2(&z, -MAX_WBITS) == Z_OK; }
  ~TInflate() {
    if (ready) inflateEnd(&z);
  }
};

TZipEntryReader::TZipEntryReader(common::TStream& archive, int64_t archive_size)
    : archive_(archive), archive_size_(archive_size) {}

void TZipEntryReader::SizeBuffers(uint64_t in_need, uint64_t out_need) {
  const size_t in = static_cast<size_t>(std::clamp<uint64_t>(in_need, 1, kInBufferSize));
  const size_t out = static_cast<size_t>(std::clamp<uint64_t>(out_need, 1, kOutBufferSize));
  if (in > in_size_) {
    in_ = std::make_unique_for_overwrite<uint8_t[]>(in);
    in_size_ = in;
  }
  if (out > out_size_) {
    out_ = std::make_unique_for_overwrite<uint8_t[]>(out);
    out_size_ = out;
  }
}

TZipEntryReader::~TZipEntryReader() = default;

bool TZipEntryReader::ReadAt(int64_t position, uint8_t* buffer, size_t count) {
  if (position < 0 || position > archive_size_ || static_cast<int64_t>(count) > archive_size_ - position) return false;
  if (archive_.Seek(position, common::TSeekOrigin::soBeginning) != position) return false;
  return archive_.Read(buffer, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
}

TZipEntryStatus TZipEntryReader::Locate(const zip::TZipDirRecord& record, int64_t shift) {
  const uint64_t stored = record.RelOffLocalHdr();
  if (stored > static_cast<uint64_t>(archive_size_)) return TZipEntryStatus::esBadLocalHeader;
  const int64_t header = static_cast<int64_t>(stored) + shift;
  uint8_t fixed[kLocalHeaderSize];
  if (!ReadAt(header, fixed, sizeof fixed)) return TZipEntryStatus::esBadLocalHeader;
  const std::string_view view(reinterpret_cast<const char*>(fixed), sizeof fixed);
  if (zip::GetLe32(view, 0) != zip::kLocalHeaderSig) return TZipEntryStatus::esBadLocalHeader;
  bound_ = 0;
  data_size_ = 0;
  data_offset_ = header + static_cast<int64_t>(kLocalHeaderSize) + zip::GetLe16(view, 26) + zip::GetLe16(view, 28);
  if (data_offset_ > archive_size_) return TZipEntryStatus::esTruncated;

  // Sizes first, so that nothing is ever sized after a field the archive cannot back.
  // A stored file declared empty is empty, whatever compressed size a writer
  // gave it (some store the two bytes of an empty deflate stream).
  const bool empty_stored =
      record.CompressionMethod() == kMethodStored && !record.Encrypted() && record.UncompressedSize() == 0;
  const uint64_t compressed = empty_stored ? 0 : record.CompressedSize();
  data_size_ = compressed;
  const uint64_t uncompressed = record.UncompressedSize();
  if (compressed > static_cast<uint64_t>(archive_size_ - data_offset_)) return TZipEntryStatus::esTruncated;
  const uint64_t payload = compressed - (record.Encrypted() ? std::min<uint64_t>(compressed, kCryptHeaderSize) : 0);
  if (record.Encrypted() && compressed < kCryptHeaderSize) return TZipEntryStatus::esTruncated;
  const uint64_t most = record.CompressionMethod() == kMethodStored ? payload : payload * kMaxDeflateRatio + 64;
  if (record.CompressionMethod() == kMethodDeflated && uncompressed > most) return TZipEntryStatus::esBadSizes;
  bound_ = std::min(uncompressed, most);
  return TZipEntryStatus::esOk;
}

bool TZipEntryReader::CheckPassword(const zip::TZipDirRecord& record, const std::string& password) {
  uint8_t header[kCryptHeaderSize];
  if (!ReadAt(data_offset_, header, sizeof header)) return false;
  TZipCryptKeys keys(password);
  uint8_t last = 0;
  for (uint8_t c : header) last = keys.Decrypt(c);
  const uint8_t check = (record.Flag() & kFlagDataDescriptor) ? static_cast<uint8_t>(record.DateTime() >> 8)
                                                              : static_cast<uint8_t>(record.CRC32() >> 24);
  return last == check;
}

size_t TZipEntryReader::ReadData(uint64_t& left, uint8_t* buffer, size_t count) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(left, count));
  if (want == 0) return 0;
  if (archive_.Seek(read_position_, common::TSeekOrigin::soBeginning) != read_position_) return 0;
  const int64_t got = archive_.Read(buffer, static_cast<int64_t>(want));
  if (got <= 0) return 0;
  read_position_ += got;
  left -= static_cast<uint64_t>(got);
  return static_cast<size_t>(got);
}

TZipEntryResult TZipEntryReader::Extract(const zip::TZipDirRecord& record, const std::string* password,
                                         TZipEntrySink* sink, const std::atomic<bool>& abort,
                                         const std::function<void(uint64_t)>& progress) {
  TZipEntryResult result;
  const uint64_t declared = record.UncompressedSize();
  uint64_t left = data_size_;
  read_position_ = data_offset_;
  SizeBuffers(left, bound_ + 1);
  std::unique_ptr<TZipCryptKeys> keys;
  if (record.Encrypted()) {
    keys = std::make_unique<TZipCryptKeys>(password ? *password : std::string());
    uint8_t header[kCryptHeaderSize];
    if (ReadData(left, header, sizeof header) != sizeof header) {
      result.status = TZipEntryStatus::esTruncated;
      return result;
    }
    for (uint8_t& c : header) c = keys->Decrypt(c);
  }
  auto decrypt = [&](uint8_t* data, size_t n) {
    if (keys)
      for (size_t i = 0; i < n; ++i) data[i] = keys->Decrypt(data[i]);
  };
  // Hands on at most the declared bytes; true while the entry may go on.
  auto deliver = [&](const uint8_t* data, size_t n) {
    const uint64_t room = declared - result.produced;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(room, n));
    if (take > 0) {
      result.crc = ZipCrc32(result.crc, data, take);
      if (sink && !sink->Write(data, take)) {
        result.status = TZipEntryStatus::esWriteFailed;
        return false;
      }
      result.produced += take;
    }
    if (take < n) {
      result.status = TZipEntryStatus::esTooLong;
      return false;
    }
    if (progress) progress(result.produced);
    if (abort.load(std::memory_order_relaxed)) {
      result.status = TZipEntryStatus::esAborted;
      return false;
    }
    return true;
  };

  if (record.CompressionMethod() == kMethodStored) {
    while (left > 0) {
      const size_t n = ReadData(left, out_.get(), out_size_);
      if (n == 0) {
        result.status = TZipEntryStatus::esTruncated;
        return result;
      }
      decrypt(out_.get(), n);
      if (!deliver(out_.get(), n)) return result;
    }
  } else if (record.CompressionMethod() == kMethodDeflated) {
    // Straight into the sink's memory when it has room for the whole entry and
    // the byte that shows a longer stream.
    size_t direct_capacity = 0;
    uint8_t* direct = sink ? sink->Direct(direct_capacity) : nullptr;
    if (direct && direct_capacity < bound_ + 1) direct = nullptr;
    if (direct && !keys && InflateWhole(direct, declared)) {
      result.whole_entry = true;
      if (!deliver(direct, static_cast<size_t>(declared))) return result;
      return Finish(record, result);
    }
    if (!inflate_) inflate_ = std::make_unique<TInflate>();
    if (!inflate_->ready) {
      result.status = TZipEntryStatus::esBadData;
      return result;
    }
    z_stream& z = inflate_->z;
    inflateReset(&z);
    z.avail_in = 0;
    bool ended = false;
    while (!ended) {
      if (z.avail_in == 0 && left > 0) {
        const size_t n = ReadData(left, in_.get(), in_size_);
        if (n == 0) {
          result.status = TZipEntryStatus::esTruncated;
          return result;
        }
        decrypt(in_.get(), n);
        z.next_in = in_.get();
        z.avail_in = static_cast<uInt>(n);
      }
      // One byte beyond the declared size is room enough to see that there is more.
      const uint64_t room = declared - result.produced + 1;
      uint8_t* block = direct ? direct + result.produced : out_.get();
      z.next_out = block;
      z.avail_out = static_cast<uInt>(std::min<uint64_t>(kOutBufferSize, room));
      const int ret = inflate(&z, Z_NO_FLUSH);
      const size_t have = static_cast<size_t>(z.next_out - block);
      if (ret == Z_STREAM_END)
        ended = true;
      else if (ret == Z_BUF_ERROR && z.avail_in == 0 && left == 0 && have == 0) {
        result.status = TZipEntryStatus::esTruncated;
        return result;
      } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
        result.status = TZipEntryStatus::esBadData;
        return result;
      }
      if (have > 0 && !deliver(block, have)) return result;
      if (!ended && have == 0 && z.avail_in == 0 && left == 0) {
        result.status = TZipEntryStatus::esTruncated;
        return result;
      }
    }
  } else {
    result.status = TZipEntryStatus::esBadData;
    return result;
  }
  return Finish(record, result);
}

TZipEntryResult TZipEntryReader::Finish(const zip::TZipDirRecord& record, TZipEntryResult result) {
  if (result.produced < record.UncompressedSize())
    result.status = TZipEntryStatus::esTooShort;
  else if (result.crc != record.CRC32())
    result.status = TZipEntryStatus::esCRC;
  return result;
}

bool TZipEntryReader::InflateWhole(uint8_t* out, uint64_t size) {
  const uint64_t compressed = data_size_;
  if (!TZipWholeInflate::Available() || compressed > kMaxWholeInput) return false;
  if (compressed > whole_in_size_) {
    whole_in_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(compressed));
    whole_in_size_ = static_cast<size_t>(compressed);
  }
  if (!ReadAt(data_offset_, whole_in_.get(), static_cast<size_t>(compressed))) return false;
  if (!whole_) whole_ = std::make_unique<TZipWholeInflate>();
  return whole_->Inflate(whole_in_.get(), static_cast<size_t>(compressed), out, static_cast<size_t>(size));
}

}  // namespace zipengine
