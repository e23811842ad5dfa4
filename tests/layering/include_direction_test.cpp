// The folders under src/ include one another only downwards. Every
// #include "folder/file.h" of every source is checked against the table below,
// so a wrong include fails the suite instead of waiting for a reviewer.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TFolderRule {
  std::string_view folder;
  // Folders whose headers it may include, besides its own.
  std::vector<std::string_view> folders;
  // Single headers of other folders it may include.
  std::vector<std::string_view> files = {};
  // Whether it may include Qt.
  bool qt = false;
};

// Rows for folders that do not exist yet hold already: a new folder starts
// with its place in the order written down.
const std::vector<TFolderRule> kRules = {
    {"common", {}},
    {"platform", {"common"}},
    {"xml", {"common", "platform"}},
    {"cadastral", {"xml", "common", "platform"}},
    {"zipformat", {"common", "platform"}},
    {"zip", {"zipformat", "common", "platform"}},
    {"zipengine", {"zipformat", "common", "platform"}},
    // sorting may include xml for the settings file reader.
    {"sorting", {"cadastral", "zip", "xml", "common", "platform"}},
    {"cli", {"sorting", "common", "platform"}},
    // The window shows the archive component's dialogs through its one
    // interface; everything else of the component stays behind the sort run.
    {"app",
     {"sorting", "common", "platform"},
     {"zip/zip_interaction.h", "zip/zip_message_dialog.h"},
     /*qt=*/true},
};

const TFolderRule* RuleOf(std::string_view folder) {
  for (const TFolderRule& rule : kRules)
    if (rule.folder == folder) return &rule;
  return nullptr;
}

struct TInclude {
  int line = 0;
  std::string header;  // as written between the quotes or angle brackets
  bool quoted = true;
};

// The #include lines of a source text.
std::vector<TInclude> IncludesOf(std::istream& text) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*(["<])([^">]+)[">])");
  std::vector<TInclude> result;
  std::string line;
  for (int number = 1; std::getline(text, line); ++number) {
    std::smatch match;
    if (std::regex_search(line, match, kInclude)) result.push_back({number, match[2].str(), match[1].str() == "\""});
  }
  return result;
}

bool IsQtHeader(std::string_view header) {
  return header.size() > 1 && header[0] == 'Q' &&
         (std::isupper(static_cast<unsigned char>(header[1])) || header.substr(0, 2) == "Qt");
}

// Why the include is not allowed, or empty.
std::string Violation(const TFolderRule& rule, const TInclude& include) {
  if (!include.quoted) {
    if (IsQtHeader(include.header) && !rule.qt) return "Qt outside the desktop program";
    return {};
  }
  const size_t slash = include.header.find('/');
  if (slash == std::string::npos) return "a project header is named without its folder";
  const std::string_view target = std::string_view(include.header).substr(0, slash);
  if (target == rule.folder) return {};
  if (!RuleOf(target)) return "no folder " + std::string(target) + " in the table";
  const auto allowed = [&](const std::vector<std::string_view>& list, std::string_view item) {
    return std::find(list.begin(), list.end(), item) != list.end();
  };
  if (allowed(rule.folders, target) || allowed(rule.files, include.header)) return {};
  return std::string(rule.folder) + " may not include " + std::string(target);
}

TEST(IncludeDirection, IncludesAreFoundInSourceText) {
  std::istringstream text(
      "#include \"a/b.h\"\n"
      "  #  include <vector>\n"
      "// #include \"c/d.h\"\n"
      "#include\"e/f.h\" // why\n"
      "#define X \"#include \\\"g/h.h\\\"\"\n");
  const std::vector<TInclude> found = IncludesOf(text);
  ASSERT_EQ(found.size(), 3u);
  EXPECT_EQ(found[0].header, "a/b.h");
  EXPECT_EQ(found[1].header, "vector");
  EXPECT_FALSE(found[1].quoted);
  EXPECT_EQ(found[2].header, "e/f.h");
  EXPECT_EQ(found[2].line, 4);
}

TEST(IncludeDirection, TheTableJudgesOneInclude) {
  const TFolderRule& app = *RuleOf("app");
  const TFolderRule& cli = *RuleOf("cli");
  const TFolderRule& engine = *RuleOf("zipengine");
  EXPECT_EQ(Violation(app, {1, "zip/zip_interaction.h"}), "");
  EXPECT_NE(Violation(app, {1, "zip/zip_archive.h"}), "");
  EXPECT_EQ(Violation(app, {1, "QWidget", false}), "");
  EXPECT_NE(Violation(cli, {1, "QtCore/QString", false}), "");
  EXPECT_NE(Violation(cli, {1, "zip/zip_archive.h"}), "");
  EXPECT_NE(Violation(cli, {1, "cli.h"}), "");
  EXPECT_NE(Violation(cli, {1, "nowhere/x.h"}), "");
  EXPECT_EQ(Violation(cli, {1, "cli/cli.h"}), "");
  EXPECT_EQ(Violation(engine, {1, "zipformat/zip_file.h"}), "");
  EXPECT_NE(Violation(engine, {1, "zip/zip_archive.h"}), "");
}

TEST(IncludeDirection, TheTableHasNoCycle) {
  // Depth-first: a folder met again on the current descent closes a cycle.
  std::map<std::string_view, int> state;  // 1: on the descent, 2: done
  std::vector<std::string> cycles;
  std::function<void(std::string_view, std::string)> visit = [&](std::string_view folder, std::string path) {
    path += std::string(folder);
    if (state[folder] == 1) cycles.push_back(path);
    if (state[folder] != 0) return;
    state[folder] = 1;
    const TFolderRule* rule = RuleOf(folder);
    ASSERT_NE(rule, nullptr) << folder << " is allowed but has no row";
    std::vector<std::string_view> targets = rule->folders;
    for (std::string_view file : rule->files) targets.push_back(file.substr(0, file.find('/')));
    for (std::string_view target : targets) visit(target, path + " -> ");
    state[folder] = 2;
  };
  for (const TFolderRule& rule : kRules) visit(rule.folder, "");
  std::string report;
  for (const std::string& cycle : cycles) report += cycle + "\n";
  EXPECT_TRUE(cycles.empty()) << report;
}

TEST(IncludeDirection, EverySourceUnderSrcIncludesOnlyDownwards) {
  const fs::path src = fs::path(VORLANEX_SOURCE_DIR) / "src";
  ASSERT_TRUE(fs::is_directory(src)) << src;
  std::vector<std::string> violations;
  int files = 0;
  for (const fs::directory_entry& folder : fs::directory_iterator(src)) {
    if (!folder.is_directory()) continue;
    const std::string name = folder.path().filename().string();
    const TFolderRule* rule = RuleOf(name);
    if (!rule) {
      violations.push_back("src/" + name + " has no row in the table");
      continue;
    }
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder.path())) {
      const std::string extension = entry.path().extension().string();
      if (!entry.is_regular_file() || (extension != ".h" && extension != ".cpp")) continue;
      ++files;
      std::ifstream text(entry.path());
      for (const TInclude& include : IncludesOf(text)) {
        const std::string why = Violation(*rule, include);
        if (!why.empty())
          violations.push_back(fs::relative(entry.path(), src).generic_string() + ":" + std::to_string(include.line) +
                               ": " + include.header + ": " + why);
      }
    }
  }
  EXPECT_GT(files, 0);
  std::string report;
  for (const std::string& v : violations) report += v + "\n";
  EXPECT_TRUE(violations.empty()) << report;
}

}  // namespace
