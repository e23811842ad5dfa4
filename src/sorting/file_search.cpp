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

struct TSearch {
  std::string dotted_extension;
  bool recursive;
  std::vector<std::string>& list;
  std::vector<platform::TFileIdentity> descent;
  bool has_excluded = false;
  platform::TFileIdentity excluded;
};

void Search(const std::string& folder_text, TSearch& search) {
  const std::string folder = platform::IncludeTrailingDelimiter(folder_text);
  platform::EnumerateDirectory(folder, [&](const platform::TDirectoryEntry& entry) {
    if (entry.is_directory) {
      if (search.recursive && entry.name != "." && entry.name != "..") {
        // Searched at once, so its files stand where the folder was met.
        const std::string sub = folder + entry.name;
        platform::TFileIdentity id;
        const bool known = platform::GetFileIdentity(sub, id);
        if (known && search.has_excluded && id == search.excluded) return;
        for (const auto& seen : search.descent)
          if (known && seen == id) return;
        if (known) search.descent.push_back(id);
        Search(sub, search);
        if (known) search.descent.pop_back();
      }
      return;
    }
    if (platform::SameText(ExtensionOf(entry.name), std::string_view(search.dotted_extension)))
      search.list.push_back(folder + entry.name);
  });
}

}  // namespace

void SearchFiles(const std::string& folder, const std::string& extension, bool recursive,
                 std::vector<std::string>& list, const std::string& excluded) {
  TSearch search{"." + extension, recursive, list, {}, false, {}};
  platform::TFileIdentity root;
  if (platform::GetFileIdentity(platform::IncludeTrailingDelimiter(folder), root)) search.descent.push_back(root);
  search.has_excluded = !excluded.empty() && platform::GetFileIdentity(excluded, search.excluded);
  Search(folder, search);
}

}  // namespace sorting
