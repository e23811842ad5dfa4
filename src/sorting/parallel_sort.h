#pragma once
// Several archives of one sort run at the same time (TSortRun::Jobs > 1). Each
// worker thread takes the next archive of the list and handles it whole with a
// run and an archive component of its own: reading, recognising, unpacking or
// copying under a temporary name. Only then, once every archive before it is
// done, does it make the target folder and settle its files among those placed
// before, so that conflicts fall out as they do for one job. What the workers
// tell their hosts is kept per archive and told to the run's host on the
// thread that started the run, archive by archive in the order of the search.

#include <atomic>
#include <condition_variable>
#include <exception>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sorting/sort_run.h"

namespace sorting {

class TParallelSort {
 public:
  // run: the run under way, its archive list complete; jobs: worker threads.
  TParallelSort(TSortRun& run, int jobs);
  ~TParallelSort();
  TParallelSort(const TParallelSort&) = delete;
  TParallelSort& operator=(const TParallelSort&) = delete;

  // Handles the run's archives and fills in its counts, Done and stop. An error
  // that ends the run is thrown once the archives before its own are reported,
  // as one job would have reported them.
  void Run();

  // For the workers' runs. The names of the files archive index may place (its
  // entries' last levels, or in copy mode its own name), once its directory is read.
  void Listed(int index, const std::vector<std::string>& names);
  // Makes what it safely can of the target folder's missing levels ahead of
  // the archive's turn and returns the deepest level of it that exists: the
  // folder to stage in.
  std::string PrepareFolders(int index, const std::string& target, const std::string& output);
  // Waits until every archive before index has placed all it places; false
  // when the run is stopping (or an earlier archive's error ends it): the
  // archive must then change nothing in the output folder.
  bool WaitTurn(int index);
  // Archive index places nothing more (stopped: its worker heard a stop before):
  // the next archive may take its turn.
  void PlacingDone(int index, bool stopped);
  // The files placed so far; touched only by the archive whose turn it is.
  std::map<std::string, std::string>& Placed();
  // Whether the folder of this key is to be cleaned of a dead run's leftovers:
  // true the first time it is asked for in the run, by whichever worker.
  bool FirstCleaning(const std::string& key);
  // Whether the worker on archive index is to stop.
  bool StopRequested(int index) const;

 private:
  struct TEvent;
  struct TResult;
  class TWorkerHost;

  void Work();
  void WorkOn(TSortRun& run, TWorkerHost& host, int index);
  void Finish(int index);
  // Under mutex_: the bookkeeping of Listed and PlacingDone.
  void MarkListed(int index, const std::vector<std::string>& names);
  void MarkPlacingDone(int index, bool stopped);
  // Under mutex_: whether a folder of this name made out of the order of the
  // search could take the place of a file of an archive up to index.
  bool MayBeFileName(int index, const std::string& name) const;
  // Tells the workers to stop and waits for them.
  void StopAndJoin();
  // Tells the run's host what the worker's host heard, and adds the counts.
  void Report(TResult& result);

  TSortRun& run_;
  TSortHost& host_;
  const int jobs_;
  const int count_;
  std::string engine_folder_;
  // The host's settings, read once on the run's thread.
  std::string output_, kpt_rule_, kvzu_rule_;
  bool unpack_ = true;

  std::vector<TResult> results_;
  std::vector<std::thread> threads_;
  std::atomic<int> next_{0};
  std::atomic<bool> stop_{false};
  // An archive whose handling threw: those behind it stop, those before go on.
  std::atomic<int> abort_from_;

  std::mutex mutex_;
  std::condition_variable changed_;
  // Under mutex_: archives 0 .. placed_prefix_ - 1 have all placed what they
  // place, and the names of archives 0 .. listed_prefix_ - 1 are in file_names_.
  int placed_prefix_ = 0;
  int listed_prefix_ = 0;
  std::set<std::string> file_names_;
  int exited_ = 0;
  std::set<std::string> cleaned_;
};

}  // namespace sorting
