#pragma once
// One command of the engine: asks the caller for its arguments, reads the
// archive's directory and extracts (or tests) the entries that match, talking
// to the caller only through the command's callbacks.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "zipengine/zip_entry_reader.h"
#include "zipengine/zip_file_spec.h"
#include "zipformat/zip_core.h"
#include "zipformat/zip_engine_records.h"
#include "zipformat/zip_file.h"

namespace zipengine {

class TZipEngineJob : public zip::TZipContext {
 public:
  explicit TZipEngineJob(const TZipCommandRecord& command);
  ~TZipEngineJob() override;

  // The number of entries extracted or tested, or a negative engine result.
  int Run();
  // Asks the running command to stop between blocks (any thread).
  void Abort() { abort_.store(true); }
  intptr_t Key() const { return reinterpret_cast<intptr_t>(this); }

  // zip::TZipContext: names decoded as the component decodes them.
  zip::TZipNameOptions NameOptions() const override { return name_options_; }
  bool CheckCancel() override { return abort_.load(); }

 private:
  class TStreamSink;
  struct TTarget;

  int RunChecked();
  // One callback; a negative answer that stops the command is kept in fatal_.
  int Call(int32_t action, const std::string& text = {}, int64_t size = 0, int64_t written = 0, int32_t a1 = 0,
           int32_t a2 = 0, int32_t a3 = 0, std::string* answer = nullptr, int32_t* a2_out = nullptr,
           int32_t* a3_out = nullptr);
  int CallStream(TZipStreamRecord& record);
  void Fail(int result) {
    if (fatal_ == 0) fatal_ = result;
  }
  bool Argument(zip::TZipArgument selector, std::string& text, int32_t index = 0, int32_t* count = nullptr);
  void ReadSpecs(zip::TZipArgument selector, TZipSpecList& list, bool allow_stream);

  void ProcessEntry(const zip::TZipDirRecord& record, int index, int stream);
  void MakeFolderEntry(const zip::TZipDirRecord& record);
  bool PrepareFile(const zip::TZipDirRecord& record, int index, TTarget& target);
  bool EnsureFolders(const std::vector<std::string>& levels, size_t count);
  bool InsideBase(const std::string& path);
  bool FindPassword(const zip::TZipDirRecord& record, std::string& password);
  // Skip reasons: report (action 13), with a message first when it is trouble.
  void Skip(const std::string& name, zip::TZipSkipTypes reason, const std::string& trouble = {}, int32_t error = 0);
  void Message(int32_t code, const std::string& text);
  // ": " and the system's reason why the target file could not be written
  // ("нет места на диске", ...), or nothing when there is none.
  static std::string SystemReason(const TTarget& target);
  int64_t StoredTime(const zip::TZipDirRecord& record) const;

  TZipCommandRecord command_;
  zip::TZipNameOptions name_options_;
  std::atomic<bool> abort_{false};
  int fatal_ = 0;
  bool test_ = false;
  bool dir_names_ = false;
  bool overwrite_ = false;
  bool freshen_ = false;
  bool update_ = false;
  bool ntfs_ = false;
  int password_asks_ = 0;
  bool declined_passwords_ = false;
  bool password_fetched_ = false;
  std::vector<std::string> passwords_;
  std::string base_;
  std::string canonical_base_;
  TZipSpecList includes_, excludes_;
  std::unique_ptr<zip::TZipFile> file_;
  std::unique_ptr<common::TStream> archive_;
  std::unique_ptr<TZipEntryReader> reader_;
  std::unordered_set<std::string> verified_folders_;
  int count_ = 0;
};

}  // namespace zipengine
