#include "zip/zip_archive.h"

#include <cstdlib>

#include "common/text_format.h"
#include "zip/zip_engine_loader.h"
#include "zip/zip_engine_opr.h"
#include "zipformat/zip_message_table.h"

namespace zip {

namespace {
// Initialised before main runs, on the main thread.
const std::thread::id g_main_thread = std::this_thread::get_id();
bool OnMainThread() { return std::this_thread::get_id() == g_main_thread; }
}  // namespace

TZipArchive::TZipArchive()
    : window_handle_(OnMainThread() ? ZipInteraction().WindowHandle() : 0), on_main_thread_(OnMainThread()) {
  // The loader is made before any component, so it outlives them all, those
  // with static storage included.
  ZipEngineLoader();
}

TZipArchive::~TZipArchive() { ZipEngineLoader().RemoveComponent(*this); }

// --- operation frame -----------------------------------------------------------

bool TZipArchive::EnterOperation() {
  if (!active_) return false;
  if (busy_ > 0) {
    CountReentry();
    return false;
  }
  if (busy_++ == 0) Interaction().BeginBusyCursor();
  ClearLastError();
  cancel_ = 0;
  success_count_ = 0;
  saved_include_ = include_specs_;
  saved_exclude_ = exclude_specs_;
  return true;
}

void TZipArchive::LeaveOperation(bool succeeded) {
  if (succeeded) {
    include_specs_ = saved_include_;
    exclude_specs_ = saved_exclude_;
  }
  Diag(common::Format("#done = %d", busy_));
  if (--busy_ == 0) {
    Interaction().EndBusyCursor();
    if (deactivate_pending_) {
      deactivate_pending_ = false;
      active_ = false;
    }
  }
}

void TZipArchive::CountReentry() {
  ++reentry_count_;
  Diag("#Re-entry");
}

void TZipArchive::ClearLastError() {
  err_code_ = 0;
  ext_err_code_ = 0;
  err_msg_.clear();
}

// --- settings ------------------------------------------------------------------

void TZipArchive::SetActive(bool active) {
  if (!active) {
    if (busy_ > 0)
      deactivate_pending_ = true;
    else
      active_ = false;
    return;
  }
  deactivate_pending_ = false;
  if (active_) return;
  active_ = true;
  if (load_pending_) ListArchive();
}

void TZipArchive::SetZipFileName(const std::string& name) {
  // A handler inside an operation must not free the list that operation uses.
  if (busy_ > 0) {
    CountReentry();
    return;
  }
  zip_file_name_ = name;
  if (!active_) {
    load_pending_ = true;
    return;
  }
  ListArchive();
}

void TZipArchive::SetEncoding(TZipEncodingOpts encoding) {
  if (encoding == encoding_) return;
  encoding_ = encoding;
  if (lister_) lister_->CenDir().File().ClearCachedNames();
}

void TZipArchive::SetNameCodePage(uint32_t code_page) {
  if (code_page == name_code_page_) return;
  name_code_page_ = code_page;
  if (lister_) lister_->CenDir().File().ClearCachedNames();
}

void TZipArchive::SetUseDirOnlyEntries(bool use) {
  use_dir_only_entries_ = use;
  if (lister_) lister_->CenDir().SetUseDirOnlyEntries(use);
}

// --- listing -------------------------------------------------------------------

void TZipArchive::ListArchive() {
  load_pending_ = false;
  lister_.reset();
  zip_comment_.clear();
  TOperationFrame frame(*this);
  if (!frame.Entered()) return;
  frame.End(ListNow());
  if (OnDirUpdate) OnDirUpdate();
}

bool TZipArchive::ListNow() {
  lister_.reset();
  zip_comment_.clear();
  lister_ = std::make_unique<TZipLister>(*this);
  lister_->CenDir().SetUseDirOnlyEntries(use_dir_only_entries_);
  try {
    const int result = lister_->List(zip_file_name_);
    Diag(common::Format("#Open = %d", result));
    if (result < 0 && ZipCodeId(result) == ZE_NoInFile) {
      // A missing archive is recorded only: no dialog, no message event.
      RecordError(result, LoadZipStr(ZE_NoInFile));
      return false;
    }
    if (result < 0) throw EZipArchiveError(result);
    zip_comment_ = lister_->CenDir().File().ZipComment();
    return true;
  } catch (...) {
    ReportException();
  }
  return false;
}

int TZipArchive::EntryCount() const { return active_ && lister_ ? lister_->CenDir().Count() : 0; }

TZipCentralEntry* TZipArchive::Entry(int index) const {
  return active_ && lister_ ? lister_->CenDir().Entry(index) : nullptr;
}

const TZipDirEntry* TZipArchive::FindEntry(const std::string& name) const {
  return active_ && lister_ ? lister_->CenDir().File().FindName(name) : nullptr;
}

std::string TZipArchive::ZipComment() const { return RawBytesAsText(zip_comment_); }

const TZipFile* TZipArchive::CurrentZip() const { return lister_ ? &lister_->CenDir().File() : nullptr; }

// --- errors and messages -------------------------------------------------------

std::string TZipArchive::LoadZipStr(int id) const { return zip::LoadZipStr(id, OnLoadStr); }

void TZipArchive::RecordError(int code, const std::string& text) {
  err_msg_ = text;
  ext_err_code_ = std::abs(code);
  err_code_ = ext_err_code_ & kZipIdMask;
}

void TZipArchive::ShowError(int code, const std::string& text, bool show) {
  RecordError(code, text);
  if (show && !unattended_ && err_code_ != ZE_Canceled && err_code_ != ZE_Abort)
    ZipMessageDialog("", err_msg_, zmtInformation, ZipButtons({zmbOK}));
  if (OnMessage) {
    OnMessage(err_code_, err_msg_);
    CheckCancel();
  }
}

void TZipArchive::ReportException() {
  streams_.clear();
  try {
    throw;
  } catch (const EZipException& e) {
    ShowError(e.ExtCode(), e.FinalText([this](int id) { return LoadZipStr(id); }), e.Display());
  } catch (const std::exception& e) {
    ShowError(ZE_UnknownError, LoadZipStr(ZE_UnknownError) + e.what(), true);
  } catch (...) {
    ShowError(ZE_UnknownError, LoadZipStr(ZE_UnknownError), true);
  }
}

void TZipArchive::ReportWarning(int code, const std::string& extra) {
  ShowError(code, LoadZipStr(ZipCodeId(code)) + extra, true);
}

int TZipArchive::ZipMessageDialog(const std::string& title, const std::string& message, int kind,
                                  TZipMsgDlgButtons buttons, std::string* edit_text) {
  if (OnZipDialog) {
    std::string text = message;
    int result = zmrNone;
    OnZipDialog(title, text, result, buttons);
    if (result >= zmrOk && result <= zmrYesToAll) {
      if (edit_text && (kind & zmtPassword) == zmtPassword) *edit_text = text;
      return result;
    }
  }
  TZipMessageDialog dialog(title, message, kind, buttons, kZipErrorHelpContext, Interaction().ApplicationTitle(),
                           verbose_ || trace_, [this](int id) { return LoadZipStr(id); });
  const int result = Interaction().ShowModal(dialog);
  if (edit_text && dialog.HasPasswordEdit() && result == zmrOk) *edit_text = dialog.edit_text;
  return result;
}

void TZipArchive::Diag(const std::string& text) {
  if (!(verbose_ || trace_) || !OnMessage) return;
  std::string line = text;
  if (!line.empty() && line[0] == '!')
    line = LoadZipStr(ZT_InfoPrefix) + line.substr(1);
  else if (!line.empty() && line[0] == '#')
    line = LoadZipStr(ZT_TracePrefix) + line.substr(1);
  OnMessage(0, line);
}

bool TZipArchive::CheckCancel() {
  const bool requested = cancel_ != 0;
  if (OnTick) OnTick();
  if (OnCheckTerminate) {
    bool abort = cancel_ != 0;
    OnCheckTerminate(abort);
    if (abort && cancel_ == 0) cancel_ = ZE_Canceled;
  } else if (on_main_thread_) {
    Interaction().ProcessMessages();
  }
  return requested;
}

// --- engine and extraction ----------------------------------------------------

void TZipArchive::SetEngineLoad(bool load) {
  if (load == engine_load_) return;
  TOperationFrame frame(*this);
  if (!frame.Entered()) return;
  {
    TZipEngineOpr opr(*this);
    if (load)
      opr.LoadEngine();
    else
      opr.ReleaseEngine();
  }
  engine_load_ = ZipEngineLoader().References(*this) > 0;
  frame.End(err_code_ == 0);
}

common::TMemoryStream* TZipArchive::ExtractToMemory(const std::string& name) {
  TOperationFrame frame(*this);
  if (!frame.Entered()) return nullptr;
  std::string entry = common::Trim(name);
  if (name.empty() && !include_specs_.empty()) entry = common::Trim(include_specs_.front());
  bool ok = false;
  try {
    if (entry.find_first_of("*?") != std::string::npos) throw EZipArchiveError(MakeZipCode(ZE_Wildcard, 1, __LINE__));
    if (entry.empty()) throw EZipArchiveError(MakeZipCode(ZE_NothingToZip, 1, __LINE__));
    include_specs_.assign(1, "0:" + entry);
    if (!output_stream_) output_stream_ = std::make_unique<common::TMemoryStream>();
    // Emptied, not freed: a component extracting many entries keeps its buffer.
    output_stream_->SetSize(0);
    {
      TZipEngineOpr opr(*this);
      ok = opr.Extract(output_stream_.get());
    }
    if (success_count_ != 1) output_stream_->SetSize(0);
  } catch (...) {
    ReportException();
  }
  // The single specification was this call's own: the caller's list comes back
  // whatever happened.
  include_specs_ = saved_include_;
  exclude_specs_ = saved_exclude_;
  frame.End(ok);
  return success_count_ == 1 ? output_stream_.get() : nullptr;
}

int TZipArchive::ExtractToFolder() {
  TOperationFrame frame(*this);
  if (!frame.Entered()) return active_ ? err_code_ : ZE_NotActive;
  bool ok = false;
  {
    TZipEngineOpr opr(*this);
    ok = opr.Extract(nullptr);
  }
  frame.End(ok);
  return err_code_;
}

// --- progress ------------------------------------------------------------------

void TZipArchive::Progress(TZipProgressKind kind, const std::string& name, int64_t total, int64_t done) {
  if (OnProgress) OnProgress({kind, name, total, done});
}

void TZipArchive::ProgressStart(const std::string& caption, int64_t total) {
  progress_caption_ = caption;
  progress_total_ = total;
  progress_done_ = 0;
  Progress(TZipProgressKind::pkNewExtra, caption, total, 0);
}

void TZipArchive::ProgressAdvance(int64_t count) {
  progress_done_ += count;
  Progress(TZipProgressKind::pkExtraUpdate, progress_caption_, progress_total_, progress_done_);
}

void TZipArchive::ProgressEnd() {
  Progress(TZipProgressKind::pkEndExtra, progress_caption_, progress_total_, progress_done_);
}

}  // namespace zip
