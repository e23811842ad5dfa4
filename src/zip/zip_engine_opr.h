#pragma once
// The operation object of one engine operation (an EngineLoad change, an
// ExtractToMemory or an ExtractToFolder call): it builds the command record,
// runs the extraction, and answers the engine's callbacks for the component.

#include <cstdint>
#include <string>
#include <vector>

#include "common/stream.h"
#include "zipformat/zip_engine_records.h"

namespace zip {

class TZipArchive;

class TZipEngineOpr {
 public:
  static constexpr size_t kAnswerStep = 512;  // the answer buffer grows by this much
  static constexpr size_t kMaxBinaryAnswer = 2048;

  explicit TZipEngineOpr(TZipArchive& owner);
  // Aborts a command that is still running (the engine handed over its key).
  ~TZipEngineOpr();
  TZipEngineOpr(const TZipEngineOpr&) = delete;
  TZipEngineOpr& operator=(const TZipEngineOpr&) = delete;

  // EngineLoad: a reference for the component, or its release.
  void LoadEngine();
  void ReleaseEngine();

  // The extraction run; output receives stream 0 (ExtractToMemory), none for
  // ExtractToFolder. False when an error ended it (already reported).
  bool Extract(common::TMemoryStream* output);

  // The command record of the last run (for diagnostics and tests).
  const TZipCommandRecord& Command() const { return command_; }
  // Builds the command record from the component's settings.
  void BuildCommand();

  // The callbacks handed to the engine.
  static int ZE_CALL MainCallback(TZipCallbackRecord* record);
  static int ZE_CALL StreamCallback(TZipStreamRecord* record);

  // The answers themselves (the callbacks after their checks).
  int HandleCallback(TZipCallbackRecord& record);
  int HandleStream(TZipStreamRecord& record);

  // Text kept from callbacks, appended to the final error text.
  const std::string& Collected() const { return collected_; }
  intptr_t Key() const { return key_; }

 private:
  int Dispatch(TZipCallbackRecord& record, int action);
  int ArgumentRequest(TZipCallbackRecord& record);
  int PasswordRequest(TZipCallbackRecord& record, const std::string& for_file);
  int EngineMessage(TZipCallbackRecord& record, const std::string& text);
  int StreamFromList(TZipStreamRecord& record);
  void SetAnswer(TZipCallbackRecord& record, const std::string& text);
  void SetBinaryAnswer(TZipCallbackRecord& record, const std::string& data);
  bool Known(const void* stream) const;
  void Collect(const std::string& text);
  void Run(common::TMemoryStream* output);
  std::string JoinSplitParts();

  TZipArchive& owner_;
  TZipCommandRecord command_{};
  std::vector<char> answer_;
  std::string archive_name_;
  std::string base_dir_;
  std::string joined_;  // a temporary archive joined from split parts
  common::TMemoryStream* output_ = nullptr;
  bool output_linked_ = false;
  bool output_opened_ = false;
  std::vector<const void*> open_streams_;
  std::string collected_;
  bool exception_kept_ = false;
  intptr_t key_ = 0;
  bool running_ = false;
  bool destroying_ = false;
};

}  // namespace zip
