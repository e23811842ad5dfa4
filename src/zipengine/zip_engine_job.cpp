#include "zipengine/zip_engine_job.h"

#include <cstring>
#include <ctime>
#include <new>

#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/replace_file_stream.h"
#include "platform/system_error.h"
#include "platform/text_conversion.h"
#include "zipengine/zip_entry_path.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_reader.h"

namespace zipengine {

using namespace zip;
using zip::TZipDirRecord;

namespace {

constexpr uint16_t kMethodStored = 0, kMethodDeflated = 8, kMethodAes = 99;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kNtfsExtraTag = 0x000A;
constexpr uint8_t kHostUnix = 3;
constexpr uint64_t kProgressStep = 1 << 20;

// Message codes: the text of 231 + k put in front of the engine's text.
constexpr int32_t kMsgError = kZipMsgPrefixed | kZipMsgErrorLevel | -zip::zerError;
constexpr int32_t kMsgSkipping = kZipMsgPrefixed | kZipMsgWarningLevel | -zip::zerSkipping;

const char* StatusText(TZipEntryStatus status) {
  switch (status) {
    case TZipEntryStatus::esBadLocalHeader:
      return "no valid local header";
    case TZipEntryStatus::esTruncated:
      return "the data ends early";
    case TZipEntryStatus::esBadSizes:
      return "the stored sizes are impossible";
    case TZipEntryStatus::esBadData:
      return "the compressed data is corrupt";
    case TZipEntryStatus::esTooLong:
      return "more data than the stored size";
    case TZipEntryStatus::esTooShort:
      return "less data than the stored size";
    case TZipEntryStatus::esCRC:
      return "CRC error";
    case TZipEntryStatus::esWriteFailed:
      return "cannot write the file";
    default:
      return "error";
  }
}

int64_t FromFileTime(uint64_t ticks) { return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL; }

}  // namespace

// The bytes of an entry going to a stream of the caller ("n:name").
class TZipEngineJob::TStreamSink : public TZipEntrySink {
 public:
  TStreamSink(TZipEngineJob& job, int number) : job_(job), number_(number) {}
  ~TStreamSink() override { Close(); }
  // bound: the most bytes the entry can yield.
  bool Open(const TZipDirRecord& record, uint64_t bound) {
    TZipStreamRecord r = Record(zsoIdentify);
    job_.CallStream(r);
    r = Record(zsoOpen);
    // The size the entry can have (checked against the archive already) lets
    // the stream take its memory at once.
    r.position = static_cast<int64_t>(bound) + 1;
    r.date_time = record.DateTime();
    r.attributes = record.ExtFileAttrib();
    if (job_.CallStream(r) < 1 || !r.stream) return false;
    stream_ = r.stream;
    if (r.buffer && r.count > 0) {
      direct_ = static_cast<uint8_t*>(r.buffer);
      direct_capacity_ = static_cast<size_t>(r.count);
    }
    return true;
  }
  uint8_t* Direct(size_t& capacity) override {
    capacity = direct_capacity_;
    return direct_;
  }
  bool Write(const uint8_t* data, size_t count) override {
    TZipStreamRecord r = Record(zsoWrite);
    r.buffer = const_cast<uint8_t*>(data);
    r.count = static_cast<int32_t>(count);
    return job_.CallStream(r) == 1 && r.count == static_cast<int32_t>(count);
  }
  void Close() {
    if (!stream_) return;
    TZipStreamRecord r = Record(zsoClose);
    job_.CallStream(r);
    stream_ = nullptr;
  }

 private:
  TZipStreamRecord Record(TZipStreamOperation op) const {
    TZipStreamRecord r{};
    r.stream = stream_;
    r.number = number_;
    r.operation = op;
    return r;
  }
  TZipEngineJob& job_;
  int number_;
  void* stream_ = nullptr;
  uint8_t* direct_ = nullptr;  // the stream's own memory, when it offers it
  size_t direct_capacity_ = 0;
};

// A file below the base folder, written under a temporary name.
class TFileSink : public TZipEntrySink {
 public:
  explicit TFileSink(const std::string& path) : file(path) {}
  bool Write(const uint8_t* data, size_t count) override {
    return file.Write(data, static_cast<int64_t>(count)) == static_cast<int64_t>(count);
  }
  platform::TReplaceFileStream file;
};

struct TZipEngineJob::TTarget {
  std::string name;  // for messages and progress
  std::unique_ptr<TStreamSink> stream;
  std::unique_ptr<TFileSink> file;
  TZipEntrySink* sink = nullptr;
};

std::string TZipEngineJob::SystemReason(const TTarget& target) {
  if (!target.file || !target.file->file.Error()) return {};
  return ": " + platform::ErrorReason(target.file->file.Error());
}

TZipEngineJob::TZipEngineJob(const TZipCommandRecord& command) : command_(command) {
  name_options_.encoding = static_cast<zip::TZipEncodingOpts>(command.encoding & 0x7F);
  if (name_options_.encoding > zip::zenUPath) name_options_.encoding = zip::zenAuto;
  name_options_.code_page = static_cast<uint32_t>(command.code_page);
}

TZipEngineJob::~TZipEngineJob() = default;

int TZipEngineJob::Call(int32_t action, const std::string& text, int64_t size, int64_t written, int32_t a1, int32_t a2,
                        int32_t a3, std::string* answer, int32_t* a2_out, int32_t* a3_out) {
  if (fatal_ != 0) return fatal_;
  TZipCallbackRecord r{};
  r.caller = command_.caller;
  r.action = action;
  r.text_width = 0;
  r.msg = text.c_str();
  r.file_size = size;
  r.written = written;
  r.arg1 = a1;
  r.arg2 = a2;
  r.arg3 = a3;
  r.check = kZipCallbackCheck;
  const int result = command_.main_callback(&r);
  if (answer) *answer = RecordText(r.msg, r.text_width);
  if (a2_out) *a2_out = r.arg2;
  if (a3_out) *a3_out = r.arg3;
  if (result == -2 || result == -3)
    Fail(zip::zerCancelled);
  else if (result == -4)
    Fail(zip::zerCallback);
  else if (result == -5)
    Fail(zip::zerStructure);
  return result;
}

int TZipEngineJob::CallStream(TZipStreamRecord& record) {
  if (fatal_ != 0 || !command_.stream_callback) return 0;
  record.caller = command_.caller;
  record.check = kZipStreamCheck;
  const int result = command_.stream_callback(&record);
  if (result == -5) Fail(zip::zerStructure);
  return result;
}

bool TZipEngineJob::Argument(TZipArgument selector, std::string& text, int32_t index, int32_t* count) {
  const int answer = Call(zacArgument, {}, 0, 0, selector, 0, index, &text, nullptr, count);
  if (answer <= 0 || fatal_ != 0) text.clear();
  return answer > 0 && fatal_ == 0;
}

void TZipEngineJob::ReadSpecs(TZipArgument selector, TZipSpecList& list, bool allow_stream) {
  std::string text;
  int32_t count = 0;
  if (!Argument(selector, text, 0, &count)) return;
  list.Add(text, allow_stream);
  for (int32_t i = 1; i < count && fatal_ == 0; ++i)
    if (Argument(selector, text, i)) list.Add(text, allow_stream);
}

void TZipEngineJob::Message(int32_t code, const std::string& text) { Call(zacMessage, text, 0, 0, code); }

void TZipEngineJob::Skip(const std::string& name, TZipSkipTypes reason, const std::string& trouble, int32_t error) {
  if (!trouble.empty())
    Message(reason == stUnsafePath || reason == stLink || reason == stEncryption || reason == stCompressionUnknown
                ? kMsgSkipping
                : kMsgError,
            name + ": " + trouble);
  // An answer of 1 means the caller does not allow this skip.
  if (Call(zacSkipped, name, 0, 0, reason, error) == 1) Fail(zip::zerSkippedFiles);
}

int64_t TZipEngineJob::StoredTime(const TZipDirRecord& record) const {
  if (ntfs_) {
    if (auto block = zip::FindExtraBlock(record.ExtraField(), kNtfsExtraTag)) {
      // Reserved word, then attribute blocks; tag 1 holds three 64-bit times.
      size_t at = 4;
      while (at + 4 <= block->size()) {
        const uint16_t tag = zip::GetLe16(*block, at), size = zip::GetLe16(*block, at + 2);
        if (at + 4 + size > block->size()) break;
        if (tag == 1 && size >= 24) return FromFileTime(zip::GetLe64(*block, at + 4));
        at += 4 + size;
      }
    }
  }
  const uint32_t dt = record.DateTime();
  std::tm tm{};
  tm.tm_year = static_cast<int>((dt >> 25) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((dt >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dt >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dt >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dt >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(dt & 0x1F) * 2;
  tm.tm_isdst = -1;
  return static_cast<int64_t>(std::mktime(&tm));
}

int TZipEngineJob::Run() {
  try {
    const int result = RunChecked();
    return fatal_ != 0 ? fatal_ : result;
  } catch (const std::bad_alloc&) {
    return zip::zerNoMemory;
  } catch (...) {
    return zip::zerFatal;
  }
}

int TZipEngineJob::RunChecked() {
  const uint32_t options = command_.options;
  if (!(options & (kZipOptExtract | kZipOptTest))) return zip::zerBadOptions;
  test_ = (options & kZipOptTest) != 0;
  dir_names_ = (options & kZipOptDirNames) != 0;
  overwrite_ = (options & kZipOptOverwrite) != 0;
  update_ = (options & kZipOptUpdate) != 0;
  freshen_ = (options & kZipOptFreshen) != 0;
  ntfs_ = (options & kZipOptNTFS) != 0;

  Call(zacKey, {}, static_cast<int64_t>(Key()));
  std::string name;
  Argument(zaaFileName, name);
  if (fatal_) return fatal_;
  if (name.empty()) return zip::zerOpenZip;
  if (!test_) {
    Argument(zaaExtractDir, base_);
    if (!base_.empty() && base_.back() != platform::kPathDelimiter && base_.back() != '/')
      base_.push_back(platform::kPathDelimiter);
  }
  ReadSpecs(zaaIncludeSpec, includes_, true);
  ReadSpecs(zaaExcludeSpec, excludes_, false);
  if (fatal_) return fatal_;

  file_ = std::make_unique<zip::TZipFile>(*this);
  if (const int listed = file_->OpenAndList(name); listed < 0) {
    switch (zip::ZipCodeId(listed)) {
      case zip::ZE_NoInFile:
        return zip::zerNotFound;
      case zip::ZE_FileOpen:
        return zip::zerOpenZip;
      case zip::ZE_NotZipFile:
        return zip::zerNoCentral;
      case zip::ZE_Canceled:
        return zip::zerAborted;
      default:
        return zip::zerInvalidZip;
    }
  }
  if (file_->NumberOfParts() > 1 || !file_->PartNames().empty()) return zip::zerMultiPart;
  try {
    archive_ = std::make_unique<common::TFileStream>(name, common::TFileMode::fmOpenRead);
  } catch (const common::EStreamError&) {
    return zip::zerOpenZip;
  }
  reader_ = std::make_unique<TZipEntryReader>(*archive_, archive_->Size());

  // Everything when no specification is given.
  const bool all = includes_.Empty() || (includes_.MatchesAll() && !includes_.HasStreams());
  struct TSelected {
    int index;
    int stream;
  };
  std::vector<TSelected> selected;
  uint64_t total_size = 0;
  for (int i = 0; i < file_->Count(); ++i) {
    const TZipDirRecord& record = *file_->Record(i);
    int stream = -1;
    if (!all || !excludes_.Empty()) {
      const TZipMatchName match(record.FileName());
      if (!all) {
        const TZipFileSpec* spec = includes_.Match(match);
        if (!spec) continue;
        stream = spec->Stream();
      }
      if (excludes_.Match(match)) continue;
    }
    selected.push_back({i, stream});
    total_size += record.UncompressedSize();
  }
  Call(zacTotalFiles, {}, static_cast<int64_t>(selected.size()));
  Call(zacTotalSize, {}, static_cast<int64_t>(total_size));
  for (const TSelected& s : selected) {
    if (fatal_) break;
    if (abort_.load()) return zip::zerAborted;
    ProcessEntry(*file_->Record(s.index), s.index, s.stream);
  }
  Call(zacEndBatch);
  return count_;
}

bool TZipEngineJob::InsideBase(const std::string& path) {
  if (canonical_base_.empty()) {
    canonical_base_ = platform::RealPath(base_.empty() ? "." : base_);
    if (canonical_base_.empty() || canonical_base_.back() != platform::kPathDelimiter)
      canonical_base_.push_back(platform::kPathDelimiter);
  }
  const std::string real = platform::RealPath(path);
  return !real.empty() && real.size() >= canonical_base_.size() &&
         real.compare(0, canonical_base_.size(), canonical_base_) == 0;
}

bool TZipEngineJob::EnsureFolders(const std::vector<std::string>& levels, size_t count) {
  std::string path = base_;
  for (size_t i = 0; i < count; ++i) {
    path += levels[i];
    if (!verified_folders_.count(path)) {
      // Through the platform layer, which takes paths past the classic length limit.
      const platform::TPathKind kind = platform::GetPathKind(path, false);
      if (kind == platform::TPathKind::None) {
        if (!platform::MakeFolder(path) && platform::GetPathKind(path, false) != platform::TPathKind::Directory)
          return false;
      } else if (kind == platform::TPathKind::Link) {
        // An existing link is followed only when it stays inside the base folder.
        if (!InsideBase(path) || !platform::DirectoryExists(path)) return false;
      } else if (kind != platform::TPathKind::Directory) {
        return false;
      }
      verified_folders_.insert(path);
    }
    path.push_back(platform::kPathDelimiter);
  }
  return true;
}

void TZipEngineJob::MakeFolderEntry(const TZipDirRecord& record) {
  if (test_ || !dir_names_) return;
  std::vector<std::string> levels;
  if (!SplitEntryPath(record.FileName(), levels)) {
    Skip(record.FileName(), stUnsafePath, "the path leaves the base folder");
    return;
  }
  if (!EnsureFolders(levels, levels.size())) Skip(record.FileName(), stNoOpen, "cannot create the folder");
}

bool TZipEngineJob::PrepareFile(const TZipDirRecord& record, int index, TTarget& target) {
  std::vector<std::string> levels;
  if (!SplitEntryPath(record.FileName(), levels)) {
    Skip(target.name, stUnsafePath, "the path leaves the base folder");
    return false;
  }
  if (!dir_names_) levels.erase(levels.begin(), levels.end() - 1);
  std::string relative = JoinLevels(levels, levels.size());
  std::string renamed;
  if (Call(zacSetExtName, relative, 0, 0, 0, 0, 0, &renamed) == 1 && !renamed.empty() && renamed != relative) {
    // The caller's name is held to the same rules as the stored one.
    if (!SplitEntryPath(renamed, levels)) {
      Skip(target.name, stUnsafePath, "the new name leaves the base folder");
      return false;
    }
    relative = JoinLevels(levels, levels.size());
  }
  if (fatal_) return false;
  if (!EnsureFolders(levels, levels.size() - 1)) {
    Skip(target.name, stNoOpen, "cannot create its folder or a link leads out of the base folder");
    return false;
  }
  const std::string path = base_ + relative;
  const platform::TPathKind kind = platform::GetPathKind(path, false);
  if (kind == platform::TPathKind::Directory) {
    Skip(target.name, stFileExists, "a folder of that name exists");
    return false;
  }
  if (kind != platform::TPathKind::None) {
    bool older = false;
    int64_t existing = 0;
    if (platform::GetFileModificationSeconds(path, existing))
      older = existing + 1 < StoredTime(record);  // DOS stamps have 2-second steps
    if (freshen_ || update_) {
      if (!older) {
        Skip(target.name, stOnFreshen);
        return false;
      }
    } else if (!overwrite_ && Call(zacOverwrite, target.name, 0, 0, older ? 1 : 0, index) != 1) {
      if (!fatal_) Skip(target.name, stNoOverwrite);
      return false;
    }
  } else if (freshen_ && !update_) {
    Skip(target.name, stOnFreshen);
    return false;
  }
  if (fatal_) return false;
  try {
    target.file = std::make_unique<TFileSink>(path);
  } catch (const common::EStreamError&) {
    Skip(target.name, stNoOpen, "cannot create the file");
    return false;
  }
  target.file->file.SetModificationTime(StoredTime(record));
  target.sink = target.file.get();
  return true;
}

bool TZipEngineJob::FindPassword(const TZipDirRecord& record, std::string& password) {
  if (!password_fetched_) {
    password_fetched_ = true;
    std::string given;
    if (Argument(zaaPassword, given) && !given.empty()) passwords_.push_back(given);
  }
  for (const std::string& known : passwords_)
    if (reader_->CheckPassword(record, known)) {
      password = known;
      return true;
    }
  for (int ask = 1; ask <= command_.password_req_count && !declined_passwords_ && fatal_ == 0; ++ask) {
    std::string answer;
    const int result = Call(zacPassword, record.FileName(), 0, 0, ask, 0, 0, &answer);
    if (result == 3) declined_passwords_ = true;
    if (result != 1) break;
    if (answer.empty()) continue;
    passwords_.push_back(answer);
    if (reader_->CheckPassword(record, answer)) {
      password = answer;
      return true;
    }
  }
  return false;
}

void TZipEngineJob::ProcessEntry(const TZipDirRecord& record, int index, int stream) {
  if (record.IsDirOnly()) {
    if (stream < 0) MakeFolderEntry(record);
    return;
  }
  TTarget target;
  target.name = record.FileName();
  const uint16_t method = record.CompressionMethod();
  if (method == kMethodAes || (record.Encrypted() && (record.Flag() & kFlagStrongEncryption))) {
    Skip(target.name, stEncryption, "AES and strong encryption are not supported");
    return;
  }
  if (method != kMethodStored && method != kMethodDeflated) {
    Skip(target.name, stCompressionUnknown, common::Format("compression method %u is not supported", method));
    return;
  }
  const bool unix_link =
      (record.VersionMadeBy() >> 8) == kHostUnix && ((record.ExtFileAttrib() >> 16) & 0170000) == 0120000;
  if (unix_link && !test_ && stream < 0) {
    Skip(target.name, stLink, "symbolic links are not created");
    return;
  }
  if (const TZipEntryStatus located = reader_->Locate(record, file_->OffsetShift()); located != TZipEntryStatus::esOk) {
    Skip(target.name, located == TZipEntryStatus::esBadSizes ? stSizeChange : stZipFileFormatWrong,
         StatusText(located));
    return;
  }
  std::string password;
  if (record.Encrypted() && !FindPassword(record, password)) {
    if (!fatal_) Skip(target.name, stBadPassword, "no password opens it");
    return;
  }
  if (fatal_) return;

  if (!test_ && stream >= 0) {
    target.stream = std::make_unique<TStreamSink>(*this, stream);
    if (!target.stream->Open(record, reader_->OutputBound())) {
      if (!fatal_) Skip(target.name, stNoOpen, common::Format("stream %d cannot be opened", stream));
      return;
    }
    target.sink = target.stream.get();
  } else if (!test_ && !PrepareFile(record, index, target)) {
    return;
  }

  Call(zacNewFile, target.name, static_cast<int64_t>(record.UncompressedSize()));
  uint64_t reported = 0;
  const TZipEntryResult result =
      reader_->Extract(record, record.Encrypted() ? &password : nullptr, target.sink, abort_, [&](uint64_t done) {
        if (done - reported >= kProgressStep) {
          reported = done;
          Call(zacItemProgress, target.name, static_cast<int64_t>(record.UncompressedSize()),
               static_cast<int64_t>(done));
          if (fatal_) abort_.store(true);
        }
      });
  bool keep = result.status == TZipEntryStatus::esOk;
  if (result.status == TZipEntryStatus::esAborted) {
    Fail(zip::zerAborted);
  } else if (result.status == TZipEntryStatus::esCRC || result.status == TZipEntryStatus::esTooLong ||
             result.status == TZipEntryStatus::esTooShort) {
    keep = Call(zacCRCError, target.name, 0, 0, static_cast<int32_t>(result.crc),
                static_cast<int32_t>(record.CRC32())) == 1;
    if (!keep && !fatal_) Skip(target.name, stCRCError, StatusText(result.status));
  } else if (!keep && !fatal_) {
    Skip(target.name, result.status == TZipEntryStatus::esWriteFailed ? stGeneralExtractError : stReadError,
         StatusText(result.status) + SystemReason(target));
  }
  if (target.stream) target.stream->Close();
  if (target.file) {
    if (keep && !fatal_ && !target.file->file.Commit()) {
      keep = false;
      Skip(target.name, stGeneralExtractError, "cannot put the file in place" + SystemReason(target));
    }
    if (!keep || fatal_) target.file->file.Discard();
  }
  if (keep && !fatal_) ++count_;
  Call(zacEndItem, target.name);
}

}  // namespace zipengine
