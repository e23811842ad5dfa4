#include "zip/zip_engine_opr.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>

#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "zip/zip_archive.h"
#include "zip/zip_engine_loader.h"
#include "zip/zip_split_join.h"

namespace zip {

namespace {

constexpr int kUnit = 7;
int Code(int id, int line = __builtin_LINE()) { return MakeZipCode(id, kUnit, line); }

constexpr int ZD_PasswordTitle = 70;
constexpr int ZD_EnterPassword = 72;
constexpr int ZE_SkipNotAllowed = 17;
constexpr int ZE_TempFile = 250;
constexpr int kMaxRepeat = 15;
constexpr size_t kMaxComment = 255;

bool EndsWithDelimiter(const std::string& name) { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }

// Characters no file name may hold.
bool ValidStreamName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (c < 0x20 || std::strchr("<>|\"*?", c)) return false;
  return true;
}

}  // namespace

TZipEngineOpr::TZipEngineOpr(TZipArchive& owner) : owner_(owner) {}

TZipEngineOpr::~TZipEngineOpr() {
  destroying_ = true;
  if (running_ && key_ != 0) ZipEngineLoader().Abort(key_);
  if (!joined_.empty()) {
    std::error_code ec;
    std::filesystem::remove(platform::ToPath(joined_), ec);
  }
}

void TZipEngineOpr::LoadEngine() { ZipEngineLoader().LoadFor(owner_); }

void TZipEngineOpr::ReleaseEngine() { ZipEngineLoader().ReleaseFor(owner_); }

// --- the extraction run -----------------------------------------------------------

bool TZipEngineOpr::Extract(common::TMemoryStream* output) {
  owner_.cancel_ = 0;
  try {
    Run(output);
    return true;
  } catch (const EZipException& e) {
    owner_.ShowError(e.ExtCode(), e.FinalText([this](int id) { return owner_.LoadZipStr(id); }) + collected_,
                     e.Display());
  } catch (const std::exception& e) {
    owner_.ShowError(ZE_UnknownError, owner_.LoadZipStr(ZE_UnknownError) + e.what() + collected_);
  } catch (...) {
    owner_.ShowError(ZE_UnknownError, owner_.LoadZipStr(ZE_UnknownError) + collected_);
  }
  owner_.streams_.clear();
  owner_.success_count_ = 0;
  return false;
}

void TZipEngineOpr::Run(common::TMemoryStream* output) {
  if (owner_.zip_file_name_.empty()) throw EZipArchiveError(Code(ZE_NoZipSpecified));
  const bool test = (owner_.extr_options_ & ExtrTest) != 0;

  // An archive whose listing failed earlier is listed again.
  const TZipFile* file = owner_.CurrentZip();
  if (!file || file->Count() == 0) {
    owner_.ClearLastError();
    const bool listed = owner_.ListNow();
    if (owner_.OnDirUpdate) owner_.OnDirUpdate();
    file = owner_.CurrentZip();
    if (!listed || owner_.err_code_ != 0) {
      if (owner_.err_code_ == 0) throw EZipArchiveError(Code(ZE_FileOpen));
      return;  // the listing reported its own error
    }
    if (!file || file->Count() == 0) throw EZipArchiveError(Code(ZE_FileOpen));
  }

  base_dir_.clear();
  if (!owner_.extr_base_dir_.empty() && !test) {
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(platform::ToPath(owner_.extr_base_dir_), ec);
    base_dir_ = platform::IncludeTrailingDelimiter(ec ? owner_.extr_base_dir_ : platform::FromPath(absolute));
    if (owner_.extr_options_ & ExtrForceDirs) platform::ForceDirectories(base_dir_);
    if (!platform::DirectoryExists(base_dir_)) throw EZipArchiveError(Code(ZE_NoExtrDir), base_dir_);
  }

  archive_name_ = owner_.zip_file_name_;
  // Numbered parts: one is read as it is, several are joined first.
  if (file->PartNames().size() == 1)
    archive_name_ = file->PartNames().front();
  else if (file->PartNames().size() > 1)
    archive_name_ = JoinSplitParts();

  // The library stays loaded for this run at least.
  struct TReference {
    TZipArchive& owner;
    bool held;
    ~TReference() {
      if (held) ZipEngineLoader().ReleaseFor(owner);
    }
  } reference{owner_, ZipEngineLoader().LoadFor(owner_) > 0};
  if (!reference.held) return;  // the load failure has been reported

  std::vector<std::string>& specs = owner_.include_specs_;
  // The published specifications belong to this run only.
  struct TPublished {
    std::vector<std::string>& specs;
    size_t keep;
    ~TPublished() {
      if (specs.size() > keep) specs.resize(keep);
    }
  } published{specs, specs.size()};
  for (size_t i = 0; i < owner_.streams_.size(); ++i) {
    std::string name = owner_.streams_[i].name;
    while (!name.empty() && name.front() == '\\') name.erase(0, 1);
    if (name.empty())
      name = common::Format("#%zu#stream", i + 1);
    else if (!ValidStreamName(name))
      throw EZipArchiveError(Code(ZE_InvalidFileName));
    specs.push_back(std::to_string(i + 1) + ":" + name);
  }

  output_ = output;
  output_linked_ = output != nullptr;
  output_opened_ = false;
  BuildCommand();
  if (owner_.unattended_ && owner_.password_.empty() && !owner_.OnPasswordError) {
    command_.password_req_count = 0;
    if (owner_.OnMessage) owner_.OnMessage(0, owner_.LoadZipStr(ZW_UnattendedExtract));
  }

  int result;
  running_ = true;
  try {
    result = ZipEngineLoader().Exec(command_);
  } catch (...) {
    result = zerFatal;
  }
  running_ = false;
  output_ = nullptr;
  output_linked_ = false;
  open_streams_.clear();

  owner_.streams_.clear();
  if (result >= 0) {
    owner_.success_count_ = result;
    return;
  }
  if (result == zerCancelled || result == zerAborted) throw EZipArchiveError(Code(ZE_Canceled));
  if (result >= zerSkippedFiles) throw EZipArchiveError(Code(ZE_EngineGood - result));
  throw EZipArchiveError(Code(ZE_EngineCritical), int64_t{-static_cast<int64_t>(result)});
}

void TZipEngineOpr::BuildCommand() {
  command_ = TZipCommandRecord{};
  const TZipExtrOpts o = owner_.extr_options_;
  command_.window = owner_.unattended_ ? 0 : owner_.window_handle_;
  command_.caller = this;
  command_.version = kZipEngineInterface;
  command_.main_callback = &MainCallback;
  command_.stream_callback = &StreamCallback;
  command_.verbosity = owner_.trace_ ? -1 : owner_.verbose_ ? 1 : 0;
  command_.encoding = static_cast<int32_t>(owner_.encoding_) & 0x7F;
  command_.code_page = static_cast<int32_t>(owner_.name_code_page_);
  uint32_t bits = kZipOptAlways;
  if (o & ExtrDirNames) bits |= kZipOptDirNames;
  if (o & ExtrOverWrite) bits |= kZipOptOverwrite;
  if (o & ExtrUpdate)
    bits |= kZipOptUpdate;
  else if (o & ExtrFreshen)
    bits |= kZipOptFreshen;
  if (o & ExtrNTFS) bits |= kZipOptNTFS;
  bits |= (o & ExtrTest) ? kZipOptTest : kZipOptExtract;
  command_.options = bits;
  command_.password_req_count = owner_.password_req_count_;
  command_.check = kZipCommandCheck;
}

std::string TZipEngineOpr::JoinSplitParts() {
  std::string folder = owner_.temp_dir_;
  std::error_code ec;
  if (folder.empty()) folder = platform::FromPath(std::filesystem::temp_directory_path(ec));
  folder = platform::IncludeTrailingDelimiter(folder);
  for (int attempt = 0; attempt < 100 && joined_.empty(); ++attempt) {
    const std::string name = folder + common::Format("vxjoin%p-%d.zip", static_cast<void*>(this), attempt);
    if (!platform::FileExists(name)) joined_ = name;
  }
  if (joined_.empty() || JoinSplitArchive(*owner_.CurrentZip(), joined_) != 0)
    throw EZipArchiveError(Code(ZE_TempFile));
  return joined_;
}

// --- callbacks ----------------------------------------------------------------------

int ZE_CALL TZipEngineOpr::MainCallback(TZipCallbackRecord* record) {
  if (!record || record->check != kZipCallbackCheck || !record->caller) return -5;
  return static_cast<TZipEngineOpr*>(record->caller)->HandleCallback(*record);
}

int ZE_CALL TZipEngineOpr::StreamCallback(TZipStreamRecord* record) {
  if (!record || record->check != kZipStreamCheck || !record->caller) return -5;
  return static_cast<TZipEngineOpr*>(record->caller)->HandleStream(*record);
}

void TZipEngineOpr::Collect(const std::string& text) {
  collected_ += "\r\n";
  collected_ += text;
}

int TZipEngineOpr::HandleCallback(TZipCallbackRecord& record) {
  if (record.check != kZipCallbackCheck) return -5;
  if (destroying_) return 0;
  if (owner_.cancel_ != 0) return -2;
  const int action = record.action & 0x3F;
  int answer;
  try {
    answer = Dispatch(record, action);
    if (action >= zacSetAddName && action <= 17) {
      owner_.CheckCancel();
      if (owner_.cancel_ != 0) {
        answer = -2;
        owner_.Diag("#[CANCEL sent]");
      }
    }
  } catch (const std::exception& e) {
    answer = -4;
    if (!exception_kept_) {
      exception_kept_ = true;
      const std::string kept = owner_.LoadZipStr(ZE_EventEx) + "\"" + e.what() + "\" [" + std::to_string(action) + "]";
      Collect(kept);
      owner_.Diag("#[CALLBACK Exception sent] " + kept);
    }
    owner_.cancel_ = ZE_Canceled;
  } catch (...) {
    answer = -4;
    if (!exception_kept_) {
      exception_kept_ = true;
      const std::string kept = owner_.LoadZipStr(ZE_EventEx) + "\"\" [" + std::to_string(action) + "]";
      Collect(kept);
      owner_.Diag("#[CALLBACK Exception sent] " + kept);
    }
    owner_.cancel_ = ZE_Canceled;
  }
  return answer;
}

int TZipEngineOpr::Dispatch(TZipCallbackRecord& r, int action) {
  const std::string text = (action >= 1 && action <= 16) ? RecordText(r.msg, r.text_width) : std::string();
  switch (action) {
    case zacTotalFiles:
    case zacTotalSize:
    case zacNewFile:
    case zacItemProgress:
    case zacEndItem:
    case zacEndBatch:
    case zacExtraProgress: {
      static constexpr TZipProgressKind kKinds[] = {TZipProgressKind::pkTotalFiles, TZipProgressKind::pkTotalSize,
                                                    TZipProgressKind::pkNewFile,    TZipProgressKind::pkItemProgress,
                                                    TZipProgressKind::pkEndItem,    TZipProgressKind::pkEndBatch,
                                                    TZipProgressKind::pkExtraUpdate};
      if (owner_.OnProgress) owner_.OnProgress({kKinds[action - 1], text, r.file_size, r.written});
      return 0;
    }
    case zacMessage:
      return EngineMessage(r, text);
    case zacSetAddName: {
      std::string name = text;
      bool changed = false;
      if (owner_.OnSetAddName) owner_.OnSetAddName(name, text, changed);
      if (!changed || name == text) return 0;
      SetAnswer(r, name);
      return 1;
    }
    case zacPassword:
      return PasswordRequest(r, text);
    case zacCRCError: {
      if (!owner_.OnCRC32Error) return 0;
      bool extract = false;
      owner_.OnCRC32Error(text, static_cast<uint32_t>(r.arg1), static_cast<uint32_t>(r.arg2), extract);
      return extract ? 1 : 3;
    }
    case zacOverwrite: {
      if (!owner_.OnExtractOverwrite) return 0;
      bool overwrite = false;
      owner_.OnExtractOverwrite(text, r.arg1 != 0, overwrite, r.arg2);
      const int answer = overwrite ? 1 : 2;
      owner_.Diag(common::Format("#[Overwrite] IN=%d,%d OUT=%d", r.arg1, r.arg2, answer));
      return answer;
    }
    case zacSkipped: {
      const auto reason = static_cast<TZipSkipTypes>(r.arg1);
      int error = r.arg2;
      if (owner_.OnSkipped) owner_.OnSkipped(text, reason, error);
      int answer = 0;
      if (r.arg1 >= 0 && r.arg1 < 32 && (owner_.no_skipping_ & (1u << r.arg1))) {
        if (error == 0) error = ZE_SkipNotAllowed;
        Collect(owner_.LoadZipStr(ZipCodeId(error)) + ": " + text);
        answer = 1;
      }
      owner_.Diag(common::Format("#[Skipped] IN=%d,%d OUT=%d", r.arg1, r.arg2, answer));
      return answer;
    }
    case zacFileComment: {
      std::string comment = RecordText(r.msg2, r.text_width);
      bool changed = false;
      if (owner_.OnFileComment) owner_.OnFileComment(text, comment, changed);
      if (!changed) return 0;
      if (comment.size() > kMaxComment) comment.resize(kMaxComment);
      SetAnswer(r, comment);
      return 1;
    }
    case zacFileExtra: {
      int answer = 0;
      int level = r.arg1;
      bool changed = false;
      if (owner_.OnSetCompLevel) owner_.OnSetCompLevel(text, level, changed);
      if (changed) {
        r.arg1 = level;
        answer |= 1;
      }
      std::string extra;
      if (r.msg2 && r.arg2 > 0) extra.assign(static_cast<const char*>(r.msg2), static_cast<size_t>(r.arg2));
      changed = false;
      if (owner_.OnFileExtra) owner_.OnFileExtra(text, extra, changed);
      if (changed) {
        SetBinaryAnswer(r, extra);
        answer |= 2;
      }
      return answer;
    }
    case zacSetExtName: {
      std::string name = text;
      bool changed = false;
      if (owner_.OnSetExtName) owner_.OnSetExtName(text, name, changed);
      if (!changed || name == text || name.empty() || EndsWithDelimiter(name) != EndsWithDelimiter(text)) return 0;
      SetAnswer(r, name);
      return 1;
    }
    case zacKey:
      key_ = static_cast<intptr_t>(r.file_size);
      return 0;
    case zacArgument:
      return ArgumentRequest(r);
    default:
      return -1;
  }
}

int TZipEngineOpr::EngineMessage(TZipCallbackRecord& r, const std::string& engine_text) {
  const int32_t c = r.arg1;
  std::string text = engine_text;
  int id = 0;
  if (c != 0) {
    const int k = c & 0x3F;
    id = k <= 35 ? ZE_EngineGood + k : ZE_EngineGood + 6;
    if ((c & kZipMsgPrefixed) && (c & 0x700) >= kZipMsgWarningLevel) text = owner_.LoadZipStr(id) + text;
    if (owner_.ext_err_code_ == 0) owner_.ext_err_code_ = static_cast<int>(static_cast<uint32_t>(c) | 0x80000000u);
    if (owner_.err_code_ == 0) {
      owner_.err_code_ = id;
      owner_.err_msg_ = text;
    }
  }
  if (owner_.OnMessage) owner_.OnMessage(id, text);
  owner_.CheckCancel();
  return 0;
}

int TZipEngineOpr::PasswordRequest(TZipCallbackRecord& r, const std::string& for_file) {
  std::string password;
  unsigned repeat = 1;
  TZipPasswordAction action = zpaCancel;
  if (owner_.OnPasswordError) {
    action = zpaOK;
    owner_.OnPasswordError(false, password, for_file, repeat, action);
  } else if (!owner_.unattended_) {
    const int result =
        owner_.ZipMessageDialog(owner_.LoadZipStr(ZD_PasswordTitle), owner_.LoadZipStr(ZD_EnterPassword) + for_file,
                                zmtPassword, ZipButtons({zmbOK, zmbCancel, zmbAll}), &password);
    action = result == zmrOk ? zpaOK : result == zmrAll ? zpaCancelAll : zpaAbort;
  }
  switch (action) {
    case zpaOK:
      if (password.empty()) return 2;
      SetAnswer(r, password);
      r.arg2 = static_cast<int32_t>(std::min<unsigned>(repeat, kMaxRepeat));
      return 1;
    case zpaCancel:
      return 2;
    case zpaCancelAll:
      return 3;
    case zpaAbort:
    default:
      owner_.cancel_ = ZE_Canceled;
      return -3;
  }
}

int TZipEngineOpr::ArgumentRequest(TZipCallbackRecord& r) {
  auto spec = [&](const std::vector<std::string>& list) {
    const int n = r.arg3;
    if (n < 0) return -5;
    r.arg3 = static_cast<int32_t>(list.size());
    if (static_cast<size_t>(n) >= list.size()) return 0;
    SetAnswer(r, list[static_cast<size_t>(n)]);
    return 1;
  };
  switch (r.arg1) {
    case zaaFileName:
      SetAnswer(r, archive_name_);
      return 1;
    case zaaPassword:
      SetAnswer(r, owner_.password_);
      return 1;
    case zaaRootDir:
      SetAnswer(r, owner_.root_dir_);
      return 1;
    case zaaExtractDir:
      SetAnswer(r, base_dir_);
      return 1;
    case zaaComment:
      SetAnswer(r, owner_.ZipComment());
      return 1;
    case zaaIncludeSpec:
      return spec(owner_.include_specs_);
    case zaaExcludeSpec:
      return spec(owner_.exclude_specs_);
    case zaaStoredExtensions:
      SetAnswer(r, {});
      return 1;
    case zaaTempDir:
      SetAnswer(r, owner_.temp_dir_);
      return 1;
    default:
      return -5;
  }
}

void TZipEngineOpr::SetAnswer(TZipCallbackRecord& record, const std::string& text) {
  const size_t needed = text.size() + 2;  // room for a UTF-16-sized terminator too
  if (answer_.size() < needed) answer_.resize((needed + kAnswerStep - 1) / kAnswerStep * kAnswerStep);
  std::memcpy(answer_.data(), text.data(), text.size());
  answer_[text.size()] = 0;
  answer_[text.size() + 1] = 0;
  record.msg = answer_.data();
  bool non_ascii = false;
  for (unsigned char c : text) non_ascii = non_ascii || c >= 0x80;
  record.text_width = owner_.use_utf8_ && non_ascii && platform::IsValidUtf8(text) ? 2 : 0;
}

void TZipEngineOpr::SetBinaryAnswer(TZipCallbackRecord& record, const std::string& data) {
  const size_t n = std::min(data.size(), kMaxBinaryAnswer);
  if (answer_.size() < n + 1) answer_.resize((n + kAnswerStep) / kAnswerStep * kAnswerStep);
  std::memcpy(answer_.data(), data.data(), n);
  record.msg2 = answer_.data();
  record.arg2 = static_cast<int32_t>(n);
}

// --- stream callback ---------------------------------------------------------------

bool TZipEngineOpr::Known(const void* stream) const {
  return stream && std::find(open_streams_.begin(), open_streams_.end(), stream) != open_streams_.end();
}

int TZipEngineOpr::StreamFromList(TZipStreamRecord& r) {
  TZipStreamInfo info;
  bool handled = false;
  const auto op = static_cast<TZipStreamOperation>(r.operation);
  if (r.operation == zsoClose) info.stream = static_cast<common::TStream*>(const_cast<void*>(r.stream));
  if (owner_.OnStream) owner_.OnStream(r.number, op, info, handled);
  if (!handled && r.number >= 1 && static_cast<size_t>(r.number) <= owner_.streams_.size()) {
    const TZipStreamItem& item = owner_.streams_[static_cast<size_t>(r.number) - 1];
    info.stream = item.stream;
    info.size = item.stream ? item.stream->Size() : 0;
    info.date_time = item.date_time;
    info.attributes = item.attributes;
    handled = item.stream != nullptr;
  }
  if (!handled) return 0;
  switch (r.operation) {
    case zsoIdentify:
      r.position = info.size;
      r.date_time = info.date_time;
      r.attributes = info.attributes;
      return 1;
    case zsoOpen:
      if (!info.stream) return 0;
      info.stream->Seek(0, common::TSeekOrigin::soBeginning);
      r.stream = info.stream;
      open_streams_.push_back(info.stream);
      return 1;
    default:  // close
      open_streams_.erase(std::remove(open_streams_.begin(), open_streams_.end(), r.stream), open_streams_.end());
      return 1;
  }
}

int TZipEngineOpr::HandleStream(TZipStreamRecord& r) {
  if (r.check != kZipStreamCheck) return -5;
  if (destroying_) return 0;
  try {
    switch (r.operation) {
      case zsoIdentify:
        if (r.number == 0 && output_) {
          r.position = output_->Size();
          r.date_time = 0;
          r.attributes = 0;
          return 1;
        }
        return StreamFromList(r);
      case zsoOpen:
        if (r.number == 0 && output_) {
          // One entry per run: a second one of the same name must not mix its
          // bytes into the first one's.
          if (output_opened_) return 0;
          output_opened_ = true;
          output_->Seek(0, common::TSeekOrigin::soBeginning);
          // The engine gives the most the entry can yield (checked against the
          // archive): the memory is taken once and offered for writing into
          // directly, which saves a copy of every byte.
          if (r.position > 0) output_->Reserve(r.position);
          r.stream = output_;
          r.buffer = nullptr;
          r.count = 0;
          if (r.position > 0 && output_->Capacity() <= INT32_MAX) {
            r.buffer = output_->Memory();
            r.count = static_cast<int32_t>(output_->Capacity());
          }
          output_linked_ = true;
          open_streams_.push_back(output_);
          return 1;
        }
        return StreamFromList(r);
      case zsoClose:
        if (output_ && r.stream == output_) {
          // The component keeps the stream; the engine is only done with it.
          output_linked_ = false;
          open_streams_.erase(std::remove(open_streams_.begin(), open_streams_.end(), r.stream), open_streams_.end());
          return 1;
        }
        return Known(r.stream) ? StreamFromList(r) : 0;
      case zsoSeek: {
        if (!Known(r.stream)) return 0;
        auto* stream = static_cast<common::TStream*>(r.stream);
        const int origin = r.count & 0xFFFF;
        if (origin > 2) return 0;
        r.position = stream->Seek(r.position, static_cast<common::TSeekOrigin>(origin));
        return r.position >= 0 ? 1 : 0;
      }
      case zsoRead: {
        if (!Known(r.stream) || !r.buffer || r.count < 0) return 0;
        auto* stream = static_cast<common::TStream*>(r.stream);
        const int64_t left = std::max<int64_t>(stream->Size() - stream->Position(), 0);
        const int64_t want = std::min<int64_t>(r.count, left);
        const int64_t got = stream->Read(r.buffer, want);
        r.count = static_cast<int32_t>(got);
        return got == want ? 1 : 0;
      }
      case zsoWrite: {
        if (!Known(r.stream) || !r.buffer || r.count < 0) return 0;
        auto* stream = static_cast<common::TStream*>(r.stream);
        const int64_t want = r.count;
        // Bytes the engine already placed in the offered memory.
        if (stream == output_ && r.buffer == output_->Memory() + output_->Position() &&
            output_->Position() + want <= output_->Capacity()) {
          output_->Advance(want);
          return 1;
        }
        const int64_t put = stream->Write(r.buffer, want);
        r.count = static_cast<int32_t>(put);
        return put == want ? 1 : 0;
      }
      default:
        return -5;
    }
  } catch (...) {
    return -5;
  }
}

}  // namespace zip
