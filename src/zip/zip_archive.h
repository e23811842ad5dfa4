#pragma once
// The archive component: names an archive, lists its entries, and keeps, shows
// and reports its errors. Public operations never throw; a failure becomes the
// last error (ErrCode, ErrMsg) and, unless Unattended, a message dialog.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/stream.h"
#include "zip/zip_cen_dir.h"
#include "zip/zip_interaction.h"
#include "zip/zip_lister.h"
#include "zip/zip_message_dialog.h"
#include "zipformat/zip_core.h"
#include "zipformat/zip_engine_records.h"
#include "zipformat/zip_error.h"
#include "zipformat/zip_name.h"

namespace zip {

enum class TZipProgressKind {
  pkNewExtra,
  pkExtraUpdate,
  pkEndExtra,
  pkNewFile,
  pkItemProgress,
  pkEndItem,
  pkTotalFiles,
  pkTotalSize,
  pkEndBatch
};

struct TZipProgressDetails {
  TZipProgressKind kind = TZipProgressKind::pkNewExtra;
  std::string item_name;  // caption of a side task, or the file being worked on
  int64_t total = 0;      // items (or bytes) of the task
  int64_t done = 0;       // items (or bytes) done so far
};

// ExtrOptions: a set of these bits.
enum TZipExtrOpt : uint32_t {
  ExtrDirNames = 0x01,   // recreate the stored folders
  ExtrOverWrite = 0x02,  // replace existing files without asking
  ExtrFreshen = 0x04,    // only replace existing files that are older
  ExtrUpdate = 0x08,     // replace older files and add missing ones
  ExtrTest = 0x10,       // only check the entries
  ExtrForceDirs = 0x20,  // create a missing base folder
  ExtrNTFS = 0x40,       // take NTFS time stamps when the entry has them
};
using TZipExtrOpts = uint32_t;

// NoSkipping: a set of skip reasons, bit (1 << TZipSkipTypes).
using TZipSkipSet = uint32_t;

// The answer of a password handler.
enum TZipPasswordAction { zpaOK, zpaCancel, zpaCancelAll, zpaAbort };

// A stream the application supplies instead of a file.
struct TZipStreamInfo {
  common::TStream* stream = nullptr;
  int64_t size = 0;
  uint32_t date_time = 0;
  uint32_t attributes = 0;
};
struct TZipStreamItem {
  std::string name;  // the entry it stands for; empty: "#<number>#stream"
  common::TStream* stream = nullptr;
  uint32_t date_time = 0;
  uint32_t attributes = 0;
};

class TZipEngineOpr;

class TZipArchive : public TZipContext {
 public:
  TZipArchive();
  ~TZipArchive() override;
  TZipArchive(const TZipArchive&) = delete;
  TZipArchive& operator=(const TZipArchive&) = delete;

  // --- settings (defaults as a new instance has them) ---------------------
  bool Active() const { return active_; }  // true
  // Setting it false while busy takes effect when the last operation ends; true
  // lists an archive named while inactive.
  void SetActive(bool active);
  const std::string& ZipFileName() const { return zip_file_name_; }  // empty
  // Opens and lists the archive (only stores the name while inactive).
  void SetZipFileName(const std::string& name);
  TZipEncodingOpts Encoding() const { return encoding_; }  // zenAuto
  void SetEncoding(TZipEncodingOpts encoding);
  // The code page of names taken as ANSI; 0 = the system ANSI code page.
  uint32_t NameCodePage() const { return name_code_page_; }
  void SetNameCodePage(uint32_t code_page);
  // Texts are UTF-8 on every platform; kept for its published name only.
  bool UseUTF8() const { return use_utf8_; }
  void SetUseUTF8(bool use) { use_utf8_ = use; }
  bool UseDirOnlyEntries() const { return use_dir_only_entries_; }  // false: directories hidden
  void SetUseDirOnlyEntries(bool use);
  bool NoReadAux() const { return no_read_aux_; }
  void SetNoReadAux(bool no) { no_read_aux_ = no; }
  bool Unattended() const { return unattended_; }
  void SetUnattended(bool unattended) { unattended_ = unattended; }
  bool GetVerbose() const { return verbose_; }
  void SetVerbose(bool verbose) { verbose_ = verbose; }
  bool GetTrace() const { return trace_; }
  void SetTrace(bool trace) { trace_ = trace; }
  std::vector<std::string>& IncludeSpecs() { return include_specs_; }
  std::vector<std::string>& ExcludeSpecs() { return exclude_specs_; }
  // --- extraction settings ------------------------------------------------------
  const std::string& ExtrBaseDir() const { return extr_base_dir_; }  // empty
  void SetExtrBaseDir(const std::string& dir) { extr_base_dir_ = dir; }
  TZipExtrOpts ExtrOptions() const { return extr_options_; }  // empty set
  void SetExtrOptions(TZipExtrOpts options) { extr_options_ = options; }
  const std::string& Password() const { return password_; }
  void SetPassword(const std::string& password) { password_ = password; }
  int PasswordReqCount() const { return password_req_count_; }  // 1
  void SetPasswordReqCount(int count) { password_req_count_ = count; }
  // Folder of temporary files; empty: the system's.
  const std::string& TempDir() const { return temp_dir_; }
  void SetTempDir(const std::string& dir) { temp_dir_ = dir; }
  const std::string& RootDir() const { return root_dir_; }
  void SetRootDir(const std::string& dir) { root_dir_ = dir; }
  // Skip reasons that end the extraction with an error.
  TZipSkipSet NoSkipping() const { return no_skipping_; }
  void SetNoSkipping(TZipSkipSet reasons) { no_skipping_ = reasons; }
  // Streams the application supplies; stream n is item n - 1. Cleared after
  // every extraction.
  std::vector<TZipStreamItem>& ZipStreams() { return streams_; }

  // --- the engine ---------------------------------------------------------------
  // Where the engine library is loaded from: a folder, "." and below it
  // relative to the program's folder, or the library file itself.
  const std::string& EngineDirectory() const { return engine_directory_; }
  void SetEngineDirectory(const std::string& dir) { engine_directory_ = dir; }
  // True while the loader holds a reference for this component.
  bool EngineLoad() const { return engine_load_; }
  void SetEngineLoad(bool load);

  // --- extraction --------------------------------------------------------------------
  // The entry's bytes in OutputStream (positioned after the last byte), or
  // none unless exactly one entry was produced. The stream stays the
  // component's, reused by the next call.
  common::TMemoryStream* ExtractToMemory(const std::string& name);
  // Every entry matching IncludeSpecs (and not ExcludeSpecs) below
  // ExtrBaseDir; the last error code (197 when not active).
  int ExtractToFolder();
  common::TMemoryStream* OutputStream() const { return output_stream_.get(); }
  // Entries the last extraction produced.
  int SuccessCount() const { return success_count_; }

  // None: the process-wide interaction for a component made on the main thread
  // (the window's thread), the console one for a component made on another.
  void SetInteraction(TZipInteraction* interaction) { interaction_ = interaction; }
  TZipInteraction& Interaction() const {
    return interaction_ ? *interaction_ : on_main_thread_ ? ZipInteraction() : ConsoleZipInteraction();
  }

  // --- the listed archive ---------------------------------------------------
  // Entries of the visible list; 0 when inactive or nothing is listed.
  int EntryCount() const;
  // Handle i, or none outside 0..EntryCount()-1. Handles belong to the
  // component and live until the next archive is named.
  TZipCentralEntry* Entry(int index) const;
  // The first record of the name (case ignored, "/" equal to "\"), or none.
  const TZipDirEntry* FindEntry(const std::string& name) const;
  // The archive comment as text, and its bytes.
  std::string ZipComment() const;
  const std::string& RawZipComment() const { return zip_comment_; }
  // The file object of the last listing (for the extraction), or none.
  const TZipFile* CurrentZip() const;
  bool Listed() const { return lister_ && lister_->Listed(); }

  // --- last error --------------------------------------------------------------
  int ErrCode() const { return err_code_; }         // message id, 0 = none
  int ExtErrCode() const { return ext_err_code_; }  // the full code
  const std::string& ErrMsg() const { return err_msg_; }

  // --- messages, dialogs, cancellation -----------------------------------------
  // Table text of the id, which OnLoadStr may replace.
  std::string LoadZipStr(int id) const;
  // Records the error and shows it (not for ids 2 and 4, nor when Unattended),
  // then OnMessage and a cancellation poll.
  void ShowError(int code, const std::string& text, bool show = true);
  // Reports the exception being handled (call inside a catch block).
  void ReportException();
  // OnZipDialog first (an answer 1..10 is taken), else the built-in dialog.
  // For the password kind the answer of the edit goes to edit_text.
  int ZipMessageDialog(const std::string& title, const std::string& message, int kind, TZipMsgDlgButtons buttons,
                       std::string* edit_text = nullptr);
  int Cancel() const { return cancel_; }
  void SetCancel(int code) { cancel_ = code; }
  int Busy() const { return busy_; }
  int ReentryCount() const { return reentry_count_; }

  // --- TZipContext -------------------------------------------------------------
  TZipNameOptions NameOptions() const override { return {encoding_, name_code_page_}; }
  bool Verbose() const override { return verbose_ || trace_; }
  void ReportWarning(int code, const std::string& extra) override;
  void Diag(const std::string& text) override;
  void ProgressStart(const std::string& caption, int64_t total) override;
  void ProgressAdvance(int64_t count) override;
  void ProgressEnd() override;
  bool CheckCancel() override;
  int CancelCode() const override { return cancel_ ? cancel_ : ZE_Canceled; }
  std::string LoadStr(int id) const override { return LoadZipStr(id); }

  // --- events ------------------------------------------------------------------
  std::function<void(int code, const std::string& message)> OnMessage;
  std::function<void(const std::string& title, std::string& message, int& result, TZipMsgDlgButtons buttons)>
      OnZipDialog;
  std::function<void(int ident, std::string& text)> OnLoadStr;
  std::function<void()> OnTick;
  std::function<void(bool& abort)> OnCheckTerminate;
  std::function<void()> OnDirUpdate;
  std::function<void(const TZipProgressDetails& details)> OnProgress;
  std::function<void(bool is_zip_action, std::string& new_password, const std::string& for_file, unsigned& repeat_count,
                     TZipPasswordAction& action)>
      OnPasswordError;
  std::function<void(const std::string& for_file, uint32_t found_crc, uint32_t stored_crc, bool& do_extract)>
      OnCRC32Error;
  std::function<void(const std::string& for_file, bool is_older, bool& do_overwrite, int directory_index)>
      OnExtractOverwrite;
  std::function<void(const std::string& for_file, TZipSkipTypes skip_type, int& ext_error)> OnSkipped;
  std::function<void(std::string& new_name, const std::string& old_name, bool& is_changed)> OnSetAddName;
  std::function<void(const std::string& for_file, std::string& comment, bool& is_changed)> OnFileComment;
  std::function<void(const std::string& for_file, int& level, bool& is_changed)> OnSetCompLevel;
  std::function<void(const std::string& for_file, std::string& data, bool& is_changed)> OnFileExtra;
  // new_name starts as old_name; a different name ending (or not) in a
  // delimiter as old_name does is taken.
  std::function<void(const std::string& old_name, std::string& new_name, bool& is_changed)> OnSetExtName;
  // Stream n of an "n:name" specification; handled false leaves it to ZipStreams.
  std::function<void(int number, TZipStreamOperation op, TZipStreamInfo& info, bool& handled)> OnStream;

 protected:
  // The operation frame: entered only while active and not already busy.
  class TOperationFrame {
   public:
    explicit TOperationFrame(TZipArchive& owner) : owner_(owner), entered_(owner.EnterOperation()) {}
    ~TOperationFrame() { End(false); }
    TOperationFrame(const TOperationFrame&) = delete;
    TOperationFrame& operator=(const TOperationFrame&) = delete;
    bool Entered() const { return entered_; }
    void End(bool succeeded) {
      if (entered_) owner_.LeaveOperation(succeeded);
      entered_ = false;
    }

   private:
    TZipArchive& owner_;
    bool entered_;
  };

  bool EnterOperation();
  void LeaveOperation(bool succeeded);
  void CountReentry();
  void ClearLastError();
  void RecordError(int code, const std::string& text);

 private:
  friend class TZipEngineOpr;
  void ListArchive();
  // Lists inside a running operation; true on success (failures are reported).
  bool ListNow();
  void Progress(TZipProgressKind kind, const std::string& name, int64_t total, int64_t done);

  bool active_ = true;
  bool deactivate_pending_ = false;
  bool load_pending_ = false;
  std::string zip_file_name_;
  TZipEncodingOpts encoding_ = zenAuto;
  uint32_t name_code_page_ = 0;
  bool use_utf8_ = false;
  bool use_dir_only_entries_ = false;
  bool no_read_aux_ = false;
  bool unattended_ = false;
  bool verbose_ = false;
  bool trace_ = false;
  std::vector<std::string> include_specs_, exclude_specs_;
  std::vector<std::string> saved_include_, saved_exclude_;
  TZipInteraction* interaction_ = nullptr;
  intptr_t window_handle_ = 0;

  std::string extr_base_dir_;
  TZipExtrOpts extr_options_ = 0;
  std::string password_;
  int password_req_count_ = 1;
  std::string temp_dir_, root_dir_;
  TZipSkipSet no_skipping_ = 0;
  std::vector<TZipStreamItem> streams_;
  std::string engine_directory_;
  bool engine_load_ = false;
  std::unique_ptr<common::TMemoryStream> output_stream_;
  int success_count_ = 0;

  std::unique_ptr<TZipLister> lister_;
  std::string zip_comment_;
  int64_t progress_total_ = 0, progress_done_ = 0;
  std::string progress_caption_;

  int err_code_ = 0;
  int ext_err_code_ = 0;
  std::string err_msg_;
  int cancel_ = 0;
  int busy_ = 0;
  int reentry_count_ = 0;
  bool on_main_thread_;
};

}  // namespace zip
