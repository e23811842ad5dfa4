#include "zipformat/zip_file.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>

#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/text_compare.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_reader.h"

namespace zip {

namespace {

constexpr int kUnit = 3;
// The line of the caller goes into the code's location tag.
int Fail(int id, int line = __builtin_LINE()) { return -MakeZipCode(id, kUnit, line); }

// Generations are unique across every file of the process, so a handle made for
// one listing never matches another.
std::atomic<uint64_t> g_generation{0};

bool PathExists(const std::string& name) { return platform::GetPathKind(name, true) != platform::TPathKind::None; }

}  // namespace

TZipFileListener::~TZipFileListener() = default;

TZipFile::TZipFile(TZipContext& context) : TZipCore(context), index_(*this) {}

TZipFile::~TZipFile() = default;

void TZipFile::Close() {
  reader_.reset();
  stream_.reset();
}

void TZipFile::OpenStream(std::unique_ptr<common::TStream> stream, const std::string& name) {
  Close();
  part_names_.clear();
  file_name_ = name;
  stream_ = std::move(stream);
  reader_ = std::make_unique<TZipReader>(*stream_, [this] { return NextPart(); });
  open_disk_ = 0;
  ClassifyKind();
}

int TZipFile::Open(const std::string& name) {
  Close();
  std::unique_ptr<common::TStream> stream;
  try {
    stream = std::make_unique<common::TFileStream>(name, common::TFileMode::fmOpenRead);
  } catch (const common::EStreamError&) {
    return Fail(PathExists(name) ? ZE_FileOpen : ZE_NoInFile);
  }
  std::vector<std::string> parts = std::move(part_names_);
  OpenStream(std::move(stream), name);
  part_names_ = std::move(parts);
  return 0;
}

int TZipFile::ClassifyKind() {
  std::string head;
  kind_ = TZipFileKind::fkUnknown;
  if (!reader_->Seek(0)) return 0;
  reader_->ReadString(head, 8);
  if (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z') {
    kind_ = TZipFileKind::fkExecutable;
  } else if (head.size() >= 4 && GetLe32(head, 0) == kLocalHeaderSig) {
    kind_ = TZipFileKind::fkPlain;
  } else if (head.size() >= 8 && GetLe32(head, 0) == kSpanningSig && GetLe32(head, 4) == kLocalHeaderSig) {
    kind_ = TZipFileKind::fkSplit;
  }
  return 0;
}

int TZipFile::OpenAndList(const std::string& name) {
  part_names_.clear();
  int result = Open(name);
  if (result == 0) {
    result = LocateEOC();
  } else if (ZipCodeId(result) == ZE_NoInFile) {
    result = SearchNumberedParts(name);
    file_name_ = name;
  }
  return ListLocated(result);
}

int TZipFile::OpenAndList(std::unique_ptr<common::TStream> stream, const std::string& name) {
  OpenStream(std::move(stream), name);
  return ListLocated(LocateEOC());
}

int TZipFile::ListLocated(int located) {
  int result = located;
  if (result >= 0) {
    if (result & kEOCCommentError) Context().ReportWarning(ZE_CECommentLen, "");
    result = LoadCentralDirectory();
  }
  Close();
  return result < 0 ? result : 0;
}

void TZipFile::ClearEOC() {
  eoc_found_ = false;
  file_size_ = 0;
  eoc_offset_ = 0;
  this_disk_ = 0;
  number_of_parts_ = 0;
  multi_part_ = kind_ == TZipFileKind::fkSplit;
  central_disk_ = 0;
  entries_on_disk_ = 0;
  total_entries_ = 0;
  central_size_ = 0;
  central_offset_ = 0;
  zip64_ = false;
  zip_comment_.clear();
}

int TZipFile::ReadAt(int64_t position, std::string& bytes, size_t count, int seek_error, int read_error) {
  if (!reader_->Seek(position)) return Fail(seek_error);
  if (!reader_->ReadString(bytes, count)) return Fail(read_error);
  return 0;
}

int TZipFile::LocateEOC(bool eoc_only) {
  ClearEOC();
  if (!reader_) return Fail(ZE_FileOpen);
  const int64_t size = reader_->Size();
  if (size < kEOCSize) return Fail(ZE_NotZipFile);
  file_size_ = size;
  // The end record with the 20 bytes before it, where a Zip64 locator would be.
  const int64_t last = std::min(size, kEOCSize + kZip64LocatorSize);
  std::string record, before;
  if (int r = ReadAt(size - last, record, static_cast<size_t>(last), ZE_NotZipFile, ZE_EOCBadRead); r < 0) return r;
  before = record.substr(0, record.size() - kEOCSize);
  record.erase(0, before.size());

  int result = 0;
  if (GetLe32(record, 0) == kEndOfCentralSig) {
    eoc_offset_ = size - kEOCSize;
    // The comment would lie beyond the end of the file.
    if (GetLe16(record, 20) != 0) result |= kEOCCommentError;
  } else {
    const int64_t length = std::min(size, kMaxEOCSearch);
    std::string tail;
    if (int r = ReadAt(size - length, tail, static_cast<size_t>(length), ZE_FileError, ZE_EOCBadRead); r < 0) return r;
    int64_t hit = -1;
    for (int64_t i = length - kEOCSize - 1; i >= 0; --i) {
      if (tail[static_cast<size_t>(i)] == 'P' && GetLe32(tail, static_cast<size_t>(i)) == kEndOfCentralSig) {
        hit = i;
        break;
      }
    }
    if (hit < 0) return Fail(ZE_NotZipFile);
    eoc_offset_ = size - (length - hit);
    record = tail.substr(static_cast<size_t>(hit), kEOCSize);
    before = tail.substr(static_cast<size_t>(std::max<int64_t>(hit - kZip64LocatorSize, 0)),
                         static_cast<size_t>(std::min<int64_t>(hit, kZip64LocatorSize)));
    const size_t after = static_cast<size_t>(length - hit - kEOCSize);
    const size_t comment_length = std::min<size_t>(GetLe16(record, 20), after);
    zip_comment_ = tail.substr(static_cast<size_t>(hit + kEOCSize), comment_length);
    if (comment_length != after) {
      // Bytes follow the comment: the archive ends where the comment does.
      file_size_ = eoc_offset_ + kEOCSize + static_cast<int64_t>(comment_length);
      result |= kEOCCommentError;
    }
  }

  this_disk_ = GetLe16(record, 4);
  central_disk_ = GetLe16(record, 6);
  entries_on_disk_ = GetLe16(record, 8);
  total_entries_ = GetLe16(record, 10);
  central_size_ = GetLe32(record, 12);
  central_offset_ = GetLe32(record, 16);
  multi_part_ = multi_part_ || this_disk_ != 0;
  number_of_parts_ = static_cast<int>(this_disk_) + 1;
  const bool escaped = this_disk_ == 0xFFFF || central_disk_ == 0xFFFF || entries_on_disk_ == 0xFFFF ||
                       total_entries_ == 0xFFFF || central_size_ == 0xFFFFFFFFu || central_offset_ == 0xFFFFFFFFu;
  eoc_found_ = true;
  if (!eoc_only) {
    if (before.size() < kZip64LocatorSize && eoc_offset_ >= kZip64LocatorSize) {
      // Only a long tail whose end record sits near its start gets here.
      if (int r = ReadAt(eoc_offset_ - kZip64LocatorSize, before, kZip64LocatorSize, ZE_FileError, ZE_EOCBadRead);
          r < 0)
        return r;
    }
    if (before.size() == kZip64LocatorSize) {
      if (int r = ReadZip64EOC(before, escaped); r < 0) return r;
    } else if (escaped) {
      return Fail(ZE_FileError);
    }
  }
  open_disk_ = this_disk_;
  return result;
}

int TZipFile::ReadZip64EOC(const std::string& locator, bool escaped) {
  // Without escapes in the end record a Zip64 record is only a second opinion:
  // nothing about it is an error, and it counts only where it disagrees.
  auto trouble = [escaped](int code) { return escaped ? code : 0; };
  uint32_t total_disks = GetLe32(locator, 16);
  const uint32_t record_disk = GetLe32(locator, 4);
  // Some writers leave the number of disks at 0 in a single-file archive.
  if (total_disks == 0 && record_disk == 0) total_disks = 1;
  if (GetLe32(locator, 0) != kZip64LocatorSig || (this_disk_ == 0xFFFF && total_disks < 0xFFFF)) return 0;
  if (uint64_t{record_disk} + 1 != total_disks) return trouble(Fail(ZE_EOCBadRead));

  const uint64_t offset = GetLe64(locator, 8);
  if (offset > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return trouble(Fail(ZE_FileError));
  int64_t at = static_cast<int64_t>(offset);
  std::string end;
  if (int r = ReadAt(at, end, kZip64EndSize, ZE_FileError, ZE_EOCBadRead); r < 0) return trouble(r);
  if (GetLe32(end, 0) != kZip64EndSig) {
    // Behind a prefix the locator's offset misses the record by the prefix's
    // size; without extensible data the record lies right before the locator.
    at = eoc_offset_ - kZip64LocatorSize - kZip64EndSize;
    if (at < 0 || ReadAt(at, end, kZip64EndSize, ZE_FileError, ZE_EOCBadRead) < 0 || GetLe32(end, 0) != kZip64EndSig) {
      if (escaped) SetParts(total_disks);
      return 0;
    }
  }
  if ((GetLe16(end, 14) & 0xFF) > 45 || GetLe64(end, 4) < 44) return trouble(Fail(ZE_UnsupportedVersion));
  const uint32_t central_disk = GetLe32(end, 20);
  const uint64_t on_disk = GetLe64(end, 24), total = GetLe64(end, 32), size = GetLe64(end, 40),
                 central = GetLe64(end, 48);
  if (!escaped && central_disk == central_disk_ && on_disk == entries_on_disk_ && total == total_entries_ &&
      size == central_size_ && central == central_offset_)
    return 0;
  // The Zip64 record holds the true values where the end record holds escapes,
  // counts taken modulo 65,536 or offsets cut to 32 bits.
  SetParts(total_disks);
  eoc_offset_ = at;
  central_disk_ = central_disk;
  entries_on_disk_ = on_disk;
  total_entries_ = total;
  central_size_ = size;
  central_offset_ = central;
  return 0;
}

void TZipFile::SetParts(uint32_t total_disks) {
  zip64_ = true;
  number_of_parts_ = static_cast<int>(std::min<uint32_t>(total_disks, std::numeric_limits<int>::max()));
  this_disk_ = total_disks - 1;
  multi_part_ = multi_part_ || this_disk_ != 0;
}

std::string TZipFile::PartName(uint32_t disk) const {
  if (disk < part_names_.size()) return part_names_[disk];
  if (!part_names_.empty()) return {};
  const std::string ext = platform::FromPath(platform::ToPath(file_name_).extension());
  return file_name_.substr(0, file_name_.size() - ext.size()) + common::Format("%03u", disk + 1) + ext;
}

int TZipFile::OpenPart(uint32_t disk, std::unique_ptr<common::TStream>& stream) {
  const std::string name = PartName(disk);
  int64_t stamp = 0;
  if (!PathExists(name) || !platform::GetFileModificationTime(name, stamp) ||
      (!part_names_.empty() && stamp != part_stamp_))
    return Fail(ZE_NoInFile);
  try {
    stream = std::make_unique<common::TFileStream>(name, common::TFileMode::fmOpenRead);
  } catch (const common::EStreamError&) {
    return Fail(ZE_FileOpen);
  }
  return 0;
}

int TZipFile::SwitchToPart(uint32_t disk) {
  std::unique_ptr<common::TStream> stream;
  if (int r = OpenPart(disk, stream); r < 0) return r;
  reader_.reset();
  stream_ = std::move(stream);
  reader_ = std::make_unique<TZipReader>(*stream_, [this] { return NextPart(); });
  open_disk_ = disk;
  return 0;
}

common::TStream* TZipFile::NextPart() {
  if (static_cast<int64_t>(open_disk_) + 1 >= number_of_parts_) return nullptr;
  std::unique_ptr<common::TStream> stream;
  if (OpenPart(open_disk_ + 1, stream) < 0) return nullptr;
  stream_ = std::move(stream);
  ++open_disk_;
  return stream_.get();
}

int64_t TZipFile::BytesAfter(int64_t offset) const {
  int64_t total = reader_->Size() - offset;
  for (int64_t disk = int64_t{open_disk_} + 1; disk < number_of_parts_ && disk < int64_t{999}; ++disk) {
    int64_t size = 0;
    if (!platform::GetFileLength(PartName(static_cast<uint32_t>(disk)), size)) break;
    total += size;
  }
  return total;
}

int TZipFile::SearchNumberedParts(const std::string& name) {
  part_names_.clear();
  const std::string ext = platform::FromPath(platform::ToPath(name).extension());
  if (!platform::SameText(ext, std::string_view(".zip"))) return Fail(ZE_NoInFile);
  const std::string stem = name.substr(0, name.size() - ext.size());
  TZipFileKind first_kind = TZipFileKind::fkUnknown;
  for (int k = 1; k <= 999; ++k) {
    const std::string part = stem + common::Format("%03d", k) + ext;
    int64_t stamp = 0;
    if (!PathExists(part) || !platform::GetFileModificationTime(part, stamp) || (k > 1 && stamp != part_stamp_)) {
      part_names_.clear();
      return Fail(ZE_NoInFile);
    }
    if (k == 1) part_stamp_ = stamp;
    part_names_.push_back(part);
    if (int r = Open(part); r < 0) {
      part_names_.clear();
      return r;
    }
    if (k == 1) first_kind = kind_;
    kind_ = first_kind;
    const int result = LocateEOC();
    if (result >= 0) {
      if (number_of_parts_ != k) {
        Close();
        part_names_.clear();
        return Fail(ZE_FileOpen);
      }
      multi_part_ = true;
      return result;
    }
    if (ZipCodeId(result) != ZE_NotZipFile) {
      Close();
      part_names_.clear();
      return result;
    }
    Close();
  }
  part_names_.clear();
  return Fail(ZE_NotZipFile);
}

int TZipFile::Abandon(int code) {
  file_name_.clear();
  prefix_offset_ = 0;
  Close();
  Context().ProgressEnd();
  return code;
}

int TZipFile::LoadCentralDirectory() {
  if (!reader_) return Fail(ZE_FileOpen);
  if (!eoc_found_) return Fail(ZE_UnknownError);
  records_.clear();
  index_.Clear();
  index_built_ = false;
  listed_ = false;
  offset_shift_ = 0;
  generation_ = ++g_generation;
  if (listener_) listener_->DirCleared();

  constexpr uint64_t kMaxOffset = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  if (central_offset_ > kMaxOffset || central_size_ > kMaxOffset) return Abandon(Fail(ZE_SeekError));
  const int64_t stored = static_cast<int64_t>(central_offset_);
  int64_t expected = stored, chosen = stored;
  if (central_disk_ != open_disk_) {
    if (int r = SwitchToPart(central_disk_); r < 0) return Abandon(r);
  } else {
    // The directory normally ends where the (Zip64) end record starts.
    expected = eoc_offset_ - static_cast<int64_t>(central_size_);
    chosen = expected;
    if (stored != expected) {
      // A self-extractor's stub in front of the archive is the normal case there.
      if (kind_ != TZipFileKind::fkExecutable) Context().ReportWarning(ZW_StructureError, "");
      if (!reader_->Seek(stored)) return Abandon(Fail(ZE_SeekError));
      std::string signature;
      if (!reader_->ReadString(signature, 4)) return Abandon(Fail(ZE_CEHDataSize));
      if (GetLe32(signature, 0) == kCentralHeaderSig) chosen = stored;
    }
  }
  uint64_t prefix = expected >= 0 && expected <= 0xFFFFFFFFll ? static_cast<uint64_t>(expected) : 0;
  if (reader_->Size() == kEOCSize) prefix = 0;

  if (!reader_->Seek(chosen)) return Abandon(Fail(ZE_SeekError));
  // A count the remaining bytes cannot hold is an error, never an allocation.
  if (total_entries_ > static_cast<uint64_t>(BytesAfter(chosen)) / kCentralHeaderSize)
    return Abandon(Fail(ZE_CEHDataSize));
  const int count = static_cast<int>(total_entries_);
  Context().ProgressStart(Context().LoadStr(ZP_LoadingDirectory), count);
  records_.reserve(static_cast<size_t>(count));
  if (listener_) listener_->DirCapacity(count);
  for (int i = 0; i < count; ++i)
    if (int r = AppendRecord(prefix); r < 0) return Abandon(r);

  // Writers without a Zip64 record keep the count modulo 65,536 (and some get
  // it wrong otherwise): where the directory's size says more records follow,
  // every one up to its end is read. A directory whose records do not end
  // where its size says is an error, never a shortened list.
  if (number_of_parts_ <= 1 && part_names_.empty()) {
    const int64_t end =
        static_cast<int64_t>(std::min(central_size_, kMaxOffset - static_cast<uint64_t>(chosen))) + chosen;
    bool more = false;
    while (reader_->Position() < end && NextIsCentralHeader()) {
      if (int r = AppendRecord(prefix); r < 0) return Abandon(r);
      more = true;
    }
    if (more) {
      if (reader_->Position() != end || NextIsCentralHeader()) return Abandon(Fail(ZE_CEHDataSize));
      Context().ReportWarning(ZW_StructureError, "");
    }
  }
  offset_shift_ = chosen - stored;
  central_offset_ = static_cast<uint64_t>(chosen);
  prefix_offset_ = static_cast<uint32_t>(prefix + static_cast<uint64_t>(expected - chosen));
  listed_ = true;
  Context().ProgressEnd();
  if (listener_) listener_->DirDone(Count());
  return 0;
}

int TZipFile::AppendRecord(uint64_t& prefix) {
  auto record = std::make_unique<TZipDirRecord>(&Context());
  const int r = record->Read(*reader_);
  if (r < 0) return r;
  if (r > 0) zip64_ = true;
  prefix = std::min(prefix, record->RelOffLocalHdr());
  records_.push_back(std::move(record));
  if (listener_) listener_->DirRecordAdded(Count() - 1);
  Context().ProgressAdvance(1);
  if (Context().CheckCancel()) return -MakeZipCode(Context().CancelCode(), kUnit, __LINE__);
  return 0;
}

bool TZipFile::NextIsCentralHeader() {
  const int64_t at = reader_->Position();
  std::string signature;
  const bool found = reader_->ReadString(signature, 4) && GetLe32(signature, 0) == kCentralHeaderSig;
  reader_->Seek(at);
  return found;
}

TZipDirRecord* TZipFile::Record(int index) const {
  return index >= 0 && index < Count() ? records_[static_cast<size_t>(index)].get() : nullptr;
}

void TZipFile::BuildIndex() {
  index_.SetCapacity(Count());
  for (int i = 0; i < Count(); ++i) index_.Add(i);
  index_built_ = true;
}

TZipDirRecord* TZipFile::FindName(std::string_view name, bool include_deleted) {
  if (!index_built_) BuildIndex();
  return Record(index_.Find(name, include_deleted));
}

void TZipFile::ClearCachedNames() {
  for (const auto& record : records_) record->ClearCache();
  index_.Clear();
  index_built_ = false;
}

}  // namespace zip
