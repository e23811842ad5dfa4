#pragma once
// The command-line sorter: the same sort run as the window, driven by options.

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

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
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments after the program name; on a mistake returns nothing and
// sets error to a message that names it.
std::optional<TCliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error);

std::string UsageText();

// Exit status of a run.
enum TExitCode { kExitOk = 0, kExitIncomplete = 1, kExitUsage = 2 };

// Runs the sorter; progress goes to err (when progress is true), the summary to out.
// The engine directory, when given, replaces the program's own folder (tests).
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
           const std::string& engine_directory = {});

}  // namespace cli
