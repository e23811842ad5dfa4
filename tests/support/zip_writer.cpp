#include "support/zip_writer.h"

#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace support {

namespace {

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

std::string Deflate(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflateInit2");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("deflate");
  return out;
}

std::string Blocks(const std::vector<TZipExtraBlock>& blocks) {
  std::string s;
  for (const TZipExtraBlock& b : blocks) {
    Put16(s, b.tag);
    Put16(s, static_cast<uint32_t>(b.data.size()));
    s += b.data;
  }
  return s;
}

TZipExtraBlock UnicodeBlock(uint16_t tag, std::string_view raw, std::string_view utf8, bool wrong_crc,
                            uint8_t version) {
  TZipExtraBlock b{tag, {}};
  b.data.push_back(static_cast<char>(version));
  Put32(b.data, ZipCrc32(raw) ^ (wrong_crc ? 0x5A5A5A5Au : 0u));
  b.data += utf8;
  return b;
}

// Parts under construction: every record is placed whole in one part when it
// fits one, else spread over as many as it needs.
class TParts {
 public:
  TParts(size_t part_size, bool split) : part_size_(part_size), split_(split), parts_(1) {}
  struct TWhere {
    uint32_t disk;
    size_t offset;
  };
  TWhere Reserve(size_t size) {
    if (split_ && parts_.back().size() + size > part_size_ && !parts_.back().empty() && size <= part_size_)
      parts_.emplace_back();
    return {static_cast<uint32_t>(parts_.size() - 1), parts_.back().size()};
  }
  void Append(std::string_view bytes) {
    while (split_ && parts_.back().size() + bytes.size() > part_size_) {
      const size_t room = part_size_ - std::min(part_size_, parts_.back().size());
      parts_.back().append(bytes.substr(0, room));
      bytes.remove_prefix(room);
      parts_.emplace_back();
    }
    parts_.back().append(bytes);
  }
  std::vector<std::string>& Parts() { return parts_; }

 private:
  size_t part_size_;
  bool split_;
  std::vector<std::string> parts_;
};

}  // namespace

uint32_t ZipCrc32(std::string_view data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return (date << 16) | time;
}

TZipExtraBlock UnicodePathBlock(std::string_view raw_name, std::string_view utf8_name, bool wrong_crc,
                                uint8_t version) {
  return UnicodeBlock(0x7075, raw_name, utf8_name, wrong_crc, version);
}

TZipExtraBlock UnicodeCommentBlock(std::string_view raw_comment, std::string_view utf8_comment, bool wrong_crc) {
  return UnicodeBlock(0x6375, raw_comment, utf8_comment, wrong_crc, 1);
}

TZipWriterEntry& TZipWriter::Add(std::string name, std::string data, TZipWriterMethod method) {
  TZipWriterEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  e.method = method;
  return Add(std::move(e));
}

TZipWriterEntry& TZipWriter::AddDirectory(std::string name) {
  if (name.empty() || name.back() != '/') name.push_back('/');
  TZipWriterEntry& e = Add(std::move(name), {}, TZipWriterMethod::zwmStored);
  e.external_attributes = 0x10;
  return e;
}

TZipWriterEntry& TZipWriter::Add(TZipWriterEntry entry) {
  entries_.push_back(std::move(entry));
  return entries_.back();
}

std::vector<std::string> TZipWriter::Layout(size_t part_size, bool split) const {
  TParts parts(part_size, split);
  size_t base = 0;
  if (split) {
    std::string marker;
    Put32(marker, 0x08074B50);
    parts.Append(marker);
  } else {
    parts.Append(prefix);
    base = offsets_include_prefix ? 0 : prefix.size();
  }

  struct TPlaced {
    uint32_t disk;
    uint64_t offset;
    uint32_t crc;
    uint64_t compressed;
  };
  std::vector<TPlaced> placed;
  for (const TZipWriterEntry& e : entries_) {
    const std::string body = e.method == TZipWriterMethod::zwmDeflated ? Deflate(e.data) : e.data;
    const uint32_t crc = e.crc.value_or(ZipCrc32(e.data));
    const uint32_t stamp = e.dos_date_time ? e.dos_date_time : kDefaultDateTime;
    std::vector<TZipExtraBlock> extra = e.local_extra;
    if (e.zip64) {
      TZipExtraBlock z{0x0001, {}};
      Put64(z.data, e.data.size());
      Put64(z.data, body.size());
      extra.insert(extra.begin(), z);
    }
    const std::string extra_bytes = Blocks(extra);
    std::string local;
    Put32(local, 0x04034B50);
    const uint16_t version_needed =
        e.zip64 && e.zip64_version ? std::max<uint16_t>(e.version_needed, 45) : e.version_needed;
    Put16(local, version_needed);
    Put16(local, e.flags);
    Put16(local, static_cast<uint16_t>(e.method));
    Put32(local, stamp);
    Put32(local, crc);
    Put32(local, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(body.size()));
    Put32(local, e.zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
    Put16(local, static_cast<uint32_t>(e.name.size()));
    Put16(local, static_cast<uint32_t>(extra_bytes.size()));
    local += e.name;
    local += extra_bytes;
    local += body;
    const auto where = parts.Reserve(local.size());
    placed.push_back({where.disk, where.offset - (where.disk == 0 ? base : 0), crc, body.size()});
    parts.Append(local);
  }

  std::vector<std::string> central_records;
  for (size_t i = 0; i < entries_.size(); ++i) {
    const TZipWriterEntry& e = entries_[i];
    const TPlaced& p = placed[i];
    std::vector<TZipExtraBlock> extra = e.central_extra;
    const uint8_t escapes = e.zip64 ? e.zip64_escapes : 0;
    if (e.zip64) {
      TZipExtraBlock z{0x0001, {}};
      if (escapes & 1) Put64(z.data, e.data.size());
      if (escapes & 2) Put64(z.data, p.compressed);
      if (escapes & 4) Put64(z.data, p.offset);
      extra.insert(e.zip64_block_last ? extra.end() : extra.begin(), z);
    }
    const std::string extra_bytes = Blocks(extra) + e.raw_central_extra;
    std::string c;
    Put32(c, 0x02014B50);
    Put16(c, e.version_made_by.value_or(static_cast<uint16_t>((e.host << 8) | e.version)));
    Put16(c, e.zip64 && e.zip64_version ? std::max<uint16_t>(e.version_needed, 45) : e.version_needed);
    Put16(c, e.flags);
    Put16(c, static_cast<uint16_t>(e.method));
    Put32(c, e.dos_date_time ? e.dos_date_time : kDefaultDateTime);
    Put32(c, p.crc);
    Put32(c, (escapes & 2) ? 0xFFFFFFFFu : static_cast<uint32_t>(p.compressed));
    Put32(c, (escapes & 1) ? 0xFFFFFFFFu : static_cast<uint32_t>(e.data.size()));
    Put16(c, static_cast<uint32_t>(e.name.size()));
    Put16(c, static_cast<uint32_t>(extra_bytes.size()));
    Put16(c, static_cast<uint32_t>(e.comment.size()));
    Put16(c, e.disk_start.value_or(static_cast<uint16_t>(p.disk)));
    Put16(c, e.internal_attributes);
    Put32(c, e.external_attributes);
    Put32(c, (escapes & 4) ? 0xFFFFFFFFu : static_cast<uint32_t>(p.offset));
    c += e.name;
    c += extra_bytes;
    c += e.comment;
    central_records.push_back(std::move(c));
  }

  uint32_t cd_disk = 0;
  uint64_t cd_offset = 0, cd_size = 0;
  std::vector<uint32_t> record_disks;
  for (size_t i = 0; i < central_records.size(); ++i) {
    const auto where = parts.Reserve(central_records[i].size());
    if (i == 0) {
      cd_disk = where.disk;
      cd_offset = where.offset - (where.disk == 0 ? base : 0);
    }
    record_disks.push_back(where.disk);
    cd_size += central_records[i].size();
    parts.Append(central_records[i]);
  }
  if (central_records.empty()) {
    const auto where = parts.Reserve(0);
    cd_disk = where.disk;
    cd_offset = where.offset - (where.disk == 0 ? base : 0);
  }

  const size_t tail_size = (zip64 ? 56 + 20 : 0) + 22 + comment.size();
  const auto tail_at = parts.Reserve(tail_size);
  const uint32_t this_disk = tail_at.disk;
  uint64_t on_this_disk = 0;
  for (uint32_t d : record_disks) on_this_disk += d == this_disk ? 1 : 0;
  const uint64_t total = entries_.size();
  std::string tail;
  if (zip64) {
    Put32(tail, 0x06064B50);
    Put64(tail, zip64_record_size);
    Put16(tail, 45);
    Put16(tail, zip64_version_needed);
    Put32(tail, this_disk);
    Put32(tail, cd_disk);
    Put64(tail, on_this_disk);
    Put64(tail, total);
    Put64(tail, cd_size);
    Put64(tail, cd_offset);
    Put32(tail, 0x07064B50);
    Put32(tail, zip64_locator_disk.value_or(this_disk));
    Put64(tail, tail_at.offset - (this_disk == 0 ? base : 0));
    Put32(tail, zip64_total_disks.value_or(this_disk + 1));
  }
  const bool escape = zip64 && zip64_escapes;
  Put32(tail, 0x06054B50);
  Put16(tail, this_disk);
  Put16(tail, cd_disk);
  Put16(tail, escape ? 0xFFFF : entry_count.value_or(static_cast<uint16_t>(on_this_disk)));
  Put16(tail, escape ? 0xFFFF : entry_count.value_or(static_cast<uint16_t>(total)));
  Put32(tail, escape ? 0xFFFFFFFFu : central_size.value_or(static_cast<uint32_t>(cd_size)));
  Put32(tail, escape ? 0xFFFFFFFFu : central_offset.value_or(static_cast<uint32_t>(cd_offset)));
  Put16(tail, comment_length.value_or(static_cast<uint16_t>(comment.size())));
  tail += comment;
  parts.Append(tail);
  parts.Parts().back() += trailing;
  return std::move(parts.Parts());
}

std::string TZipWriter::Build() const { return Layout(0, false).front(); }

std::vector<std::string> TZipWriter::BuildSplit(size_t part_size) const { return Layout(part_size, true); }

std::string TZipWriter::EmptyArchive() { return TZipWriter().Build(); }

void SaveBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size())),
                    std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void TZipWriter::Save(const std::string& path) const { SaveBytes(path, Build()); }

std::vector<std::string> TZipWriter::SaveSplit(const std::string& path, size_t part_size) const {
  const std::filesystem::path p(std::u8string(reinterpret_cast<const char8_t*>(path.data()), path.size()));
  const std::u8string ext8 = p.extension().u8string();
  const std::string ext(ext8.begin(), ext8.end());
  const std::string stem = path.substr(0, path.size() - ext.size());
  std::vector<std::string> names;
  const std::vector<std::string> parts = BuildSplit(part_size);
  for (size_t i = 0; i < parts.size(); ++i) {
    char number[24];
    std::snprintf(number, sizeof number, "%03zu", i + 1);
    names.push_back(stem + number + ext);
    SaveBytes(names.back(), parts[i]);
  }
  const auto stamp = std::filesystem::last_write_time(
      std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(names[0].data()), names[0].size())));
  for (const std::string& n : names)
    std::filesystem::last_write_time(
        std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(n.data()), n.size())), stamp);
  return names;
}

}  // namespace support
