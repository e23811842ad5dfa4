#include "sorting/file_search.h"

#include "platform/file_system.h"
#include "platform/text_compare.h"

namespace sorting {

namespace {

// The text from the name's last full stop to its end, or empty.
std::string_view ExtensionOf(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

void Search(const std::string& folder_text, const std::string& dotted_extension, bool recursive,
            std::vector<std::string>& list, std::vector<platform::TFileIdentity>& descent) {
  const std::string folder = platform::IncludeTrailingDelimiter(folder_text);
  platform::EnumerateDirectory(folder, [&](const platform::TDirectoryEntry& entry) {
    if (entry.is_directory) {
      if (recursive && entry.name != "." && entry.name != "..") {
        // Searched at once, so its files stand where the folder was met.
        const std::string sub = folder + entry.name;
        platform::TFileIdentity id;
        const bool known = platform::GetFileIdentity(sub, id);
        for (const auto& seen : descent)
          if (known && seen == id) return;
        if (known) descent.push_back(id);
        Search(sub, dotted_extension, recursive, list, descent);
        if (known) descent.pop_back();
      }
      return;
    }
    if (platform::SameText(ExtensionOf(entry.name), std::string_view(dotted_extension)))
      list.push_back(folder + entry.name);
  });
}

}  // namespace

void SearchFiles(const std::string& folder, const std::string& extension, bool recursive,
                 std::vector<std::string>& list) {
  std::vector<platform::TFileIdentity> descent;
  platform::TFileIdentity root;
  if (platform::GetFileIdentity(platform::IncludeTrailingDelimiter(folder), root)) descent.push_back(root);
  Search(folder, "." + extension, recursive, list, descent);
}

}  // namespace sorting
