#pragma once
// The command-line sorter: the same sort run as the window, driven by options.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sorting/sort_run.h"

namespace cli {

struct TCliOptions {
  std::string input;
  std::string output;
  bool recursive = true;
  bool copy = false;  // copy archives instead of unpacking them
  std::string kpt_rule;
  std::string kvzu_rule;
  bool dry_run = false;
  std::string report;    // CSV file, empty: none
  std::string settings;  // settings file the window wrote, empty: none
  // A document that would replace a file this run placed from another archive.
  sorting::TConflictPolicy on_conflict = sorting::TConflictPolicy::Rename;
  // Archives handled at the same time; 0: as many as the computer has cores.
  int jobs = 0;
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name; on a mistake returns nothing and
// sets error to a message that names it.
std::optional<TCliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

// The cores of this computer (at least 1): the default of --jobs.
int DefaultJobs();

// The texts in braces of a rule that are none of the seven placeholders (a typo
// such as "{Region}"), in the order they stand; they would stay in folder names.
std::vector<std::string> UnknownPlaceholders(std::string_view rule);

// Exit status of a run.
enum TExitCode { kExitOk = 0, kExitIncomplete = 1, kExitUsage = 2, kExitInterrupted = 130 };

// Runs the sorter; progress goes to err (when progress is true), the summary to out.
// An interrupt (InterruptRequested) stops the run at its next poll.
// The engine directory, when given, replaces the program's own folder (tests).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
           const std::string& engine_directory = {});

}  // namespace cli
