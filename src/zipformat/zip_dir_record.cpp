#include "zipformat/zip_dir_record.h"

#include "zipformat/zip_core.h"
#include "zipformat/zip_dir_hash_list.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_reader.h"

namespace zip {

TZipDirEntry::~TZipDirEntry() = default;

namespace {
constexpr int kUnit = 2;
// The line of the caller goes into the code's location tag.
int Fail(int id, int line = __builtin_LINE()) { return -MakeZipCode(id, kUnit, line); }
}  // namespace

void TZipDirRecord::Assign(const TZipCentralHeader& header, std::string name, std::string extra, std::string comment) {
  header_ = header;
  header_.name_length = static_cast<uint16_t>(name.size());
  header_.extra_length = static_cast<uint16_t>(extra.size());
  header_.comment_length = static_cast<uint16_t>(comment.size());
  name_ = std::move(name);
  extra_ = std::move(extra);
  comment_ = std::move(comment);
  status_ = static_cast<uint8_t>((status_ & kDeleted) | (!name_.empty() && name_.back() == '/' ? kIsDirectory : 0));
  decoded_name_.clear();
}

int TZipDirRecord::Read(TZipReader& reader) {
  std::string fixed;
  if (!reader.ReadString(fixed, kCentralHeaderSize)) return Fail(ZE_CEHDataSize);
  if (GetLe32(fixed, 0) != kCentralHeaderSig) return Fail(ZE_CEHBadRead);
  TZipCentralHeader& h = header_;
  h.version_made_by = GetLe16(fixed, 4);
  h.version_needed = GetLe16(fixed, 6);
  h.flags = GetLe16(fixed, 8);
  h.method = GetLe16(fixed, 10);
  h.dos_date_time = GetLe32(fixed, 12);
  h.crc32 = GetLe32(fixed, 16);
  h.compressed_size = GetLe32(fixed, 20);
  h.uncompressed_size = GetLe32(fixed, 24);
  h.name_length = GetLe16(fixed, 28);
  h.extra_length = GetLe16(fixed, 30);
  h.comment_length = GetLe16(fixed, 32);
  h.disk_start = GetLe16(fixed, 34);
  h.internal_attributes = GetLe16(fixed, 36);
  h.external_attributes = GetLe32(fixed, 38);
  h.local_header_offset = GetLe32(fixed, 42);

  std::string block;
  const size_t total = size_t{h.name_length} + h.extra_length + h.comment_length;
  if (!reader.ReadString(block, total)) {
    if (block.size() < h.name_length) return Fail(ZE_CENameLen);
    if (block.size() < size_t{h.name_length} + h.extra_length) return Fail(ZE_SeekError);
    return Fail(ZE_CECommentLen);
  }
  name_ = block.substr(0, h.name_length);
  extra_ = block.substr(h.name_length, h.extra_length);
  comment_ = block.substr(size_t{h.name_length} + h.extra_length);
  status_ = !name_.empty() && name_.back() == '/' ? kIsDirectory : 0;
  decoded_name_.clear();
  return ReadZip64();
}

int TZipDirRecord::ReadZip64() {
  // The Zip64 block holds exactly the values whose fixed fields are escaped, in
  // this order, whatever the version needed says and wherever the block stands
  // among the others.
  constexpr uint32_t kEscape = 0xFFFFFFFFu;
  if (header_.uncompressed_size != kEscape && header_.compressed_size != kEscape &&
      header_.local_header_offset != kEscape && header_.disk_start != 0xFFFF)
    return 0;
  const auto block = FindExtraBlock(extra_, kZip64ExtraTag);
  if (!block) return 0;
  size_t at = 0;
  auto take64 = [&](uint64_t& field) {
    if (field != kEscape) return true;
    if (block->size() - at < 8) return false;
    field = GetLe64(*block, at);
    at += 8;
    return true;
  };
  if (!take64(header_.uncompressed_size) || !take64(header_.compressed_size) || !take64(header_.local_header_offset))
    return Fail(ZE_Zip64FieldError);
  if (header_.disk_start == 0xFFFF) {
    if (block->size() - at < 4) return Fail(ZE_Zip64FieldError);
    header_.disk_start = GetLe32(*block, at);
  }
  return 1;
}

TZipNameOptions TZipDirRecord::Options() const { return context_ ? context_->NameOptions() : TZipNameOptions{}; }

TZipNameSource TZipDirRecord::Source(const std::string& raw) const {
  return {raw, header_.flags, header_.version_made_by, extra_};
}

const std::string& TZipDirRecord::FileName() const {
  if (!(status_ & kNameValid)) {
    decoded_name_ = DecodeEntryName(Source(name_), Options());
    status_ |= kNameValid;
  }
  return decoded_name_;
}

std::string TZipDirRecord::FileComment() const { return DecodeEntryComment(Source(comment_), Options()); }

uint32_t TZipDirRecord::NameHash() const {
  if (!(status_ & kHashValid)) {
    hash_ = TZipDirHashList::HashName(FileName());
    status_ |= kHashValid;
  }
  return hash_;
}

void TZipDirRecord::ClearCache() {
  status_ &= static_cast<uint8_t>(~(kNameValid | kHashValid));
  decoded_name_.clear();
}

void TZipDirRecord::SetDeleted(bool deleted) {
  status_ = static_cast<uint8_t>(deleted ? status_ | kDeleted : status_ & ~kDeleted);
}

}  // namespace zip
