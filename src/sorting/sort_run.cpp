#include "sorting/sort_run.h"

#include <type_traits>

#include "cadastral/kpt_file.h"
#include "cadastral/kvzu_file.h"
#include "cadastral/ostrevan_file.h"
#include "common/stream.h"
#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/text_compare.h"
#include "sorting/file_search.h"
#include "sorting/output_rules.h"
#include "zip/zip_archive.h"

namespace sorting {

using cadastral::TRef;

TSortHost::~TSortHost() = default;
void TSortHost::ArchiveStarted(int, int, const std::string&) {}
void TSortHost::ArchiveFailed(const std::string&, const std::string&) {}
void TSortHost::DocumentHandled(const TDocumentRecord&) {}
void TSortHost::ArchiveMessage(const std::string&, int, const std::string&) {}
bool TSortHost::StopRequested() { return false; }

TSortObserver::~TSortObserver() = default;

namespace {

// A stage from here to End() or to the end of the scope, for the observer if
// there is one.
class TStageScope {
 public:
  TStageScope(TSortObserver* observer, TSortStage stage) : observer_(observer), stage_(stage) {
    if (observer_) observer_->StageStarted(stage_);
  }
  ~TStageScope() { End(); }
  TStageScope(const TStageScope&) = delete;
  TStageScope& operator=(const TStageScope&) = delete;
  void End() {
    if (!observer_) return;
    observer_->StageEnded(stage_);
    observer_ = nullptr;
  }

 private:
  TSortObserver* observer_;
  TSortStage stage_;
};

}  // namespace

const char* ActionName(TDocumentAction action) {
  switch (action) {
    case TDocumentAction::Unpacked:
      return "распакован";
    case TDocumentAction::Copied:
      return "скопирован";
    case TDocumentAction::WouldPlace:
      return "будет размещён";
    case TDocumentAction::NotExtracted:
      return "не извлечён из архива";
    case TDocumentAction::NotRegistry:
      return "не документ реестра";
    case TDocumentAction::NotRead:
      return "документ не прочитан";
    case TDocumentAction::OutsideOutput:
      return "папка вне выходной папки";
    case TDocumentAction::PlacementFailed:
      return "не размещён";
    case TDocumentAction::Renamed:
      return "размещён под другим именем";
    case TDocumentAction::Replaced:
      return "размещён с заменой";
    case TDocumentAction::Kept:
      return "не размещён: место занято";
    case TDocumentAction::Identical:
      return "такой же уже размещён";
    case TDocumentAction::Interrupted:
      return "прервано";
  }
  return "";
}

bool IsPlaced(TDocumentAction action) {
  switch (action) {
    case TDocumentAction::Unpacked:
    case TDocumentAction::Copied:
    case TDocumentAction::WouldPlace:
    case TDocumentAction::Renamed:
    case TDocumentAction::Replaced:
    case TDocumentAction::Identical:
      return true;
    default:
      return false;
  }
}

TSortRun::TSortRun(TSortHost& host) : host_(host) {}

void TSortRun::SortButtonClick() {
  const std::string input = host_.InputFolder();
  if (input.empty()) return;
  if (host_.OutputFolder().empty()) return;
  KptCount = 0;
  KvzuCount = 0;
  FailedCount = 0;
  N = 0;
  Done = 0;
  Stopped = false;
  std::string error;
  try {
    Run();
  } catch (const std::exception& e) {
    error = e.what();
    if (error.empty()) error = "Unknown error";
  } catch (...) {
    error = "Unknown error";
  }
  // Whether the archives were all handled or an error ended the run.
  host_.ResetProgress();
  archives_.clear();
  archives_.shrink_to_fit();
  if (!error.empty()) {
    host_.ReportError(error);
    return;
  }
  if (Stopped) return;
  host_.ShowSummary(SummaryText(), kSummaryCaption);
}

void TSortRun::Run() {
  archives_.clear();
  // The list is complete before the first archive is placed, so archives this run
  // copies into an output folder inside the input folder are not met again.
  {
    TStageScope search(Observer, TSortStage::Search);
    SearchFiles(host_.InputFolder(), "zip", host_.DeepSearch(), archives_);
  }
  N = static_cast<int>(archives_.size());
  host_.SetProgressMax(N);

  // A reference to the engine for the whole run, so that the library is loaded
  // once and not once per archive (loading it costs about as much as sorting a
  // small archive). Each archive's component still takes and gives back its own
  // reference; this one is silent, so a library that cannot be loaded is
  // reported by every archive as before.
  zip::TZipArchive engine;
  if (N > 0) {
    TStageScope load(Observer, TSortStage::Engine);
    engine.SetUnattended(true);
    engine.SetEngineDirectory(EngineFolder());
    engine.SetEngineLoad(true);
  }

  for (int i = 0; i < N; ++i) {
    if (host_.StopRequested()) {
      Stopped = true;
      break;
    }
    host_.ArchiveStarted(i, N, archives_[static_cast<size_t>(i)]);
    ProcessArchive(archives_[static_cast<size_t>(i)]);
    ++Done;
    host_.StepProgress();
    host_.ProcessMessages();
  }
}

std::string TSortRun::SummaryText() const {
  std::string text = common::Format("Обработано файлов: %d\r\n", N);
  if (KptCount > 0) text += common::Format("Из них файлов КПТ: %d\r\n", KptCount);
  if (KvzuCount > 0) text += common::Format("Из них файлов КВЗУ: %d\r\n", KvzuCount);
  if (FailedCount > 0) text += common::Format("Не удалось разместить файлов: %d\r\n", FailedCount);
  if (ConflictCount > 0) text += common::Format("Конфликтов размещения: %d\r\n", ConflictCount);
  return common::Trim(text);
}

std::string TSortRun::FullSummaryText() const {
  // The archives handled: all that were found, unless the run was stopped.
  std::string text = common::Format("Обработано файлов: %d\r\n", Done);
  if (KptCount > 0) text += common::Format("Из них файлов КПТ: %d\r\n", KptCount);
  if (KvzuCount > 0) text += common::Format("Из них файлов КВЗУ: %d\r\n", KvzuCount);
  if (UnreadableCount > 0) text += common::Format("Не удалось прочитать архивов: %d\r\n", UnreadableCount);
  if (UnrecognisedCount > 0) text += common::Format("Не распознано документов: %d\r\n", UnrecognisedCount);
  if (UnsupportedCount > 0) text += common::Format("Документов неподдерживаемых версий: %d\r\n", UnsupportedCount);
  if (FailedCount > 0) text += common::Format("Не удалось разместить файлов: %d\r\n", FailedCount);
  if (ConflictCount > 0) text += common::Format("Конфликтов размещения: %d\r\n", ConflictCount);
  return common::Trim(text);
}

std::string TSortRun::EngineFolder() const {
  return EngineDirectory.empty() ? platform::ExecutableDirectory() : EngineDirectory;
}

void TSortRun::ProcessArchive(const std::string& path) {
  TStageScope open(Observer, TSortStage::Open);
  zip::TZipArchive archive;
  archive.SetActive(true);
  archive.SetEngineDirectory(EngineFolder());
  archive.SetUnattended(Unattended);
  // Set before the archive is named: opening it is the first thing that can fail.
  archive.OnMessage = [this, &path](int code, const std::string& text) { host_.ArchiveMessage(path, code, text); };
  archive.SetZipFileName(path);
  open.End();
  if (archive.ErrCode() != 0 && archive.EntryCount() == 0) host_.ArchiveFailed(path, archive.ErrMsg());

  // The engine goes with the component on every way out.
  struct EngineGuard {
    zip::TZipArchive& archive;
    TSortObserver* observer;
    ~EngineGuard() {
      TStageScope engine(observer, TSortStage::Engine);
      archive.SetEngineLoad(false);
    }
  } guard{archive, Observer};
  {
    TStageScope engine(Observer, TSortStage::Engine);
    archive.SetEngineLoad(true);
  }

  const int count = archive.EntryCount();
  for (int i = 0; i < count; ++i) {
    const auto* entry = archive.Entry(i);
    if (!entry) continue;
    const std::string name = entry->FileName();
    if (!IsXmlFileName(name)) continue;
    common::TStream* stream;
    {
      TStageScope extract(Observer, TSortStage::Extract);
      stream = archive.ExtractToMemory(name);
    }
    ProcessXmlStream(archive, name, stream);
  }
}

bool TSortRun::IsXmlFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  if (extension.find_first_of("\\/:") != std::string_view::npos) return false;
  return platform::SameText(extension, std::string_view(".xml"));
}

namespace {

TDocumentRecord NewRecord(const zip::TZipArchive& archive, const std::string& entry) {
  TDocumentRecord record;
  record.archive = archive.ZipFileName();
  record.entry = entry;
  record.version = cadastral::kUnknownVersion;
  return record;
}

}  // namespace

void TSortRun::ProcessXmlStream(zip::TZipArchive& archive, const std::string& entry, common::TStream* stream) {
  if (!stream) {
    TDocumentRecord record = NewRecord(archive, entry);
    record.action = TDocumentAction::NotExtracted;
    record.reason = archive.ErrMsg();
    host_.DocumentHandled(record);
    return;
  }
  cadastral::TOstrevanFileKind kind;
  {
    TStageScope recognise(Observer, TSortStage::Recognise);
    kind = GetDocumentKind(*stream);
  }
  switch (kind) {
    case cadastral::fkKPT:
      ProcessKptDocument(archive, entry, *stream);
      break;
    case cadastral::fkKvzu:
      ProcessKvzuDocument(archive, entry, *stream);
      break;
    default: {
      TDocumentRecord record = NewRecord(archive, entry);
      record.action = TDocumentAction::NotRegistry;
      host_.DocumentHandled(record);
      break;
    }
  }
}

cadastral::TOstrevanFileKind TSortRun::GetDocumentKind(common::TStream& stream) {
  auto file = TRef<cadastral::TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  return file->Kind();
}

namespace {

template <typename File, typename Values>
TRef<Values> ReadInfo(common::TStream& stream, std::string* version) {
  auto file = TRef<File>::Create();
  file->LoadFromStream(stream);
  if (version) *version = file->Version();
  if (file->Version() == cadastral::kUnknownVersion) return {};
  return TRef<Values>(file->InfoData());
}

}  // namespace

TRef<cadastral::TKPTFileInfoData> TSortRun::ReadKptInfo(common::TStream& stream, std::string* version) {
  return ReadInfo<cadastral::TKPTFile, cadastral::TKPTFileInfoData>(stream, version);
}

TRef<cadastral::TKvzuFileInfoData> TSortRun::ReadKvzuInfo(common::TStream& stream, std::string* version) {
  return ReadInfo<cadastral::TKvzuFile, cadastral::TKvzuFileInfoData>(stream, version);
}

template <typename Values, typename TargetFolder>
void TSortRun::ProcessDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream,
                               cadastral::TOstrevanFileKind kind,
                               TRef<Values> (*read_info)(common::TStream&, std::string*), int& count,
                               TargetFolder target_folder) {
  TDocumentRecord record = NewRecord(archive, entry);
  record.kind = kind;
  TStageScope read(Observer, TSortStage::Read);
  const TRef<Values> values = read_info(stream, &record.version);
  read.End();
  if (!values) {
    host_.DocumentHandled(record);
    return;
  }
  ++count;
  record.cadastral_number = values->CadastralNumber;
  record.coord_system = values->CoordSystemName;
  record.certification_number = values->CertificationDocNumber;
  record.certification_date = values->CertificationDocDate;
  if constexpr (std::is_same_v<Values, cadastral::TKvzuFileInfoData>) record.registration_date = values->DateCreated;
  {
    TStageScope place(Observer, TSortStage::Place);
    record.target_folder = target_folder(*values);
    PlaceDocument(archive, record);
  }
  host_.DocumentHandled(record);
}

void TSortRun::ProcessKptDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream) {
  ProcessDocument<cadastral::TKPTFileInfoData>(archive, entry, stream, cadastral::fkKPT, &ReadKptInfo, KptCount,
                                               [this](const cadastral::TKPTFileInfoData& values) {
                                                 return GetKptTargetFolder(values, host_.OutputFolder(),
                                                                           host_.KptRule());
                                               });
}

void TSortRun::ProcessKvzuDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream) {
  ProcessDocument<cadastral::TKvzuFileInfoData>(archive, entry, stream, cadastral::fkKvzu, &ReadKvzuInfo, KvzuCount,
                                                [this](const cadastral::TKvzuFileInfoData& values) {
                                                  return GetKvzuTargetFolder(values, host_.OutputFolder(),
                                                                             host_.KvzuRule());
                                                });
}

void TSortRun::PlaceDocument(zip::TZipArchive& archive, TDocumentRecord& record) {
  const std::string& folder = record.target_folder;
  if (DryRun) {
    record.action = TDocumentAction::WouldPlace;
  } else if (!platform::ForceDirectories(folder)) {
    record.action = TDocumentAction::PlacementFailed;
    record.reason = "the folder cannot be created";
  } else if (host_.Unpack()) {
    if (UnpackArchive(archive, folder) == 0) {
      record.action = TDocumentAction::Unpacked;
    } else {
      record.action = TDocumentAction::PlacementFailed;
      record.reason = archive.ErrMsg().empty() ? std::string("the archive cannot be unpacked") : archive.ErrMsg();
    }
  } else {
    // The folder ends with the delimiter; the archive keeps its own file name.
    const std::string name = platform::FromPath(platform::ToPath(archive.ZipFileName()).filename());
    if (platform::CopyFileReplace(archive.ZipFileName(), folder + name)) {
      record.action = TDocumentAction::Copied;
    } else {
      record.action = TDocumentAction::PlacementFailed;
      record.reason = "the archive cannot be copied";
    }
  }
  if (record.action == TDocumentAction::PlacementFailed) ++FailedCount;
}

int TSortRun::UnpackArchive(zip::TZipArchive& archive, const std::string& folder) {
  archive.SetExtrBaseDir(folder);
  // Set, not appended: a second document of the same archive unpacks it again
  // with the same single mask.
  archive.IncludeSpecs() = {"*.*"};
  archive.SetExtrOptions(zip::ExtrDirNames | zip::ExtrOverWrite);
  return archive.ExtractToFolder();
}

}  // namespace sorting
