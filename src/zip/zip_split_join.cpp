#include "zip/zip_split_join.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "common/stream.h"
#include "platform/file_system.h"
#include "zip/zip_file.h"
#include "zip/zip_reader.h"

namespace zip {

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v));
  Put32(out, static_cast<uint32_t>(v >> 32));
}

// The extra field without its Zip64 block.
std::string WithoutZip64(const std::string& extra) {
  std::string out;
  size_t at = 0;
  while (at + 4 <= extra.size()) {
    const uint16_t tag = GetLe16(extra, at), size = GetLe16(extra, at + 2);
    if (at + 4 + size > extra.size()) break;
    if (tag != kZip64ExtraTag) out.append(extra, at, 4 + size);
    at += 4 + size;
  }
  return out;
}

bool Copy(common::TStream& from, int64_t count, common::TStream& to) {
  std::vector<uint8_t> buffer(1 << 16);
  while (count > 0) {
    const int64_t n = from.Read(buffer.data(), std::min<int64_t>(count, static_cast<int64_t>(buffer.size())));
    if (n <= 0 || to.Write(buffer.data(), n) != n) return false;
    count -= n;
  }
  return true;
}

}  // namespace

int JoinSplitArchive(const TZipFile& file, const std::string& target) {
  const std::vector<std::string>& parts = file.PartNames();
  if (parts.empty() || file.CentralDisk() >= parts.size()) return -1;
  try {
    std::vector<int64_t> part_start(parts.size(), 0);
    std::vector<int64_t> part_size(parts.size(), 0);
    common::TFileStream out(target, common::TFileMode::fmCreate);
    int64_t written = 0;
    for (size_t d = 0; d <= file.CentralDisk(); ++d) {
      common::TFileStream part(parts[d], common::TFileMode::fmOpenRead);
      part_size[d] = part.Size();
      int64_t from = 0;
      if (d == 0) {
        std::string head(4, '\0');
        if (part.Read(head.data(), 4) == 4 && GetLe32(head, 0) == kSpanningSig) from = 4;
      }
      const int64_t to = d == file.CentralDisk() ? static_cast<int64_t>(file.CentralOffset()) : part_size[d];
      if (to < from || to > part_size[d]) throw common::EReadError("part");
      part.Seek(from, common::TSeekOrigin::soBeginning);
      part_start[d] = written - from;
      if (!Copy(part, to - from, out)) throw common::EWriteError("part");
      written += to - from;
    }

    const uint64_t central_start = static_cast<uint64_t>(written);
    std::string dir;
    for (int i = 0; i < file.Count(); ++i) {
      const TZipDirRecord& r = *file.Record(i);
      const TZipCentralHeader& h = r.Header();
      if (h.disk_start > file.CentralDisk() ||
          h.local_header_offset >= static_cast<uint64_t>(part_size[h.disk_start]))
        throw common::EReadError("record");
      const uint64_t offset = static_cast<uint64_t>(part_start[h.disk_start]) + h.local_header_offset;
      std::string extra = WithoutZip64(r.ExtraField());
      std::string zip64;
      auto field = [&](uint64_t value) -> uint32_t {
        if (value < 0xFFFFFFFFu) return static_cast<uint32_t>(value);
        Put64(zip64, value);
        return 0xFFFFFFFFu;
      };
      const uint32_t uncompressed = field(h.uncompressed_size);
      const uint32_t compressed = field(h.compressed_size);
      const uint32_t local = field(offset);
      if (!zip64.empty()) {
        std::string block;
        Put16(block, kZip64ExtraTag);
        Put16(block, static_cast<uint32_t>(zip64.size()));
        extra = block + zip64 + extra;
      }
      if (extra.size() > 0xFFFF) throw common::EWriteError("extra");
      Put32(dir, kCentralHeaderSig);
      Put16(dir, h.version_made_by);
      Put16(dir, zip64.empty() ? h.version_needed : std::max<uint16_t>(h.version_needed, 45));
      Put16(dir, h.flags);
      Put16(dir, h.method);
      Put32(dir, h.dos_date_time);
      Put32(dir, h.crc32);
      Put32(dir, compressed);
      Put32(dir, uncompressed);
      Put16(dir, static_cast<uint32_t>(r.RawFileName().size()));
      Put16(dir, static_cast<uint32_t>(extra.size()));
      Put16(dir, static_cast<uint32_t>(r.RawComment().size()));
      Put16(dir, 0);
      Put16(dir, h.internal_attributes);
      Put32(dir, h.external_attributes);
      Put32(dir, local);
      dir += r.RawFileName();
      dir += extra;
      dir += r.RawComment();
    }
    const uint64_t count = static_cast<uint64_t>(file.Count());
    const bool zip64 = count >= 0xFFFF || central_start >= 0xFFFFFFFFu || dir.size() >= 0xFFFFFFFFu;
    std::string end;
    if (zip64) {
      const uint64_t zip64_end = central_start + dir.size();
      Put32(end, kZip64EndSig);
      Put64(end, 44);
      Put16(end, 45);
      Put16(end, 45);
      Put32(end, 0);
      Put32(end, 0);
      Put64(end, count);
      Put64(end, count);
      Put64(end, dir.size());
      Put64(end, central_start);
      Put32(end, kZip64LocatorSig);
      Put32(end, 0);
      Put64(end, zip64_end);
      Put32(end, 1);
    }
    Put32(end, kEndOfCentralSig);
    Put16(end, 0);
    Put16(end, 0);
    Put16(end, zip64 ? 0xFFFF : static_cast<uint32_t>(count));
    Put16(end, zip64 ? 0xFFFF : static_cast<uint32_t>(count));
    Put32(end, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(dir.size()));
    Put32(end, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(central_start));
    Put16(end, static_cast<uint32_t>(file.ZipComment().size()));
    end += file.ZipComment();
    out.WriteBuffer(dir.data(), static_cast<int64_t>(dir.size()));
    out.WriteBuffer(end.data(), static_cast<int64_t>(end.size()));
  } catch (const std::exception&) {
    std::error_code ec;
    std::filesystem::remove(platform::ToPath(target), ec);
    return -1;
  }
  return 0;
}

}  // namespace zip
