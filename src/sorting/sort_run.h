#pragma once
// The Sort command from start to end: find the archives, recognise and read every
// XML document in them, and file each archive under the folder its rule gives.
// Archives inside an archive (two levels deep at most) are opened in turn, and
// each is filed with its own documents.

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cadastral/file_info_data.h"
#include "cadastral/ref_object.h"

namespace common {
class TStream;
}
namespace zip {
class TZipArchive;
}

namespace sorting {

class TParallelSort;

inline constexpr const char* kSummaryCaption = "Сортировка завершена";

// What the run does when a document would replace files that this same run
// placed from another archive (across runs, placing always replaces).
enum class TConflictPolicy {
  Replace,  // the later archive's files replace the earlier ones
  Keep,     // the earlier files stay; the later document is not placed
  Rename    // the later archive's files get " (2)", " (3)" ... before the first
            // full stop of each name, so doc.xml and doc.xml.sig stay a pair
};

// What became of one XML document.
enum class TDocumentAction {
  Unpacked,         // the archive was unpacked into the target folder
  Copied,           // the archive file was copied into it
  WouldPlace,       // dry run: recognised and read, nothing created
  NotExtracted,     // the entry could not be extracted
  NotRegistry,      // not a document of the registry
  Unsupported,      // a registry document of a kind or version the program does not read
  NotRead,          // recognised, but no cadastral number could be read from it
  OutsideOutput,    // its target folder does not lie inside the output folder
  PlacementFailed,  // the folder, the copy or the unpacking failed; nothing changed
  Renamed,          // placed under " (2)" names beside another archive's files
  Replaced,         // placed over files another archive of this run placed
  Kept,             // not placed: another archive of this run holds the place
  Identical,        // the same bytes stand there from this run already: left so
  Interrupted       // the run was stopped while it was placed; nothing of it stays
};

// The report's word for the action, in Russian.
const char* ActionName(TDocumentAction action);
// True for the actions after which the document stands in its target folder
// (or, in a dry run, would).
bool IsPlaced(TDocumentAction action);

struct TDocumentRecord {
  // Full path of the archive; for an archive inside it, the path, " › " and
  // the inner archive's entry name ("outer.zip › inner.zip").
  std::string archive;
  std::string entry;  // name of the XML entry in the archive
  cadastral::TOstrevanFileKind kind = cadastral::fkUnknown;
  // "05" ... "10" or the name of a format without a stylesheet, "-1" when not
  // recognised.
  std::string version;
  std::string cadastral_number;
  std::string coord_system;
  std::string certification_number;
  std::string certification_date;
  std::string registration_date;  // land plots only
  std::string target_folder;      // empty when nothing was placed
  TDocumentAction action = TDocumentAction::NotRegistry;
  // Why it was not placed (naming the entry and the system's reason where
  // there is one), or with whom it met in conflict; for an unsupported
  // document, what it is ("KPT 12").
  std::string reason;
};

// The window, the command line and the tests stand behind this interface.
class TSortHost {
 public:
  virtual ~TSortHost();

  virtual std::string InputFolder() = 0;
  virtual std::string OutputFolder() = 0;
  // Read once, when the search starts.
  virtual bool DeepSearch() = 0;
  // These three are read again for every document that is placed.
  virtual bool Unpack() = 0;
  virtual std::string KptRule() = 0;
  virtual std::string KvzuRule() = 0;

  virtual void SetProgressMax(int maximum) = 0;
  virtual void StepProgress() = 0;
  virtual void ResetProgress() = 0;
  // Lets the window repaint and answer input between archives.
  virtual void ProcessMessages() = 0;
  virtual void ShowSummary(const std::string& text, const std::string& caption) = 0;
  // The application's error report, for an error that ends the run.
  virtual void ReportError(const std::string& message) = 0;
  // Asked before each archive and, while an archive is extracted, unpacked or
  // copied, between its blocks: true ends the run there (the window is closing,
  // the user interrupted). The document under way is not placed and nothing
  // temporary stays behind. False by default.
  virtual bool StopRequested();

  // Observation; nothing by default.
  virtual void ArchiveStarted(int index, int count, const std::string& path);
  // The archive could not be read (opened, listed, an entry extracted) or an
  // error such as a lack of memory broke off its handling; the run goes on.
  virtual void ArchiveFailed(const std::string& path, const std::string& message);
  virtual void DocumentHandled(const TDocumentRecord& record);
  // A message of the archive component that works on archive: its errors (code
  // not 0) and its notes (code 0). The window shows the errors in the
  // component's own dialog unless the run is unattended; nothing by default.
  virtual void ArchiveMessage(const std::string& archive, int code, const std::string& text);
};

// The parts of a run that an observer can time; Search once per run, the
// others per archive or per document.
enum class TSortStage {
  Search,     // the list of archives
  Open,       // the component made and the archive's directory read
  Engine,     // the engine library taken and given back
  Extract,    // an XML entry into memory
  Recognise,  // kind and version
  Read,       // the values of the document
  Place       // target folder, then creating, copying or unpacking
};
inline constexpr int kSortStageCount = 7;

// Told where each stage starts and ends (stages do not nest). For measuring:
// a run without one pays a null test per stage.
class TSortObserver {
 public:
  virtual ~TSortObserver();
  virtual void StageStarted(TSortStage stage) = 0;
  virtual void StageEnded(TSortStage stage) = 0;
};

class TSortRun {
 public:
  explicit TSortRun(TSortHost& host);
  ~TSortRun();
  TSortRun(const TSortRun&) = delete;
  TSortRun& operator=(const TSortRun&) = delete;

  // The Sort command; errors that end it go to the host's error report. The
  // input folder text may also name one archive file, which is sorted alone.
  void SortButtonClick();

  // Recognise and read, but create and copy nothing.
  bool DryRun = false;
  // No archive component of the run shows a dialog; their messages still reach
  // the host (ArchiveMessage). The command line runs unattended.
  bool Unattended = false;
  // Two archives of one run meeting in one place; the window replaces.
  TConflictPolicy OnConflict = TConflictPolicy::Replace;
  // Where the extraction engine is loaded from: the program's own folder.
  std::string EngineDirectory;
  // None by default; stays the caller's. Told of the stages of a run of one job only.
  TSortObserver* Observer = nullptr;
  // Archives handled at the same time, each on a thread of its own (the command
  // line's --jobs). The host still hears everything on the thread that started
  // the run and in the order of the search, its settings are read once at the
  // start, and the folders, files, records and counts are those of one job:
  // same-run conflicts are settled in the order of the search. The workers'
  // components show no dialog (as though Unattended). 1 (the window) handles the
  // archives one after the other on the calling thread.
  int Jobs = 1;

  // Counters of the last run, all set to 0 when a run starts. The kind counts
  // count the documents that were placed.
  int KptCount = 0;
  int KvzuCount = 0;
  // Archives that could not be read (not opened, vanished, out of memory...).
  int UnreadableCount = 0;
  // XML documents that are no registry document.
  int UnrecognisedCount = 0;
  // Documents of a known kind in a version the program does not read.
  int UnsupportedCount = 0;
  // Documents not placed: not read, target outside the output folder,
  // placement failed, kept on a conflict.
  int FailedCount = 0;
  // Documents that met files another archive of the run had placed, whatever
  // the policy then did.
  int ConflictCount = 0;
  // Archives of the last run, in the order of the search.
  int N = 0;
  // Archives the last run handled: N unless the host stopped it.
  int Done = 0;
  // The host asked the last run to stop before all archives were handled; such a
  // run shows no summary (the host decides what to say).
  bool Stopped = false;

  // The window's summary: archives handled, plans and extracts placed, then the
  // failed placements and the conflicts (each line only when above 0).
  std::string SummaryText() const;
  // Every line the command line shows: the window's first lines, then
  // unreadable archives, unrecognised documents, unsupported versions, failed
  // placements and conflicts (each only when above 0).
  std::string FullSummaryText() const;

  // True when the entry name ends in ".xml", ignoring case.
  static bool IsXmlFileName(const std::string& name);
  // True when the entry name ends in ".zip", ignoring case.
  static bool IsZipFileName(const std::string& name);

  // Levels of archives inside a found archive that are opened.
  static constexpr int kInnerArchiveLevels = 2;
  // Between an archive and one inside it, in the report.
  static constexpr const char* kInnerArchiveMark = " › ";

 private:
  friend class TParallelSort;
  struct TPlacement;
  struct TFrame;
  struct TInnerFolder;
  struct TInnerFile;
  void Run();
  // One archive of the list: started, handled, its own errors reported.
  void SortArchive(int index, int count, const std::string& path);
  std::string EngineFolder() const;
  // The summary's lines with handled archives; full: also those of the command line.
  std::string Summary(int handled, bool full) const;
  // Asks the host once it has not yet said stop; true from then on.
  bool PollStop();
  void ArchiveUnreadable(const std::string& path, const std::string& message);
  void ProcessArchive(const std::string& path);
  // The component set up for the frame's archive, which it opens.
  void OpenComponent(zip::TZipArchive& archive, const TFrame& frame);
  // Every document of the frame's archive and every archive inside it.
  void ProcessFrame(TFrame& frame);
  void ProcessInnerArchive(zip::TZipArchive& archive, const std::string& entry, TFrame& parent);
  // The entry, an archive, extracted and written to a file of the run's own;
  // null (the archive reported unreadable under name) when that fails.
  std::unique_ptr<TInnerFile> SaveInnerArchive(zip::TZipArchive& archive, const std::string& entry,
                                               const std::string& name);
  // The archives inside the frame's archive that hold only signatures, each
  // placed beside the document it signs.
  void PlaceSignatures(TFrame& frame, zip::TZipArchive& archive);
  void ProcessXmlStream(zip::TZipArchive& archive, const std::string& entry, common::TStream* stream);
  // The kind; for a registry document the program does not read, also what it
  // is, in unsupported_as.
  static cadastral::TOstrevanFileKind GetDocumentKind(common::TStream& stream, std::string* unsupported_as = nullptr);
  // The values of the document, or none when its version has no reader; the
  // version text it was recognised as goes to version when one is given.
  static cadastral::TRef<cadastral::TKPTFileInfoData> ReadKptInfo(common::TStream& stream,
                                                                  std::string* version = nullptr);
  static cadastral::TRef<cadastral::TKvzuFileInfoData> ReadKvzuInfo(common::TStream& stream,
                                                                    std::string* version = nullptr);
  void ProcessKptDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream);
  void ProcessKvzuDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream);
  // Reading, counting and placing are the same for both kinds; only the reader,
  // the counter and the rule differ. target_folder(values, true) is the
  // document's folder, target_folder(values, false) the output folder it must
  // lie in.
  template <typename Values, typename TargetFolder>
  void ProcessDocument(zip::TZipArchive& archive, const std::string& entry, common::TStream& stream,
                       cadastral::TOstrevanFileKind kind,
                       cadastral::TRef<Values> (*read_info)(common::TStream&, std::string*), int& count,
                       TargetFolder target_folder);
  // Creates the folder and copies or unpacks; the caller reports the record.
  // output: the output folder the target lies in.
  void PlaceDocument(zip::TZipArchive& archive, TDocumentRecord& record, const std::string& output);
  // Leftovers of a run that died while it placed into the folder, removed the
  // first time the run (any of its workers) places into it.
  void RemoveStaleTemporariesOnce(const std::string& folder);
  // Creates the record's folder; false (the record says why, counted) when it fails.
  bool MakeTargetFolder(TDocumentRecord& record);
  void UnpackDocument(zip::TZipArchive& archive, TDocumentRecord& record);
  // Copies the file under name into the record's folder.
  void CopyDocument(const std::string& file, const std::string& name, TDocumentRecord& record);
  // Unpacks the archive into a new staging folder in parent and lists what came
  // out; false (the record says why) when it failed or the run was stopped.
  bool StageUnpack(zip::TZipArchive& archive, const std::string& parent, TPlacement& placement,
                   TDocumentRecord& record);
  // The copy's placement: the file under name, the record's folder.
  static void CopyPlacement(const std::string& file, const std::string& name, const TDocumentRecord& record,
                            TPlacement& placement);
  void SettleCopy(TPlacement& placement, TDocumentRecord& record);
  // A worker's placement (Jobs > 1): unpacks or copies under a temporary name
  // beside the other workers, then creates the folder and settles the files
  // once every archive before this one is done.
  void PlaceInTurn(zip::TZipArchive& archive, TDocumentRecord& record, const std::string& output);
  // A worker's: removes the staging folders (emptied by placing) and copies
  // (left by a conflict) of its archive, once its turn is over.
  void RemoveLeftovers();
  // Puts the files of one placement into the target folder, settling a conflict
  // with the files this run placed from other archives there; sets the action.
  void Settle(TPlacement& placement, TDocumentRecord& record);
  // Extracts every entry into the folder; the component's error code (0: done).
  static int UnpackArchive(zip::TZipArchive& archive, const std::string& folder);

  // The run's record of placed files, or the one a worker shares with the others.
  std::map<std::string, std::string>& Placed();

  TSortHost& host_;
  std::vector<std::string> archives_;
  bool stop_ = false;
  // Every file this run placed (by its normalised path) and the archive it came from.
  std::map<std::string, std::string> placed_;
  // Target folders already rid of stale temporary files in this run.
  std::set<std::string> cleaned_;
  // Per archive: counted as unreadable already; the component's last message.
  bool archive_unreadable_ = false;
  std::string last_message_;
  // The archive being worked through, found or inside another.
  TFrame* frame_ = nullptr;
  // Where the archives inside archives are written for the component, made
  // when the first is met and removed with all it holds when the run ends.
  std::unique_ptr<TInnerFolder> inner_folder_;
  // A worker's: the driver it works for, the archive in hand, and the component's
  // messages held back until the archive's turn to place comes.
  struct THeldMessage {
    std::string archive;
    int code;
    std::string text;
  };
  TParallelSort* parallel_ = nullptr;
  int archive_index_ = 0;
  std::vector<THeldMessage>* held_messages_ = nullptr;
  std::vector<std::string> leftovers_;
};

}  // namespace sorting
