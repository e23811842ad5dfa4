#include "cli/cli.h"

#include <map>
#include <ostream>
#include <set>

#include "cli/csv_report.h"
#include "platform/file_system.h"
#include "sorting/output_rules.h"
#include "sorting/settings_file.h"
#include "sorting/sort_run.h"

#ifndef VORLANEX_VERSION
#define VORLANEX_VERSION "0"
#endif

namespace cli {

std::string UsageText() {
  return std::string(
             "Usage: vorlanex-cli --input DIR --output DIR [options]\n"
             "Sorts the registry's ZIP archives found in DIR (and its sub-folders) into a folder\n"
             "tree under the output folder, by the rule of each document's kind.\n"
             "\n"
             "  --input DIR        folder to search for archives (required)\n"
             "  --output DIR       folder to file the archives under (required)\n"
             "  --no-recursive     do not search the sub-folders of the input folder\n"
             "  --recursive        search them (the default)\n"
             "  --copy             copy each archive into its folder instead of unpacking it\n"
             "  --unpack           unpack it (the default)\n"
             "  --rule-kpt RULE    folder rule for plans of territory\n"
             "  --rule-kvzu RULE   folder rule for land plot extracts\n"
             "  --dry-run          read every document and print where it would go; create nothing\n"
             "  --report FILE      write a CSV row per archive and document (UTF-8, \";\")\n"
             "  --settings FILE    take the folders, switches and rules from a settings file the\n"
             "                     window wrote (Vorlanex.cfg); options given here win\n"
             "  --quiet            no progress line and no per-document lines\n"
             "  --help             this text\n"
             "  --version          the program's version\n"
             "\n"
             "Rules separate folder levels with \"\\\" and use the placeholders\n"
             "{Номер региона} {Номер района} {Номер квартала} {Номер участка}\n"
             "{Дата постановки} {Система координат} {Дата удостоверения}.\n"
             "Default rules:\n"
             "  plans of territory: ") +
         sorting::kDefaultKptRule + "\n  land plot extracts: " + sorting::kDefaultKvzuRule +
         "\n"
         "\n"
         "Exit status: 0 every archive handled; 1 some archive could not be read or some\n"
         "document could not be placed; 2 bad arguments or a missing input folder.\n";
}

namespace {

// Fills what the command line left open from the settings file, as the window
// would show it: folder and rule texts pass the window's character correction.
bool ApplySettingsFile(TCliOptions& options, const std::set<std::string>& given, std::string& error) {
  std::optional<sorting::TSettings> settings;
  try {
    settings = sorting::LoadSettingsFile(options.settings);
  } catch (const sorting::ESettingsFileError& e) {
    error = e.what();
    return false;
  }
  if (!settings) {
    error = "the settings file does not exist: " + options.settings;
    return false;
  }
  auto take = [&given](const char* option, auto& field, const auto& value) {
    if (!given.count(option)) field = value;
  };
  if (const auto& folders = settings->folders) {
    take("--input", options.input, sorting::ReplaceChars(folders->input_folder, sorting::kFolderForbiddenChars, "_"));
    take("--output", options.output,
         sorting::ReplaceChars(folders->output_folder, sorting::kFolderForbiddenChars, "_"));
    take("--recursive", options.recursive, folders->deep_search);
    take("--copy", options.copy, !folders->unpack);
  }
  if (const auto& rules = settings->rules) {
    take("--rule-kpt", options.kpt_rule, sorting::ReplaceChars(rules->kpt_rule, sorting::kRuleForbiddenChars, "_"));
    take("--rule-kvzu", options.kvzu_rule, sorting::ReplaceChars(rules->kvzu_rule, sorting::kRuleForbiddenChars, "_"));
  }
  return true;
}

}  // namespace

std::optional<TCliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TCliOptions options;
  options.kpt_rule = sorting::kDefaultKptRule;
  options.kvzu_rule = sorting::kDefaultKvzuRule;
  const std::map<std::string, std::string*> valued = {
      {"--input", &options.input},         {"--output", &options.output}, {"--rule-kpt", &options.kpt_rule},
      {"--rule-kvzu", &options.kvzu_rule}, {"--report", &options.report}, {"--settings", &options.settings},
  };
  const std::map<std::string, bool*> switches = {
      {"--dry-run", &options.dry_run},
      {"--quiet", &options.quiet},
      {"--help", &options.help},
      {"--version", &options.version},
  };
  // Options given here win over the settings file.
  std::set<std::string> given;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> value;
    if (name.rfind("--", 0) == 0) {
      const size_t eq = name.find('=');
      if (eq != std::string::npos) {
        value = name.substr(eq + 1);
        name.resize(eq);
      }
    }
    if (auto v = valued.find(name); v != valued.end()) {
      if (!value) {
        if (i + 1 >= args.size()) {
          error = "option " + name + " needs a value";
          return std::nullopt;
        }
        value = args[++i];
      }
      *v->second = *value;
      given.insert(name);
      continue;
    }
    if (value) {
      error = "option " + name + " takes no value";
      return std::nullopt;
    }
    if (name == "--no-recursive" || name == "--recursive") {
      options.recursive = name == "--recursive";
      given.insert("--recursive");
    } else if (name == "--copy" || name == "--unpack") {
      options.copy = name == "--copy";
      given.insert("--copy");
    } else if (auto s = switches.find(name); s != switches.end()) {
      *s->second = true;
    } else {
      error = "unknown argument: " + args[i];
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (!options.settings.empty() && !ApplySettingsFile(options, given, error)) return std::nullopt;
  if (options.input.empty()) {
    error = "the input folder is missing (--input DIR)";
    return std::nullopt;
  }
  if (options.output.empty()) {
    error = "the output folder is missing (--output DIR)";
    return std::nullopt;
  }
  return options;
}

namespace {

// Stands in for the window: answers the run's questions from the options and
// reports on the terminal and in the CSV file.
class TCliHost : public sorting::TSortHost {
 public:
  TCliHost(const TCliOptions& options, std::ostream& out, std::ostream& err, bool progress, TCsvReport* report)
      : options_(options), out_(out), err_(err), progress_(progress && !options.quiet), report_(report) {}

  std::string InputFolder() override { return options_.input; }
  std::string OutputFolder() override { return options_.output; }
  bool DeepSearch() override { return options_.recursive; }
  bool Unpack() override { return !options_.copy; }
  std::string KptRule() override { return options_.kpt_rule; }
  std::string KvzuRule() override { return options_.kvzu_rule; }

  // The progress line counts archives itself (ArchiveStarted).
  void SetProgressMax(int) override {}
  void StepProgress() override {}
  void ResetProgress() override {
    if (progress_ && progress_shown_) err_ << "\r\033[K" << std::flush;
    progress_shown_ = false;
  }
  void ProcessMessages() override {}
  void ShowSummary(const std::string& text, const std::string&) override {
    std::string unix_text;
    for (char c : text)
      if (c != '\r') unix_text += c;
    out_ << unix_text << "\n";
  }
  void ReportError(const std::string& message) override {
    ClearProgress();
    err_ << "vorlanex-cli: " << message << "\n";
    fatal_ = true;
  }

  void ArchiveStarted(int index, int count, const std::string& path) override {
    FinishArchive();
    current_ = path;
    documents_in_archive_ = 0;
    archive_failed_.clear();
    if (progress_) {
      err_ << "\r\033[K[" << (index + 1) << "/" << count << "] "
           << platform::FromPath(platform::ToPath(path).filename()) << std::flush;
      progress_shown_ = true;
    }
  }
  void ArchiveFailed(const std::string&, const std::string& message) override {
    incomplete_ = true;
    archive_failed_ = message.empty() ? std::string("cannot be read") : message;
  }
  void DocumentHandled(const sorting::TDocumentRecord& record) override {
    ++documents_in_archive_;
    if (report_) report_->AddDocument(record);
    using sorting::TDocumentAction;
    switch (record.action) {
      case TDocumentAction::WouldPlace:
        if (!options_.quiet) Line(out_, record.archive + " [" + record.entry + "] -> " + record.target_folder);
        break;
      case TDocumentAction::NotExtracted:
      case TDocumentAction::PlacementFailed:
        incomplete_ = true;
        Line(err_, record.archive + " [" + record.entry + "]: " + sorting::ActionName(record.action) +
                       (record.reason.empty() ? "" : ": " + record.reason) +
                       (record.target_folder.empty() ? "" : " (" + record.target_folder + ")"));
        break;
      default:
        break;
    }
  }
  void ArchiveMessage(const std::string& archive, int code, const std::string& text) override {
    if (code != 0) Line(err_, archive + ": " + text);
  }

  void FinishArchive() {
    if (!current_.empty() && documents_in_archive_ == 0 && report_)
      report_->AddArchive(current_, archive_failed_.empty() ? "no XML document" : archive_failed_);
    current_.clear();
  }
  bool Incomplete() const { return incomplete_; }
  bool Fatal() const { return fatal_; }

 private:
  void ClearProgress() {
    if (progress_ && progress_shown_) err_ << "\r\033[K";
    progress_shown_ = false;
  }
  void Line(std::ostream& stream, const std::string& text) {
    ClearProgress();
    stream << text << "\n";
  }

  const TCliOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  bool progress_;
  TCsvReport* report_;
  bool progress_shown_ = false;
  std::string current_;
  int documents_in_archive_ = 0;
  std::string archive_failed_;
  bool incomplete_ = false;
  bool fatal_ = false;
};

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
           const std::string& engine_directory) {
  std::string error;
  const auto options = ParseOptions(args, error);
  if (!options) {
    err << "vorlanex-cli: " << error << "\n"
        << "Try 'vorlanex-cli --help'.\n";
    return kExitUsage;
  }
  if (options->help) {
    out << UsageText();
    return kExitOk;
  }
  if (options->version) {
    out << "vorlanex-cli " << VORLANEX_VERSION << "\n";
    return kExitOk;
  }
  if (!platform::DirectoryExists(options->input)) {
    err << "vorlanex-cli: the input folder does not exist: " << options->input << "\n";
    return kExitUsage;
  }

  TCsvReport report;
  if (!options->report.empty() && !report.Open(options->report)) {
    err << "vorlanex-cli: the report file cannot be created: " << options->report << "\n";
    return kExitUsage;
  }
  TCliHost host(*options, out, err, progress, report.IsOpen() ? &report : nullptr);
  sorting::TSortRun run(host);
  run.DryRun = options->dry_run;
  // Nobody answers a dialog at a terminal: the component's errors go to standard error.
  run.Unattended = true;
  run.EngineDirectory = engine_directory;
  run.SortButtonClick();
  host.FinishArchive();
  if (report.IsOpen() && !report.Close()) {
    err << "vorlanex-cli: the report file could not be written: " << options->report << "\n";
    return kExitIncomplete;
  }
  return host.Fatal() || host.Incomplete() ? kExitIncomplete : kExitOk;
}

}  // namespace cli
