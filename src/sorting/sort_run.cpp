#include "sorting/sort_run.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>
#include <type_traits>

#include "cadastral/kpt_file.h"
#include "cadastral/kvzu_file.h"
#include "cadastral/ostrevan_file.h"
#include "common/stream.h"
#include "common/text_format.h"
#include "platform/file_copy.h"
#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/temporary_files.h"
#include "platform/text_compare.h"
#include "sorting/file_search.h"
#include "sorting/output_rules.h"
#include "sorting/parallel_sort.h"
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
    case TDocumentAction::Unsupported:
      return "не поддерживается";
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

namespace fs = std::filesystem;

// One archive being worked through: a found one, or one inside it.
struct TSortRun::TFrame {
  std::string file;         // what the component opens
  std::string name;         // how the report names it
  std::string placed_name;  // the name a copy of it is given
  int level = 0;            // 0: found by the search
  TFrame* parent = nullptr;
  // An archive inside another whose files are all signatures: the names of
  // the documents they sign. It is placed once its siblings are.
  std::vector<std::string> signed_names;
  std::string signature_entry;
  // The documents the archives inside this one placed, by their file names.
  std::vector<std::pair<std::string, TDocumentRecord>> inner_documents;
  // The archives inside this one that hold only signatures, by their entries
  // here, with the names they sign and their first entry.
  struct TSignatures {
    std::string entry;
    std::vector<std::string> signed_names;
    std::string signature_entry;
  };
  std::vector<TSignatures> signatures;
};

// An archive inside another, written out for the component; removed with it.
struct TSortRun::TInnerFile {
  std::string path;
  ~TInnerFile() {
    std::error_code ec;
    if (!path.empty()) fs::remove(platform::ToPath(path), ec);
  }
};

// The run's folder for archives inside archives, in the system's temporary
// folder; gone with everything in it when the run ends.
struct TSortRun::TInnerFolder {
  std::string path;
  int files = 0;
  ~TInnerFolder() {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(platform::ToPath(path), ec);
  }
};

TSortRun::TSortRun(TSortHost& host) : host_(host) {}

TSortRun::~TSortRun() = default;

void TSortRun::SortButtonClick() {
  const std::string input = host_.InputFolder();
  if (input.empty()) return;
  if (host_.OutputFolder().empty()) return;
  KptCount = 0;
  KvzuCount = 0;
  UnreadableCount = 0;
  UnrecognisedCount = 0;
  UnsupportedCount = 0;
  FailedCount = 0;
  ConflictCount = 0;
  N = 0;
  Done = 0;
  Stopped = false;
  stop_ = false;
  placed_.clear();
  cleaned_.clear();
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
  placed_.clear();
  cleaned_.clear();
  inner_folder_.reset();
  if (!error.empty()) {
    host_.ReportError(error);
    return;
  }
  if (Stopped) return;
  host_.ShowSummary(SummaryText(), kSummaryCaption);
}

void TSortRun::Run() {
  archives_.clear();
  const std::string input = host_.InputFolder();
  // The list is complete before the first archive is placed, and an output
  // folder inside the input folder is not searched: archives this run (or an
  // earlier one) copied there are not sorted again.
  {
    TStageScope search(Observer, TSortStage::Search);
    if (platform::FileExists(input))
      archives_.push_back(input);
    else
      SearchFiles(input, "zip", host_.DeepSearch(), archives_, host_.OutputFolder());
  }
  // One archive reached twice (through a link) is handled once.
  {
    std::set<platform::TFileIdentity> seen;
    std::vector<std::string> unique;
    unique.reserve(archives_.size());
    for (auto& path : archives_) {
      platform::TFileIdentity id;
      if (platform::GetFileIdentity(path, id) && !seen.insert(id).second) continue;
      unique.push_back(std::move(path));
    }
    archives_ = std::move(unique);
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

  if (Jobs > 1 && N > 1) {
    TParallelSort(*this, std::min(Jobs, N)).Run();
    Stopped = stop_;
    return;
  }
  for (int i = 0; i < N; ++i) {
    if (PollStop()) break;
    SortArchive(i, N, archives_[static_cast<size_t>(i)]);
    if (stop_) break;
    ++Done;
    host_.StepProgress();
    host_.ProcessMessages();
  }
  Stopped = stop_;
}

void TSortRun::SortArchive(int index, int count, const std::string& path) {
  host_.ArchiveStarted(index, count, path);
  archive_unreadable_ = false;
  // What goes wrong with one archive is that archive's: the run goes on.
  try {
    ProcessArchive(path);
  } catch (const std::bad_alloc&) {
    ArchiveUnreadable(path, "недостаточно памяти");
  } catch (const std::system_error& e) {
    ArchiveUnreadable(path, platform::ErrorReason(e.code()));
  } catch (const common::EStreamError& e) {
    ArchiveUnreadable(path, e.what());
  }
}

std::map<std::string, std::string>& TSortRun::Placed() { return parallel_ ? parallel_->Placed() : placed_; }

bool TSortRun::PollStop() {
  if (!stop_ && host_.StopRequested()) stop_ = true;
  return stop_;
}

void TSortRun::ArchiveUnreadable(const std::string& path, const std::string& message) {
  if (!archive_unreadable_) ++UnreadableCount;
  archive_unreadable_ = true;
  host_.ArchiveFailed(path, message);
}

std::string TSortRun::SummaryText() const { return Summary(N, false); }

// The archives handled: all that were found, unless the run was stopped.
std::string TSortRun::FullSummaryText() const { return Summary(Done, true); }

std::string TSortRun::Summary(int handled, bool full) const {
  std::string text = common::Format("Обработано файлов: %d\r\n", handled);
  if (KptCount > 0) text += common::Format("Из них файлов КПТ: %d\r\n", KptCount);
  if (KvzuCount > 0) text += common::Format("Из них файлов КВЗУ: %d\r\n", KvzuCount);
  if (full) {
    if (UnreadableCount > 0) text += common::Format("Не удалось прочитать архивов: %d\r\n", UnreadableCount);
    if (UnrecognisedCount > 0) text += common::Format("Не распознано документов: %d\r\n", UnrecognisedCount);
    if (UnsupportedCount > 0) text += common::Format("Документов неподдерживаемых версий: %d\r\n", UnsupportedCount);
  }
  if (FailedCount > 0) text += common::Format("Не удалось разместить файлов: %d\r\n", FailedCount);
  if (ConflictCount > 0) text += common::Format("Конфликтов размещения: %d\r\n", ConflictCount);
  return common::Trim(text);
}

std::string TSortRun::EngineFolder() const {
  return EngineDirectory.empty() ? platform::ExecutableDirectory() : EngineDirectory;
}

void TSortRun::ProcessArchive(const std::string& path) {
  TFrame frame;
  frame.file = path;
  frame.name = path;
  frame.placed_name = platform::FromPath(platform::ToPath(path).filename());
  ProcessFrame(frame);
  if (parallel_) parallel_->PlacingDone(archive_index_, stop_);
}

void TSortRun::OpenComponent(zip::TZipArchive& archive, const TFrame& frame) {
  archive.SetActive(true);
  archive.SetEngineDirectory(EngineFolder());
  archive.SetUnattended(Unattended);
  last_message_.clear();
  // Set before the archive is named: opening it is the first thing that can fail.
  archive.OnMessage = [this, &frame](int code, const std::string& text) {
    // The cancel that follows a stop is the run's own doing, not the archive's.
    if (stop_ && code == zip::ZE_Canceled) return;
    if (code != 0) last_message_ = text;
    if (held_messages_)
      held_messages_->push_back({frame.name, code, text});
    else
      host_.ArchiveMessage(frame.name, code, text);
  };
  // The component's cancellation poll and its progress both ask the host, so a
  // stop ends a long extraction within a block.
  auto poll = [this, &archive] {
    if (PollStop() && archive.Cancel() == 0) archive.SetCancel(zip::ZE_Canceled);
  };
  archive.OnTick = poll;
  archive.OnProgress = [poll](const zip::TZipProgressDetails&) { poll(); };
  archive.SetZipFileName(frame.file);
}

namespace {

// Puts the place's value back at the end of the scope.
template <typename T>
struct TRestore {
  T& place;
  T saved;
  ~TRestore() { place = saved; }
};

// The file-name part of an entry name, whichever delimiter the archive used.
std::string EntryFileName(const std::string& entry) {
  const size_t level = entry.find_last_of("/\\");
  return level == std::string::npos ? entry : entry.substr(level + 1);
}

bool EndsWithSig(const std::string& name) {
  return name.size() > 4 &&
         platform::SameText(std::string_view(name).substr(name.size() - 4), std::string_view(".sig"));
}

// An entry's file name as a name to copy an inner archive under: one name of
// the target folder, with nothing Windows refuses in it.
std::string PlacedName(const std::string& entry) {
  std::string name = EntryFileName(entry);
  for (char& c : name)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"|?*").find(c) != std::string_view::npos) c = '_';
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  return name.empty() ? std::string("_.zip") : name;
}

// The names of the files placing the archive may make: its entries' last
// levels, or its own name when it is copied.
std::vector<std::string> PlacedNames(const std::vector<std::string>& entries, const std::string& copy_name,
                                     bool unpack) {
  if (!unpack) return {copy_name};
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (const std::string& entry : entries) names.push_back(EntryFileName(entry));
  return names;
}

}  // namespace

void TSortRun::ProcessFrame(TFrame& frame) {
  TRestore<TFrame*> current{frame_, frame_};
  frame_ = &frame;

  TStageScope open(Observer, TSortStage::Open);
  zip::TZipArchive archive;
  OpenComponent(archive, frame);
  open.End();
  if (archive.ErrCode() != 0 && archive.EntryCount() == 0) ArchiveUnreadable(frame.name, archive.ErrMsg());

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
  std::vector<std::string> names;
  names.reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) {
    const auto* entry = archive.Entry(i);
    if (entry) names.push_back(entry->FileName());
  }
  // Archives inside it place files of names not known before they are opened:
  // their names count once the archive is done.
  if (parallel_ && !DryRun && frame.level == 0 && std::none_of(names.begin(), names.end(), IsZipFileName))
    parallel_->Listed(archive_index_, PlacedNames(names, frame.placed_name, host_.Unpack()));
  // An archive inside another that holds signatures only waits for the
  // documents of its siblings.
  if (frame.level > 0 && !names.empty() && std::all_of(names.begin(), names.end(), EndsWithSig)) {
    for (const std::string& name : names) {
      const std::string file = EntryFileName(name);
      frame.signed_names.push_back(file.substr(0, file.size() - 4));
    }
    frame.signature_entry = names.front();
    return;
  }

  for (const std::string& name : names) {
    if (stop_) break;
    if (IsZipFileName(name)) {
      if (frame.level < kInnerArchiveLevels) ProcessInnerArchive(archive, name, frame);
      continue;
    }
    if (!IsXmlFileName(name)) continue;
    common::TStream* stream;
    {
      TStageScope extract(Observer, TSortStage::Extract);
      stream = archive.ExtractToMemory(name);
    }
    if (stop_) break;
    ProcessXmlStream(archive, name, stream);
  }
  if (!stop_) PlaceSignatures(frame, archive);
}

std::unique_ptr<TSortRun::TInnerFile> TSortRun::SaveInnerArchive(zip::TZipArchive& archive, const std::string& entry,
                                                                 const std::string& name) {
  common::TMemoryStream* stream;
  {
    // Read whole into memory under the limits of any extraction.
    TStageScope extract(Observer, TSortStage::Extract);
    stream = archive.ExtractToMemory(entry);
  }
  if (stop_) return nullptr;
  if (!stream) {
    ArchiveUnreadable(name, archive.ErrMsg().empty() ? last_message_ : archive.ErrMsg());
    return nullptr;
  }
  // The component reads archives from files: the inner one gets a file of the
  // run's own.
  if (!inner_folder_) {
    auto folder = std::make_unique<TInnerFolder>();
    std::error_code error;
    const std::string temporary = platform::FromPath(fs::temp_directory_path(error));
    for (int attempt = 0; !error && attempt < 100 && folder->path.empty(); ++attempt) {
      const std::string candidate = platform::TemporaryName(temporary, platform::kStagingFolderExtension);
      if (fs::create_directory(platform::ToPath(candidate), error)) folder->path = candidate;
    }
    if (folder->path.empty()) {
      ArchiveUnreadable(name, "папка для вложенных архивов не создана: " +
                                  platform::ErrorReason(error ? error : std::make_error_code(std::errc::file_exists)));
      return nullptr;
    }
    inner_folder_ = std::move(folder);
  }
  auto file = std::make_unique<TInnerFile>();
  file->path =
      platform::IncludeTrailingDelimiter(inner_folder_->path) + std::to_string(++inner_folder_->files) + ".zip";
  try {
    stream->SaveToFile(file->path);
  } catch (const common::EStreamError& e) {
    ArchiveUnreadable(name, e.what());
    return nullptr;
  }
  return file;
}

void TSortRun::ProcessInnerArchive(zip::TZipArchive& archive, const std::string& entry, TFrame& parent) {
  TFrame frame;
  frame.name = parent.name + kInnerArchiveMark + entry;
  const std::unique_ptr<TInnerFile> file = SaveInnerArchive(archive, entry, frame.name);
  if (!file) return;
  frame.file = file->path;
  frame.placed_name = PlacedName(entry);
  frame.level = parent.level + 1;
  frame.parent = &parent;
  ProcessFrame(frame);
  if (!frame.signed_names.empty())
    parent.signatures.push_back({entry, std::move(frame.signed_names), std::move(frame.signature_entry)});
}

void TSortRun::PlaceSignatures(TFrame& frame, zip::TZipArchive& archive) {
  for (const TFrame::TSignatures& signatures : frame.signatures) {
    if (stop_) return;
    const TDocumentRecord* document = nullptr;
    for (const auto& [name, record] : frame.inner_documents)
      for (const std::string& signed_name : signatures.signed_names)
        if (!document && IsPlaced(record.action) && platform::SameText(name, signed_name)) document = &record;
    // A signature whose document was not placed is left as it is.
    if (!document) continue;
    TFrame signature;
    signature.name = frame.name + kInnerArchiveMark + signatures.entry;
    signature.placed_name = PlacedName(signatures.entry);
    signature.level = frame.level + 1;
    signature.parent = &frame;
    TDocumentRecord record = *document;
    record.archive = signature.name;
    record.entry = signatures.signature_entry;
    record.reason.clear();
    TRestore<TFrame*> current{frame_, frame_};
    frame_ = &signature;
    if (DryRun) {
      record.action = TDocumentAction::WouldPlace;
    } else {
      // Extracted again: what waits for its document holds no file meanwhile.
      const std::unique_ptr<TInnerFile> file = SaveInnerArchive(archive, signatures.entry, signature.name);
      if (!file) continue;
      signature.file = file->path;
      TStageScope place(Observer, TSortStage::Place);
      zip::TZipArchive component;
      OpenComponent(component, signature);
      struct EngineGuard {
        zip::TZipArchive& archive;
        ~EngineGuard() { archive.SetEngineLoad(false); }
      } guard{component};
      component.SetEngineLoad(true);
      // Its document's folder, placed by this archive already, holds it.
      PlaceDocument(component, record, record.target_folder);
    }
    host_.DocumentHandled(record);
  }
}

bool TSortRun::IsZipFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  if (extension.find_first_of("\\/:") != std::string_view::npos) return false;
  return platform::SameText(extension, std::string_view(".zip"));
}

bool TSortRun::IsXmlFileName(const std::string& name) {
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view extension = std::string_view(name).substr(dot);
  if (extension.find_first_of("\\/:") != std::string_view::npos) return false;
  return platform::SameText(extension, std::string_view(".xml"));
}

namespace {

TDocumentRecord NewRecord(const std::string& archive, const std::string& entry) {
  TDocumentRecord record;
  record.archive = archive;
  record.entry = entry;
  record.version = cadastral::kUnknownVersion;
  return record;
}

}  // namespace

void TSortRun::ProcessXmlStream(zip::TZipArchive& archive, const std::string& entry, common::TStream* stream) {
  if (!stream) {
    TDocumentRecord record = NewRecord(frame_->name, entry);
    record.action = TDocumentAction::NotExtracted;
    record.reason = archive.ErrMsg().empty() ? entry : entry + ": " + archive.ErrMsg();
    if (!archive_unreadable_) ++UnreadableCount;
    archive_unreadable_ = true;
    host_.DocumentHandled(record);
    return;
  }
  cadastral::TOstrevanFileKind kind;
  std::string unsupported_as;
  {
    TStageScope recognise(Observer, TSortStage::Recognise);
    kind = GetDocumentKind(*stream, &unsupported_as);
  }
  switch (kind) {
    case cadastral::fkKPT:
      ProcessKptDocument(archive, entry, *stream);
      break;
    case cadastral::fkKvzu:
      ProcessKvzuDocument(archive, entry, *stream);
      break;
    default: {
      TDocumentRecord record = NewRecord(frame_->name, entry);
      if (unsupported_as.empty()) {
        record.action = TDocumentAction::NotRegistry;
        ++UnrecognisedCount;
      } else {
        // A document of the registry all the same: say what it is.
        record.action = TDocumentAction::Unsupported;
        record.reason = unsupported_as;
        ++UnsupportedCount;
      }
      host_.DocumentHandled(record);
      break;
    }
  }
}

cadastral::TOstrevanFileKind TSortRun::GetDocumentKind(common::TStream& stream, std::string* unsupported_as) {
  auto file = TRef<cadastral::TOstrevanFile>::Create();
  file->LoadFromStream(stream);
  if (unsupported_as) *unsupported_as = file->Unsupported() ? file->FoundAs() : std::string();
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
  TDocumentRecord record = NewRecord(frame_->name, entry);
  record.kind = kind;
  TStageScope read(Observer, TSortStage::Read);
  const TRef<Values> values = read_info(stream, &record.version);
  read.End();
  if (!values) {
    ++UnrecognisedCount;
    host_.DocumentHandled(record);
    return;
  }
  record.cadastral_number = values->CadastralNumber;
  record.coord_system = values->CoordSystemName;
  record.certification_number = values->CertificationDocNumber;
  record.certification_date = values->CertificationDocDate;
  if constexpr (std::is_same_v<Values, cadastral::TKvzuFileInfoData>) record.registration_date = values->DateCreated;
  if (common::Trim(values->CadastralNumber).empty()) {
    // A cut or damaged document is recognised by its stylesheet instruction
    // alone; without its number it has no place.
    record.action = TDocumentAction::NotRead;
    record.reason = entry + ": кадастровый номер не прочитан";
    ++FailedCount;
    host_.DocumentHandled(record);
    return;
  }
  {
    TStageScope place(Observer, TSortStage::Place);
    record.target_folder = target_folder(*values, true);
    // The output folder as this document's values make it: its text may hold
    // placeholders too.
    const std::string output = target_folder(*values, false);
    if (!LiesInside(record.target_folder, output)) {
      record.action = TDocumentAction::OutsideOutput;
      record.reason = "папка " + record.target_folder + " лежит вне выходной папки " + output;
      ++FailedCount;
    } else if (DryRun) {
      record.action = TDocumentAction::WouldPlace;
    } else {
      PlaceDocument(archive, record, output);
    }
  }
  if (IsPlaced(record.action)) ++count;
  // Its signature may come in an archive of its own beside this one.
  if (frame_->parent) frame_->parent->inner_documents.emplace_back(EntryFileName(entry), record);
  host_.DocumentHandled(record);
}

void TSortRun::ProcessKptDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream) {
  ProcessDocument<cadastral::TKPTFileInfoData>(archive, entry, stream, cadastral::fkKPT, &ReadKptInfo, KptCount,
                                               [this](const cadastral::TKPTFileInfoData& values, bool with_rule) {
                                                 return GetKptTargetFolder(values, host_.OutputFolder(),
                                                                           with_rule ? host_.KptRule() : std::string());
                                               });
}

void TSortRun::ProcessKvzuDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream) {
  ProcessDocument<cadastral::TKvzuFileInfoData>(
      archive, entry, stream, cadastral::fkKvzu, &ReadKvzuInfo, KvzuCount,
      [this](const cadastral::TKvzuFileInfoData& values, bool with_rule) {
        return GetKvzuTargetFolder(values, host_.OutputFolder(), with_rule ? host_.KvzuRule() : std::string());
      });
}

namespace {

// The name with " (n)" before the first full stop of its last level (a leading
// one does not count), or at its end when it has none; n = 1: the name itself.
std::string Numbered(const std::string& relative, int n) {
  if (n <= 1) return relative;
  const size_t level = relative.find_last_of(platform::kPathDelimiter == '/' ? "/" : "\\/");
  const size_t name_start = level == std::string::npos ? 0 : level + 1;
  const size_t dot = relative.find('.', name_start + 1);
  const std::string mark = common::Format(" (%d)", n);
  std::string result = relative;
  result.insert(dot == std::string::npos ? result.size() : dot, mark);
  return result;
}

// The key a placed file is known by: its normalised path, and on Windows,
// whose names ignore case, upper-cased.
std::string PlacedKey(const std::string& path) {
  const std::string normal = platform::FromPath(platform::ToPath(path).lexically_normal());
#ifdef _WIN32
  return platform::UpperCase(std::string_view(normal));
#else
  return normal;
#endif
}

std::string FileNameOf(const std::string& path) { return platform::FromPath(platform::ToPath(path).filename()); }

}  // namespace

// The files of one document's placement: their names relative to the target
// folder and where each one's bytes stand now.
struct TSortRun::TPlacement {
  std::string folder;   // the target folder, ending with the delimiter
  std::string archive;  // the archive they come from
  std::vector<std::string> files;
  std::vector<std::string> sources;  // staged files, or the archive itself (copy)
  // Folders stored in the archive, kept also when empty.
  std::vector<std::string> folders;
  bool copy = false;
  // A staging folder, or a copy made ahead under a temporary name (a worker's),
  // with what making it gave; whichever it is goes on every way out.
  std::string staging;
  std::string staged_copy;
  std::error_code copy_error;

  TPlacement() = default;
  TPlacement(const TPlacement&) = delete;
  TPlacement& operator=(const TPlacement&) = delete;
  ~TPlacement() {
    if (staging.empty()) return;
    std::error_code ec;
    fs::remove_all(platform::ToPath(staging), ec);
  }
};

void TSortRun::PlaceDocument(zip::TZipArchive& archive, TDocumentRecord& record, const std::string& output) {
  if (parallel_) {
    PlaceInTurn(archive, record, output);
    return;
  }
  const std::string& folder = record.target_folder;
  if (stop_) {
    record.action = TDocumentAction::Interrupted;
    return;
  }
  if (!MakeTargetFolder(record)) return;
  RemoveStaleTemporariesOnce(folder);
  if (host_.Unpack())
    UnpackDocument(archive, record);
  else
    CopyDocument(frame_->file, frame_->placed_name, record);
  if (record.action == TDocumentAction::PlacementFailed || record.action == TDocumentAction::Kept) ++FailedCount;
}

void TSortRun::RemoveStaleTemporariesOnce(const std::string& folder) {
  // The folder's key without a closing delimiter, so that "a/b/" and "a/b" are one.
  fs::path path = platform::ToPath(folder);
  if (!path.has_filename()) path = path.parent_path();
  const std::string key = PlacedKey(platform::FromPath(path));
  if (parallel_ ? parallel_->FirstCleaning(key) : cleaned_.insert(key).second) platform::RemoveStaleTemporaries(folder);
}

bool TSortRun::MakeTargetFolder(TDocumentRecord& record) {
  const std::error_code error = platform::CreateFolders(record.target_folder);
  if (!error) return true;
  record.action = TDocumentAction::PlacementFailed;
  record.reason = "папка не создана: " + platform::ErrorReason(error);
  ++FailedCount;
  return false;
}

void TSortRun::UnpackDocument(zip::TZipArchive& archive, TDocumentRecord& record) {
  // Beside the files it will replace, so moving them into place is a rename on
  // one file system, and nothing of an archive that fails halfway is seen.
  TPlacement placement;
  if (StageUnpack(archive, record.target_folder, placement, record)) Settle(placement, record);
}

bool TSortRun::StageUnpack(zip::TZipArchive& archive, const std::string& parent, TPlacement& placement,
                           TDocumentRecord& record) {
  std::error_code error;
  for (int attempt = 0; attempt < 100 && placement.staging.empty(); ++attempt) {
    const std::string candidate = platform::TemporaryName(parent, platform::kStagingFolderExtension);
    if (fs::create_directory(platform::ToPath(candidate), error)) placement.staging = candidate;
    if (error) break;
  }
  if (placement.staging.empty()) {
    record.action = TDocumentAction::PlacementFailed;
    record.reason = "папка для распаковки не создана: " +
                    platform::ErrorReason(error ? error : std::make_error_code(std::errc::file_exists));
    return false;
  }

  // Entries the engine refuses for safety (paths that leave the folder, links)
  // are left out and reported; any other entry that does not come out whole
  // fails the archive.
  std::string failure;
  archive.OnSkipped = [&failure, this](const std::string& for_file, zip::TZipSkipTypes type, int&) {
    if (type == zip::stUnsafePath || type == zip::stLink || !failure.empty()) return;
    failure = last_message_.find(for_file) != std::string::npos ? last_message_ : for_file;
  };
  archive.SetNoSkipping(~((1u << zip::stUnsafePath) | (1u << zip::stLink)));
  last_message_.clear();
  const int result = UnpackArchive(archive, placement.staging);
  // The staging folder goes: later extractions into memory must not look for it.
  archive.SetExtrBaseDir({});
  archive.OnSkipped = nullptr;
  archive.SetNoSkipping(0);
  if (stop_) {
    record.action = TDocumentAction::Interrupted;
    return false;
  }
  // An error the engine only reported in a message (a refused entry) leaves
  // its code with the message mark; a failed extraction records its own.
  const bool failed = result != 0 && archive.ExtErrCode() >= 0;
  if (failed || !failure.empty()) {
    record.action = TDocumentAction::PlacementFailed;
    if (failure.empty()) failure = archive.ErrMsg().empty() ? last_message_ : archive.ErrMsg();
    record.reason = failure.empty() ? std::string("архив не распакован") : failure;
    return false;
  }

  placement.folder = platform::IncludeTrailingDelimiter(record.target_folder);
  placement.archive = record.archive;
  const fs::path root = platform::ToPath(placement.staging);
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    const fs::path relative = it->path().lexically_relative(root);
    std::error_code ec;
    if (it->is_directory(ec)) {
      placement.folders.push_back(platform::FromPath(relative));
      continue;
    }
    placement.files.push_back(platform::FromPath(relative));
    placement.sources.push_back(platform::FromPath(it->path()));
  }
  if (error) {
    record.action = TDocumentAction::PlacementFailed;
    record.reason = "распакованные файлы не прочитаны: " + platform::ErrorReason(error);
    return false;
  }
  return true;
}

void TSortRun::CopyPlacement(const std::string& file, const std::string& name, const TDocumentRecord& record,
                             TPlacement& placement) {
  placement.folder = platform::IncludeTrailingDelimiter(record.target_folder);
  placement.archive = record.archive;
  placement.files = {name};
  placement.sources = {file};
  placement.copy = true;
}

void TSortRun::CopyDocument(const std::string& file, const std::string& name, TDocumentRecord& record) {
  TPlacement placement;
  CopyPlacement(file, name, record, placement);
  SettleCopy(placement, record);
}

void TSortRun::SettleCopy(TPlacement& placement, TDocumentRecord& record) {
  // The archive already is the copy (the output folder was searched as input).
  platform::TFileIdentity source, target;
  if (platform::GetFileIdentity(placement.sources[0], source) &&
      platform::GetFileIdentity(placement.folder + placement.files[0], target) && source == target) {
    record.action = TDocumentAction::Identical;
    return;
  }
  Settle(placement, record);
}

void TSortRun::PlaceInTurn(zip::TZipArchive& archive, TDocumentRecord& record, const std::string& output) {
  const std::string& folder = record.target_folder;
  if (stop_) {
    record.action = TDocumentAction::Interrupted;
    return;
  }
  // The costly part, beside the other workers. What the component says meanwhile
  // is told when it would have been said by one job: after the folder is made.
  const std::string parent = parallel_->PrepareFolders(archive_index_, folder, output);
  RemoveStaleTemporariesOnce(parent);
  TPlacement placement;
  std::vector<THeldMessage> messages;
  held_messages_ = &messages;
  bool staged;
  if (host_.Unpack()) {
    staged = StageUnpack(archive, parent, placement, record);
  } else {
    CopyPlacement(frame_->file, frame_->placed_name, record, placement);
    const std::string copy = platform::TemporaryName(parent, platform::kTemporaryFileExtension);
    placement.copy_error = platform::CopyFileWhole(placement.sources[0], copy, [this] { return PollStop(); });
    if (!placement.copy_error) placement.staging = placement.staged_copy = copy;
    staged = !stop_;
  }
  held_messages_ = nullptr;
  if (stop_) {
    record.action = TDocumentAction::Interrupted;
    return;
  }
  // Made ahead or not, the folder has nothing stale in it once this is done: a
  // folder made by this run has nothing of a run that died.
  RemoveStaleTemporariesOnce(folder);

  // The rest in the order of the search, as one job does it.
  if (!parallel_->WaitTurn(archive_index_)) {
    stop_ = true;
    record.action = TDocumentAction::Interrupted;
    return;
  }
  if (!MakeTargetFolder(record)) return;
  for (const THeldMessage& message : messages) host_.ArchiveMessage(message.archive, message.code, message.text);
  if (staged) {
    if (placement.copy)
      SettleCopy(placement, record);
    else
      Settle(placement, record);
  }
  if (record.action == TDocumentAction::PlacementFailed || record.action == TDocumentAction::Kept) ++FailedCount;
  // What is left of the staging goes once the next archive may take its turn.
  leftovers_.push_back(std::move(placement.staging));
  placement.staging.clear();
}

void TSortRun::RemoveLeftovers() {
  for (const std::string& path : leftovers_) {
    std::error_code ec;
    if (!path.empty()) fs::remove_all(platform::ToPath(path), ec);
  }
  leftovers_.clear();
}

void TSortRun::Settle(TPlacement& placement, TDocumentRecord& record) {
  const size_t count = placement.files.size();
  // How the files would meet those this run placed from other archives under
  // the names numbered n: same[i] when file i finds its own bytes there.
  std::vector<bool> same(count);
  std::string met;  // the first file in the way and its archive
  auto differs = [&](int n) {
    bool differing = false;
    for (size_t i = 0; i < count; ++i) {
      same[i] = false;
      const std::string target = placement.folder + Numbered(placement.files[i], n);
      const auto hit = Placed().find(PlacedKey(target));
      if (hit == Placed().end() || hit->second == placement.archive || !platform::FileExists(target)) continue;
      std::error_code error;
      same[i] = platform::SameContent(placement.sources[i], target, error);
      if (!same[i] && !differing) {
        differing = true;
        if (met.empty()) met = FileNameOf(target) + " из " + hit->second;
      }
    }
    return differing;
  };

  int n = 1;
  const bool conflict = differs(1);
  if (conflict && OnConflict == TConflictPolicy::Rename) {
    do ++n;
    while (differs(n));
  }
  if (count > 0 && std::find(same.begin(), same.end(), false) == same.end()) {
    // Every file already stands there with these bytes: the same archive twice.
    record.action = TDocumentAction::Identical;
    return;
  }
  TDocumentAction placed = placement.copy ? TDocumentAction::Copied : TDocumentAction::Unpacked;
  if (conflict) {
    ++ConflictCount;
    record.reason = "в этом запуске здесь уже размещён файл " + met;
    if (OnConflict == TConflictPolicy::Keep) {
      record.action = TDocumentAction::Kept;
      return;
    }
    placed = OnConflict == TConflictPolicy::Replace ? TDocumentAction::Replaced : TDocumentAction::Renamed;
  }

  // Nothing is moved until every target is known to take a file: its folder
  // is there (making folders replaces nothing) and no folder has its name.
  for (size_t i = 0; i < count; ++i) {
    if (same[i]) continue;
    const std::string name = Numbered(placement.files[i], n);
    const std::string target = placement.folder + name;
    std::error_code error = platform::CreateFolders(platform::FromPath(platform::ToPath(target).parent_path()));
    if (!error && fs::is_directory(fs::symlink_status(platform::ToPath(target), error)))
      error = std::make_error_code(std::errc::is_a_directory);
    if (error && error != std::errc::no_such_file_or_directory) {
      record.action = TDocumentAction::PlacementFailed;
      record.reason = name + ": " + platform::ErrorReason(error);
      return;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    if (same[i]) continue;
    const std::string name = Numbered(placement.files[i], n);
    const std::string target = placement.folder + name;
    std::error_code error;
    if (!placement.copy)
      error = platform::RenameReplace(placement.sources[i], target);
    else if (placement.copy_error)
      error = placement.copy_error;
    else if (!placement.staged_copy.empty())
      error = platform::RenameReplace(placement.staged_copy, target);
    else
      error = platform::CopyFileWhole(placement.sources[i], target, [this] { return PollStop(); });
    if (error == std::errc::operation_canceled && stop_) {
      record.action = TDocumentAction::Interrupted;
      return;
    }
    if (error) {
      record.action = TDocumentAction::PlacementFailed;
      record.reason = name + ": " + platform::ErrorReason(error);
      return;
    }
    Placed()[PlacedKey(target)] = placement.archive;
  }
  for (const std::string& folder : placement.folders) platform::CreateFolders(placement.folder + folder);
  if (n > 1) record.reason += "; размещён как " + FileNameOf(Numbered(placement.files.front(), n));
  record.action = placed;
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
