#include "zipengine/zip_entry_path.h"

#include "platform/file_system.h"
#include "platform/text_compare.h"

namespace zipengine {

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

#ifdef _WIN32
bool IsDeviceName(const std::string& level) {
  const std::string stem = level.substr(0, level.find('.'));
  for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"})
    if (platform::SameText(stem, std::string_view(device))) return true;
  if (stem.size() == 4 && stem[3] >= '1' && stem[3] <= '9')
    for (const char* device : {"COM", "LPT"})
      if (platform::SameText(stem.substr(0, 3), std::string_view(device))) return true;
  return false;
}
#endif

}  // namespace

bool SplitEntryPath(std::string_view name, std::vector<std::string>& levels) {
  levels.clear();
  if (name.empty() || IsSeparator(name.front())) return false;  // absolute, or a UNC name
  if (name.find('\0') != std::string_view::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSeparator(name[end])) ++end;
    std::string level(name.substr(start, end - start));
    start = end + 1;
    if (level.empty() || level == ".") continue;
    if (level == "..") return false;
    // "C:" and the like: a drive, wherever the name is unpacked.
    if (levels.empty() && level.find(':') != std::string::npos) return false;
#ifdef _WIN32
    if (level.find(':') != std::string::npos) return false;
    if (level.back() == '.' || level.back() == ' ') return false;
    if (IsDeviceName(level)) return false;
#endif
    levels.push_back(std::move(level));
  }
  return !levels.empty();
}

std::string JoinLevels(const std::vector<std::string>& levels, size_t count) {
  std::string path;
  for (size_t i = 0; i < count && i < levels.size(); ++i) {
    if (i > 0) path.push_back(platform::kPathDelimiter);
    path += levels[i];
  }
  return path;
}

}  // namespace zipengine
