#include "sorting/parallel_sort.h"

#include <chrono>
#include <filesystem>
#include <iterator>
#include <system_error>
#include <utility>

#include "platform/file_system.h"
#include "platform/temporary_files.h"
#include "platform/text_compare.h"
#include "sorting/output_rules.h"

namespace sorting {

namespace {

// How often the run's thread asks its host whether to stop while it waits for
// the workers (an interrupt at the terminal is answered within this).
constexpr std::chrono::milliseconds kStopPoll{50};

// The counts a run adds up; a worker's run counts across its archives, and
// each archive's share is what it added.
constexpr int TSortRun::*kCounts[] = {
    &TSortRun::KptCount,         &TSortRun::KvzuCount,   &TSortRun::UnreadableCount, &TSortRun::UnrecognisedCount,
    &TSortRun::UnsupportedCount, &TSortRun::FailedCount, &TSortRun::ConflictCount,
};
constexpr size_t kCountCount = std::size(kCounts);

}  // namespace

// One thing a worker's host heard, to be told again.
struct TParallelSort::TEvent {
  enum class TKind { Started, Failed, Document, Message } kind;
  int number = 0;  // the archive's index (Started), the message's code (Message)
  std::string path;
  std::string text;
  TDocumentRecord record;
};

struct TParallelSort::TResult {
  std::vector<TEvent> events;
  int counts[kCountCount] = {};
  std::exception_ptr error;
  // Under mutex_. Its worker heard a stop before it had placed all: the archive
  // is not done. It is done with; it took its turn (so it may have changed the
  // output folder); it places nothing more; its file names are known.
  bool stopped = false;
  bool finished = false;
  bool took_turn = false;
  bool placing_done = false;
  bool listed = false;
  std::vector<std::string> names;
};

namespace {

// What a file name is compared by: without the " (2)" a conflict may add to
// it, and in upper case (Windows' names ignore case; elsewhere this only makes
// the comparison stricter than it need be).
std::string NameKey(const std::string& name) {
  std::string key;
  for (size_t i = 0; i < name.size(); ++i) {
    if (name[i] == ' ' && i + 1 < name.size() && name[i + 1] == '(') {
      size_t end = i + 2;
      while (end < name.size() && name[end] >= '0' && name[end] <= '9') ++end;
      if (end > i + 2 && end < name.size() && name[end] == ')') {
        i = end;
        continue;
      }
    }
    key += name[i];
  }
  return platform::UpperCase(std::string_view(key));
}

}  // namespace

// Answers a worker's run from the settings read at the start and keeps what
// the run tells it for the archive in hand.
class TParallelSort::TWorkerHost : public TSortHost {
 public:
  explicit TWorkerHost(TParallelSort& sort) : sort_(sort) {}
  void Begin(int index, std::vector<TEvent>* events) {
    index_ = index;
    events_ = events;
  }

  std::string InputFolder() override { return {}; }
  std::string OutputFolder() override { return sort_.output_; }
  bool DeepSearch() override { return false; }
  bool Unpack() override { return sort_.unpack_; }
  std::string KptRule() override { return sort_.kpt_rule_; }
  std::string KvzuRule() override { return sort_.kvzu_rule_; }
  void SetProgressMax(int) override {}
  void StepProgress() override {}
  void ResetProgress() override {}
  void ProcessMessages() override {}
  void ShowSummary(const std::string&, const std::string&) override {}
  void ReportError(const std::string&) override {}
  bool StopRequested() override { return sort_.StopRequested(index_); }

  void ArchiveStarted(int index, int, const std::string& path) override {
    events_->push_back({TEvent::TKind::Started, index, path, {}, {}});
  }
  void ArchiveFailed(const std::string& path, const std::string& message) override {
    events_->push_back({TEvent::TKind::Failed, 0, path, message, {}});
  }
  void DocumentHandled(const TDocumentRecord& record) override {
    events_->push_back({TEvent::TKind::Document, 0, {}, {}, record});
  }
  void ArchiveMessage(const std::string& archive, int code, const std::string& text) override {
    events_->push_back({TEvent::TKind::Message, code, archive, text, {}});
  }

 private:
  TParallelSort& sort_;
  int index_ = 0;
  std::vector<TEvent>* events_ = nullptr;
};

TParallelSort::TParallelSort(TSortRun& run, int jobs)
    : run_(run),
      host_(run.host_),
      jobs_(jobs),
      count_(run.N),
      results_(static_cast<size_t>(run.N)),
      abort_from_(run.N) {}

TParallelSort::~TParallelSort() { StopAndJoin(); }

bool TParallelSort::StopRequested(int index) const { return stop_.load() || index > abort_from_.load(); }

std::map<std::string, std::string>& TParallelSort::Placed() { return run_.placed_; }

bool TParallelSort::FirstCleaning(const std::string& key) {
  std::lock_guard<std::mutex> lock(mutex_);
  return cleaned_.insert(key).second;
}

void TParallelSort::Listed(int index, const std::vector<std::string>& names) {
  std::vector<std::string> keys;
  keys.reserve(names.size());
  for (const std::string& name : names) keys.push_back(NameKey(name));
  std::lock_guard<std::mutex> lock(mutex_);
  MarkListed(index, keys);
}

void TParallelSort::MarkListed(int index, const std::vector<std::string>& names) {
  TResult& result = results_[static_cast<size_t>(index)];
  if (result.listed) return;
  result.listed = true;
  result.names = names;
  for (; listed_prefix_ < count_ && results_[static_cast<size_t>(listed_prefix_)].listed; ++listed_prefix_) {
    auto& listed = results_[static_cast<size_t>(listed_prefix_)].names;
    file_names_.insert(listed.begin(), listed.end());
    listed = {};
  }
}

bool TParallelSort::MayBeFileName(int index, const std::string& name) const {
  // Not yet known for every archive up to this one: it could be.
  return listed_prefix_ <= index || file_names_.count(NameKey(name)) > 0;
}

std::string TParallelSort::PrepareFolders(int index, const std::string& target, const std::string& output) {
  namespace fs = std::filesystem;
  fs::path folder = platform::ToPath(target);
  if (!folder.has_filename()) folder = folder.parent_path();
  std::vector<fs::path> missing;
  std::error_code error;
  while (!fs::is_directory(folder, error) && !LiesInside(output, platform::FromPath(folder)) &&
         folder.has_parent_path() && folder.parent_path() != folder) {
    missing.push_back(folder);
    folder = folder.parent_path();
  }
  // The output folder itself: every target lies in it, so making it early
  // changes nothing.
  if (!fs::is_directory(folder, error)) platform::CreateFolders(platform::FromPath(folder));
  // A level made ahead of the order of the search could stand where an earlier
  // archive puts a file of that name (and that file would then fail instead of
  // the folder): such a level, and those below it, wait for the turn.
  for (auto level = missing.rbegin(); level != missing.rend(); ++level) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (MayBeFileName(index, platform::FromPath(level->filename()))) break;
    }
    if (platform::CreateFolders(platform::FromPath(*level))) break;
    folder = *level;
  }
  return platform::FromPath(folder);
}

bool TParallelSort::WaitTurn(int index) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return placed_prefix_ >= index || StopRequested(index); });
  if (StopRequested(index)) return false;
  results_[static_cast<size_t>(index)].took_turn = true;
  return true;
}

void TParallelSort::PlacingDone(int index, bool stopped) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarkPlacingDone(index, stopped);
}

void TParallelSort::MarkPlacingDone(int index, bool stopped) {
  TResult& result = results_[static_cast<size_t>(index)];
  if (result.placing_done) return;
  result.placing_done = true;
  result.stopped = stopped;
  while (placed_prefix_ < count_ && results_[static_cast<size_t>(placed_prefix_)].placing_done) ++placed_prefix_;
  changed_.notify_all();
}

void TParallelSort::Finish(int index) {
  std::lock_guard<std::mutex> lock(mutex_);
  MarkListed(index, {});
  results_[static_cast<size_t>(index)].finished = true;
  changed_.notify_all();
}

void TParallelSort::Work() {
  TWorkerHost host(*this);
  TSortRun run(host);
  run.DryRun = run_.DryRun;
  // A worker never shows a dialog: its messages reach the host in their turn.
  run.Unattended = true;
  run.OnConflict = run_.OnConflict;
  run.EngineDirectory = engine_folder_;
  run.parallel_ = this;
  for (;;) {
    const int index = next_.fetch_add(1);
    if (index >= count_ || StopRequested(index)) break;
    WorkOn(run, host, index);
    if (run.stop_) break;
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ++exited_;
  changed_.notify_all();
}

void TParallelSort::WorkOn(TSortRun& run, TWorkerHost& host, int index) {
  TResult& result = results_[static_cast<size_t>(index)];
  int before[kCountCount];
  for (size_t i = 0; i < kCountCount; ++i) before[i] = run.*kCounts[i];
  try {
    host.Begin(index, &result.events);
    run.archive_index_ = index;
    run.SortArchive(index, count_, run_.archives_[static_cast<size_t>(index)]);
  } catch (...) {
    // It ends the run as with one job: the archives behind it change nothing.
    result.error = std::current_exception();
    int from = abort_from_.load();
    while (index < from && !abort_from_.compare_exchange_weak(from, index)) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    changed_.notify_all();
  }
  run.RemoveLeftovers();
  for (size_t i = 0; i < kCountCount; ++i) result.counts[i] = run.*kCounts[i] - before[i];
  {
    std::lock_guard<std::mutex> lock(mutex_);
    MarkPlacingDone(index, run.stop_);
  }
  Finish(index);
}

void TParallelSort::StopAndJoin() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
    changed_.notify_all();
  }
  for (std::thread& thread : threads_)
    if (thread.joinable()) thread.join();
}

void TParallelSort::Report(TResult& result) {
  for (TEvent& event : result.events) {
    switch (event.kind) {
      case TEvent::TKind::Started:
        host_.ArchiveStarted(event.number, count_, event.path);
        break;
      case TEvent::TKind::Failed:
        host_.ArchiveFailed(event.path, event.text);
        break;
      case TEvent::TKind::Document:
        host_.DocumentHandled(event.record);
        break;
      case TEvent::TKind::Message:
        host_.ArchiveMessage(event.path, event.number, event.text);
        break;
    }
  }
  result.events = {};
  for (size_t i = 0; i < kCountCount; ++i) run_.*kCounts[i] += result.counts[i];
}

void TParallelSort::Run() {
  engine_folder_ = run_.EngineFolder();
  output_ = host_.OutputFolder();
  unpack_ = host_.Unpack();
  kpt_rule_ = host_.KptRule();
  kvzu_rule_ = host_.KvzuRule();
  // As one job asks before its first archive: the workers only hear of a stop
  // from this thread.
  if (host_.StopRequested()) {
    run_.stop_ = true;
    return;
  }
  for (int i = 0; i < jobs_; ++i) {
    try {
      threads_.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
      // Fewer threads than asked still handle every archive.
      if (threads_.empty()) throw;
      break;
    }
  }
  const int threads = static_cast<int>(threads_.size());

  // Each archive is told as soon as it and all before it are done. Once the
  // host says stop, the workers stop and what they placed meanwhile is still
  // told: every archive up to the last that took its turn to place.
  bool stopping = false;
  int last_turn = -1;
  for (int next = 0; next < count_;) {
    if (!stopping && host_.StopRequested()) {
      stopping = true;
      StopAndJoin();
      for (int i = 0; i < count_; ++i)
        if (results_[static_cast<size_t>(i)].took_turn) last_turn = i;
    }
    TResult& result = results_[static_cast<size_t>(next)];
    bool ready, idle;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!stopping) changed_.wait_for(lock, kStopPoll, [&] { return result.finished || exited_ == threads; });
      ready = result.finished;
      idle = exited_ == threads;
    }
    if (!ready) {
      if (stopping || idle) break;
      continue;
    }
    // An archive stopped before its turn changed nothing: as with one job, which
    // would not have begun it, the host does not hear of it.
    if (stopping && next > last_turn) break;
    Report(result);
    if (result.error) std::rethrow_exception(result.error);
    if (result.stopped) {
      stopping = true;
      break;
    }
    ++run_.Done;
    host_.StepProgress();
    host_.ProcessMessages();
    ++next;
  }
  StopAndJoin();
  // A stop that came when every archive was through anyway stopped nothing.
  run_.stop_ = run_.Done < count_;
}

}  // namespace sorting
