#include "cli/cli.h"

#include <algorithm>
#include <map>
#include <ostream>
#include <set>
#include <thread>

#include "cli/csv_report.h"
#include "cli/interrupt.h"
#include "platform/file_system.h"
#include "platform/text_compare.h"
#include "sorting/engine_check.h"
#include "sorting/output_rules.h"
#include "sorting/settings_file.h"
#include "sorting/sort_run.h"

#ifndef VORLANEX_VERSION
#define VORLANEX_VERSION "0"
#endif

namespace cli {

std::string UsageText() {
  return std::string(
             "Использование: vorlanex-cli --input ПАПКА --output ПАПКА [параметры]\n"
             "Раскладывает ZIP-архивы реестра из входной папки (и её вложенных папок) по папкам\n"
             "внутри выходной папки, по правилу вида документа в каждом архиве.\n"
             "\n"
             "  --input ПАПКА         где искать архивы (обязательно); можно назвать и один архив\n"
             "  --output ПАПКА        куда раскладывать архивы (обязательно)\n"
             "  --no-recursive        не искать во вложенных папках\n"
             "  --recursive           искать и во вложенных папках (так по умолчанию)\n"
             "  --copy                копировать архив в его папку, а не распаковывать\n"
             "  --unpack              распаковывать архив в его папку (так по умолчанию)\n"
             "  --rule-kpt ПРАВИЛО    правило папок для кадастровых планов территории (КПТ)\n"
             "  --rule-kvzu ПРАВИЛО   правило папок для выписок о земельном участке (КВЗУ)\n"
             "  --on-conflict ЧТО     если документ заменил бы файл, который этот же запуск положил\n"
             "                        из другого архива: rename (так по умолчанию) вставляет в имена\n"
             "                        файлов \" (2)\", \" (3)\"...; keep оставляет первый и не размещает\n"
             "                        второй; replace заменяет первый\n"
             "  --jobs N              обрабатывать N архивов одновременно (по умолчанию N - число\n"
             "                        ядер); папки, файлы, отчёт и итог те же, что при --jobs 1\n"
             "  --dry-run             прочитать документы и показать, куда они легли бы; ничего\n"
             "                        не создавать\n"
             "  --report ФАЙЛ         записать отчёт CSV: строка на каждый архив и документ\n"
             "                        (UTF-8, поля через \";\")\n"
             "  --settings ФАЙЛ       взять папки, переключатели и правила из файла настроек окна\n"
             "                        (Vorlanex.cfg); параметры командной строки важнее\n"
             "  --quiet               без строки хода работы и строк о размещении и конфликтах;\n"
             "                        сбои выводятся всегда\n"
             "  -h, --help            эта справка\n"
             "  --version             версия программы\n"
             "\n"
             "Уровни папок в правиле разделяет \"\\\"; поля подстановки:\n"
             "{Номер региона} {Номер района} {Номер квартала} {Номер участка}\n"
             "{Дата постановки} {Система координат} {Дата удостоверения}.\n"
             "Правила по умолчанию:\n"
             "  КПТ:  ") +
         sorting::kDefaultKptRule + "\n  КВЗУ: " + sorting::kDefaultKvzuRule +
         "\n"
         "\n"
         "Ctrl+C (SIGINT, SIGTERM) останавливает сортировку на ближайшем шаге: временные файлы\n"
         "удаляются, строки отчёта о сделанном остаются, итог выводится.\n"
         "\n"
         "Архивы внутри архива (до двух уровней) раскладываются каждый по своему документу.\n"
         "\n"
         "Код завершения: 0 - все архивы обработаны; 1 - какой-то архив не прочитан, документ\n"
         "не размещён или его версия не поддерживается; 2 - ошибка в параметрах, нет входной\n"
         "папки или не загружается модуль распаковки; 130 - сортировка прервана.\n";
}

int DefaultJobs() { return std::max(1u, std::thread::hardware_concurrency()); }

std::vector<std::string> UnknownPlaceholders(std::string_view rule) {
  static const char* const kPlaceholders[] = {
      sorting::kRegionPlaceholder,
      sorting::kDistrictPlaceholder,
      sorting::kBlockPlaceholder,
      sorting::kParcelPlaceholder,
      sorting::kRegistrationDatePlaceholder,
      sorting::kCoordSystemPlaceholder,
      sorting::kCertificationDatePlaceholder,
  };
  std::vector<std::string> unknown;
  size_t open = std::string_view::npos;
  for (size_t i = 0; i < rule.size(); ++i) {
    if (rule[i] == '{') {
      // "{a{Номер региона}": the innermost pair is what the rule replaces.
      open = i;
    } else if (rule[i] == '}' && open != std::string_view::npos) {
      const std::string_view text = rule.substr(open, i + 1 - open);
      bool known = false;
      // The rules replace placeholders ignoring case.
      for (const char* placeholder : kPlaceholders) known = known || platform::SameText(text, placeholder);
      if (!known) unknown.emplace_back(text);
      open = std::string_view::npos;
    }
  }
  return unknown;
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
    error = "файл настроек не найден: " + options.settings;
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

std::optional<sorting::TConflictPolicy> ConflictPolicy(const std::string& text) {
  if (text == "rename") return sorting::TConflictPolicy::Rename;
  if (text == "keep") return sorting::TConflictPolicy::Keep;
  if (text == "replace") return sorting::TConflictPolicy::Replace;
  return std::nullopt;
}

// More workers than this only wait for the disk.
constexpr int kMaxJobs = 256;

// The number of --jobs, or 0 when the text is not one from 1 to kMaxJobs.
int JobCount(const std::string& text) {
  if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos) return 0;
  const int jobs = std::stoi(text);
  return jobs >= 1 && jobs <= kMaxJobs ? jobs : 0;
}

}  // namespace

std::optional<TCliOptions> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  TCliOptions options;
  options.kpt_rule = sorting::kDefaultKptRule;
  options.kvzu_rule = sorting::kDefaultKvzuRule;
  std::string on_conflict, jobs;
  const std::map<std::string, std::string*> valued = {
      {"--input", &options.input},       {"--output", &options.output},
      {"--rule-kpt", &options.kpt_rule}, {"--rule-kvzu", &options.kvzu_rule},
      {"--report", &options.report},     {"--settings", &options.settings},
      {"--on-conflict", &on_conflict},   {"--jobs", &jobs},
  };
  const std::map<std::string, bool*> switches = {
      {"--dry-run", &options.dry_run}, {"--quiet", &options.quiet},     {"--help", &options.help},
      {"-h", &options.help},           {"--version", &options.version},
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
          error = "параметру " + name + " нужно значение";
          return std::nullopt;
        }
        value = args[++i];
      }
      *v->second = *value;
      given.insert(name);
      continue;
    }
    if (value) {
      error = "параметр " + name + " не принимает значения";
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
      error = "неизвестный параметр: " + args[i];
      return std::nullopt;
    }
  }
  if (options.help || options.version) return options;
  if (given.count("--on-conflict")) {
    const auto policy = ConflictPolicy(on_conflict);
    if (!policy) {
      error = "--on-conflict: неизвестное значение \"" + on_conflict + "\" (возможны rename, keep, replace)";
      return std::nullopt;
    }
    options.on_conflict = *policy;
  }
  if (given.count("--jobs")) {
    options.jobs = JobCount(jobs);
    if (options.jobs == 0) {
      error = "--jobs: нужно целое число от 1 до " + std::to_string(kMaxJobs) + ", а не \"" + jobs + "\"";
      return std::nullopt;
    }
  }
  if (!options.settings.empty() && !ApplySettingsFile(options, given, error)) return std::nullopt;
  if (options.input.empty()) {
    error = "не указана входная папка (--input ПАПКА)";
    return std::nullopt;
  }
  if (options.output.empty()) {
    error = "не указана выходная папка (--output ПАПКА)";
    return std::nullopt;
  }
  return options;
}

namespace {

// Messages may hold line breaks (the component's table texts add a path on a
// line of its own); a failure is one line on the terminal.
std::string OneLine(const std::string& text) {
  std::string line;
  bool blank = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      blank = !line.empty();
      continue;
    }
    if (blank) line += ' ';
    blank = false;
    line += c;
  }
  return line;
}

// The run's texts end lines with CR LF, as the window's message box wants them.
std::string WithoutCarriageReturns(const std::string& text) {
  std::string result;
  for (char c : text)
    if (c != '\r') result += c;
  return result;
}

// What a document's record asks of the terminal.
enum class TNotice {
  None,      // placed, or nothing to place, or the run was stopped
  Failure,   // not extracted, not supported, not read or not placed: a line, and status 1
  Conflict,  // placed where another archive of this run had placed its files: a line
};

TNotice NoticeOf(sorting::TDocumentAction action) {
  using sorting::TDocumentAction;
  switch (action) {
    case TDocumentAction::Unpacked:
    case TDocumentAction::Copied:
    case TDocumentAction::WouldPlace:
    case TDocumentAction::NotRegistry:
    case TDocumentAction::Identical:
    case TDocumentAction::Interrupted:
      return TNotice::None;
    case TDocumentAction::NotExtracted:
    case TDocumentAction::Unsupported:
    case TDocumentAction::NotRead:
    case TDocumentAction::OutsideOutput:
    case TDocumentAction::PlacementFailed:
    case TDocumentAction::Kept:
      return TNotice::Failure;
    case TDocumentAction::Renamed:
    case TDocumentAction::Replaced:
      return TNotice::Conflict;
  }
  return TNotice::None;
}

// "archive [entry]: what happened: why (folder)", the reason without the entry
// that the line names already, the folder when the reason does not name it.
std::string DocumentLine(const sorting::TDocumentRecord& record, std::string reason) {
  if (reason.rfind(record.entry + ": ", 0) == 0) reason.erase(0, record.entry.size() + 2);
  std::string line = record.archive + " [" + record.entry + "]: " + sorting::ActionName(record.action);
  if (!reason.empty()) line += ": " + reason;
  if (!record.target_folder.empty() && reason.find(record.target_folder) == std::string::npos)
    line += " (" + record.target_folder + ")";
  return line;
}

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
  // Comes after each archive.
  void StepProgress() override { FinishArchive(); }
  void ResetProgress() override { ClearProgress(); }
  void ProcessMessages() override {}
  // The command line shows the run's full summary, not the window's (RunCli).
  void ShowSummary(const std::string&, const std::string&) override { summary_due_ = true; }
  void ReportError(const std::string& message) override {
    FinishArchive();
    Line(err_, "vorlanex-cli: " + OneLine(message));
    fatal_ = true;
  }
  bool StopRequested() override { return InterruptRequested(); }

  void ArchiveStarted(int index, int count, const std::string& path) override {
    FinishArchive();
    current_ = path;
    if (progress_) {
      err_ << "\r\033[K[" << (index + 1) << "/" << count << "] "
           << platform::FromPath(platform::ToPath(path).filename()) << std::flush;
      progress_shown_ = true;
    }
  }
  void ArchiveFailed(const std::string& path, const std::string& message) override {
    std::string reason = OneLine(message);
    if (reason.empty() && !messages_.empty()) reason = messages_.back();
    const std::string result = "архив не прочитан" + (reason.empty() ? "" : ": " + reason);
    // Its own row, also when documents of the archive came before the error.
    if (report_) report_->AddArchive(path, result);
    ++rows_in_archive_;
    Failure(path + ": " + result);
  }
  void DocumentHandled(const sorting::TDocumentRecord& record) override {
    ++rows_in_archive_;
    if (report_) report_->AddDocument(record);
    if (record.action == sorting::TDocumentAction::WouldPlace && !options_.quiet)
      Line(out_, record.archive + " [" + record.entry + "] -> " + record.target_folder);
    switch (NoticeOf(record.action)) {
      case TNotice::None:
        break;
      case TNotice::Failure: {
        // Without a reason of its own, the component's last word on the archive is the reason.
        std::string reason = OneLine(record.reason);
        if (reason.empty() && !messages_.empty()) reason = messages_.back();
        Failure(DocumentLine(record, reason));
        break;
      }
      case TNotice::Conflict:
        if (!options_.quiet) Line(err_, DocumentLine(record, OneLine(record.reason)));
        break;
    }
  }
  void ArchiveMessage(const std::string&, int code, const std::string& text) override {
    if (code != 0) messages_.push_back(OneLine(text));
  }

  // Ends the archive in hand: its row when it gave no document (or was stopped
  // before it gave one), its messages when no failure line spoke for them, and
  // the report on disk up to here.
  void FinishArchive(bool stopped = false) {
    if (current_.empty()) return;
    if (!failed_in_archive_)
      for (const std::string& message : messages_) Line(err_, current_ + ": " + message);
    if (report_) {
      if (rows_in_archive_ == 0)
        report_->AddArchive(current_,
                            stopped ? sorting::ActionName(sorting::TDocumentAction::Interrupted) : "нет XML-документа");
      report_->Flush();
    }
    current_.clear();
    messages_.clear();
    rows_in_archive_ = 0;
    failed_in_archive_ = false;
  }
  bool Incomplete() const { return incomplete_; }
  bool Fatal() const { return fatal_; }
  bool SummaryDue() const { return summary_due_; }

 private:
  void ClearProgress() {
    if (progress_ && progress_shown_) err_ << "\r\033[K" << std::flush;
    progress_shown_ = false;
  }
  void Line(std::ostream& stream, const std::string& text) {
    ClearProgress();
    stream << text << "\n";
  }
  void Failure(const std::string& text) {
    Line(err_, text);
    incomplete_ = true;
    failed_in_archive_ = true;
  }

  const TCliOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
  bool progress_;
  TCsvReport* report_;
  bool progress_shown_ = false;
  std::string current_;
  // Report rows about the archive in hand.
  int rows_in_archive_ = 0;
  // The component's error messages about the archive in hand.
  std::vector<std::string> messages_;
  bool failed_in_archive_ = false;
  bool incomplete_ = false;
  bool fatal_ = false;
  bool summary_due_ = false;
};

// The option check of the input: a folder, or one archive file.
bool CheckInput(const std::string& input, std::string& error) {
  if (platform::DirectoryExists(input)) return true;
  if (!platform::FileExists(input)) {
    error = "входная папка не существует: " + input;
    return false;
  }
  const std::string name = platform::FromPath(platform::ToPath(input).filename());
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || !platform::SameText(std::string_view(name).substr(dot), std::string_view(".zip"))) {
    error = "--input называет файл, который не архив ZIP (нужно расширение .zip): " + input;
    return false;
  }
  return true;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progress,
           const std::string& engine_directory) {
  if (args.empty()) {
    err << UsageText();
    return kExitUsage;
  }
  std::string error;
  const auto options = ParseOptions(args, error);
  if (!options) {
    err << "vorlanex-cli: " << error << "\n"
        << "Справка: vorlanex-cli --help\n";
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
  if (!CheckInput(options->input, error)) {
    err << "vorlanex-cli: " << error << "\n";
    return kExitUsage;
  }
  // Before the run: one message, not three lines per archive.
  if (!sorting::EngineAvailable(engine_directory, error)) {
    err << "vorlanex-cli: " << error << "\n";
    return kExitUsage;
  }
  for (const auto& [kind, rule] : {std::pair{"КПТ", &options->kpt_rule}, std::pair{"КВЗУ", &options->kvzu_rule}})
    for (const std::string& text : UnknownPlaceholders(*rule))
      err << "vorlanex-cli: предупреждение: " << text << " в правиле " << kind
          << " не поле подстановки и останется в именах папок как есть\n";

  TCsvReport report;
  if (!options->report.empty() && !report.Open(options->report)) {
    err << "vorlanex-cli: не удаётся создать файл отчёта: " << options->report << "\n";
    return kExitUsage;
  }
  TCliHost host(*options, out, err, progress, report.IsOpen() ? &report : nullptr);
  sorting::TSortRun run(host);
  run.DryRun = options->dry_run;
  // Nobody answers a dialog at a terminal: the component's errors go to standard error.
  run.Unattended = true;
  run.EngineDirectory = engine_directory;
  run.OnConflict = options->on_conflict;
  run.Jobs = options->jobs > 0 ? options->jobs : DefaultJobs();
  run.SortButtonClick();
  host.FinishArchive(run.Stopped);
  bool incomplete = host.Fatal() || host.Incomplete() || run.UnreadableCount > 0 || run.FailedCount > 0;
  if (report.IsOpen() && !report.Close()) {
    err << "vorlanex-cli: не удалось записать файл отчёта: " << options->report << "\n";
    incomplete = true;
  }
  if (host.SummaryDue() || run.Stopped) out << WithoutCarriageReturns(run.FullSummaryText()) << "\n";
  if (run.Stopped) {
    out << "Сортировка прервана: обработано архивов " << run.Done << " из " << run.N << ".\n" << std::flush;
    return kExitInterrupted;
  }
  return incomplete ? kExitIncomplete : kExitOk;
}

}  // namespace cli
