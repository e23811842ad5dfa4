#include "zip/zip_split_join.h"

#include <filesystem>
#include <memory>
#include <vector>

#include "common/stream.h"
#include "platform/file_system.h"
#include "zipformat/zip_file.h"
#include "zipformat/zip_reader.h"

namespace zip {

namespace {

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
      if (h.disk_start > file.CentralDisk() || h.local_header_offset >= static_cast<uint64_t>(part_size[h.disk_start]))
        throw common::EReadError("record");
      const uint64_t offset = static_cast<uint64_t>(part_start[h.disk_start]) + h.local_header_offset;
      std::string extra = WithoutZip64(r.ExtraField());
      std::string zip64;
      auto field = [&](uint64_t value) -> uint32_t {
        if (value < 0xFFFFFFFFu) return static_cast<uint32_t>(value);
        PutLe64(zip64, value);
        return 0xFFFFFFFFu;
      };
      const uint32_t uncompressed = field(h.uncompressed_size);
      const uint32_t compressed = field(h.compressed_size);
      const uint32_t local = field(offset);
      if (!zip64.empty()) {
        std::string block;
        PutLe16(block, kZip64ExtraTag);
        PutLe16(block, static_cast<uint32_t>(zip64.size()));
        extra = block + zip64 + extra;
      }
      if (extra.size() > 0xFFFF) throw common::EWriteError("extra");
      PutLe32(dir, kCentralHeaderSig);
      PutLe16(dir, h.version_made_by);
      PutLe16(dir, zip64.empty() ? h.version_needed : std::max<uint16_t>(h.version_needed, 45));
      PutLe16(dir, h.flags);
      PutLe16(dir, h.method);
      PutLe32(dir, h.dos_date_time);
      PutLe32(dir, h.crc32);
      PutLe32(dir, compressed);
      PutLe32(dir, uncompressed);
      PutLe16(dir, static_cast<uint32_t>(r.RawFileName().size()));
      PutLe16(dir, static_cast<uint32_t>(extra.size()));
      PutLe16(dir, static_cast<uint32_t>(r.RawComment().size()));
      PutLe16(dir, 0);
      PutLe16(dir, h.internal_attributes);
      PutLe32(dir, h.external_attributes);
      PutLe32(dir, local);
      dir += r.RawFileName();
      dir += extra;
      dir += r.RawComment();
    }
    const uint64_t count = static_cast<uint64_t>(file.Count());
    const bool zip64 = count >= 0xFFFF || central_start >= 0xFFFFFFFFu || dir.size() >= 0xFFFFFFFFu;
    std::string end;
    if (zip64) {
      const uint64_t zip64_end = central_start + dir.size();
      PutLe32(end, kZip64EndSig);
      PutLe64(end, 44);
      PutLe16(end, 45);
      PutLe16(end, 45);
      PutLe32(end, 0);
      PutLe32(end, 0);
      PutLe64(end, count);
      PutLe64(end, count);
      PutLe64(end, dir.size());
      PutLe64(end, central_start);
      PutLe32(end, kZip64LocatorSig);
      PutLe32(end, 0);
      PutLe64(end, zip64_end);
      PutLe32(end, 1);
    }
    PutLe32(end, kEndOfCentralSig);
    PutLe16(end, 0);
    PutLe16(end, 0);
    PutLe16(end, zip64 ? 0xFFFF : static_cast<uint32_t>(count));
    PutLe16(end, zip64 ? 0xFFFF : static_cast<uint32_t>(count));
    PutLe32(end, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(dir.size()));
    PutLe32(end, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(central_start));
    PutLe16(end, static_cast<uint32_t>(file.ZipComment().size()));
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
