#pragma once
// The settings the window keeps from one run to the next: its placement, the two
// folders, the two switches and the two rules, in a small XML file in windows-1251
// with a fixed layout. The command line reads the same file (--settings).

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace sorting {

// Used as a bare name, so it lives in the current working folder.
inline constexpr const char* kSettingsFileName = "Vorlanex.cfg";

// Values of one section; an attribute missing from a present section gives the
// default written here.
struct TFormSettings {
  int left = 300;
  int top = 300;
  int width = 400;  // outer size of the window
  int height = 400;
};
struct TFolderSettings {
  std::string input_folder;
  std::string output_folder;
  bool deep_search = true;
  bool unpack = true;
};
struct TRulesSettings {
  std::string kpt_rule;
  std::string kvzu_rule;
};

// What a file holds: a section it lacks stays empty, so its controls keep their
// values.
struct TSettings {
  std::optional<TFormSettings> form;
  std::optional<TFolderSettings> folders;
  std::optional<TRulesSettings> rules;
};

// A settings file that cannot be read: the reader's message, a blank and
// (файл: "NAME") with the name as the caller gave it.
class ESettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses the bytes of a settings file; name goes into the error message. The
// root element's name is not checked; a file without elements has no sections; a
// value that does not convert gives its default. Raises ESettingsFileError.
TSettings ParseSettings(std::string_view bytes, const std::string& name);

// Reads the file; nothing when it does not exist. Raises ESettingsFileError when
// it cannot be read or parsed.
std::optional<TSettings> LoadSettingsFile(const std::string& path);

// The file's text exactly as written: windows-1251 bytes, CR LF between lines,
// no line end after the last. Double quote, ampersand, less-than and greater-than
// are written as entities, characters windows-1251 lacks, TAB and line breaks as
// numeric character references, so every text reads back unchanged; other control
// characters, which XML cannot hold, become "_".
std::string SettingsText(const TFormSettings& form, const TFolderSettings& folders, const TRulesSettings& rules);

// Writes the text under a temporary name beside the file and renames it into
// place, so a failed write never leaves a truncated file. Raises
// ESettingsFileError with the file system's complaint.
void SaveSettingsFile(const std::string& path, const TFormSettings& form, const TFolderSettings& folders,
                      const TRulesSettings& rules);

}  // namespace sorting
