#include "platform/temporary_files.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include "platform/file_system.h"

namespace platform {

namespace fs = std::filesystem;

namespace {
std::atomic<uint64_t> g_counter{0};

bool IsDigits(std::string_view text) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}
}  // namespace

#ifdef _WIN32

uint64_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessRunning(uint64_t id) {
  if (id == 0 || id > 0xFFFFFFFFu) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

#else

uint64_t CurrentProcessId() { return static_cast<uint64_t>(::getpid()); }

bool ProcessRunning(uint64_t id) {
  if (id == 0 || id > static_cast<uint64_t>(INT32_MAX)) return false;
  return ::kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
}

#endif

std::string TemporaryName(const std::string& folder, std::string_view extension) {
  std::string name = folder;
  if (!name.empty() && name.back() != kPathDelimiter && name.back() != '/') name.push_back(kPathDelimiter);
  name += kTemporaryPrefix;
  name += std::to_string(CurrentProcessId());
  name += '-';
  name += std::to_string(g_counter.fetch_add(1));
  name += extension;
  return name;
}

bool ParseTemporaryName(std::string_view name, uint64_t& process) {
  if (name.substr(0, kTemporaryPrefix.size()) != kTemporaryPrefix) return false;
  name.remove_prefix(kTemporaryPrefix.size());
  std::string_view rest;
  for (std::string_view extension : {kTemporaryFileExtension, kStagingFolderExtension}) {
    if (name.size() > extension.size() && name.substr(name.size() - extension.size()) == extension) {
      rest = name.substr(0, name.size() - extension.size());
      break;
    }
  }
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos) return false;
  const std::string_view id = rest.substr(0, dash), counter = rest.substr(dash + 1);
  if (!IsDigits(id) || !IsDigits(counter)) return false;
  process = std::stoull(std::string(id));
  return true;
}

int RemoveStaleTemporaries(const std::string& folder, int64_t min_age_seconds) {
  std::vector<std::string> stale;
  EnumerateDirectory(folder, [&](const TDirectoryEntry& entry) {
    uint64_t process = 0;
    if (entry.is_link || !ParseTemporaryName(entry.name, process)) return;
    // Ours are alive while this process runs, whatever their age.
    if (process == CurrentProcessId() || ProcessRunning(process)) return;
    stale.push_back(entry.name);
  });
  int removed = 0;
  const std::string prefix = IncludeTrailingDelimiter(folder);
  for (const std::string& name : stale) {
    const fs::path path = ToPath(prefix + name);
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (ec || fs::is_symlink(status)) continue;
    const bool folder_entry = fs::is_directory(status);
    const std::string_view wanted = folder_entry ? kStagingFolderExtension : kTemporaryFileExtension;
    if (name.size() < wanted.size() || name.compare(name.size() - wanted.size(), wanted.size(), wanted) != 0) continue;
    const auto written = fs::last_write_time(path, ec);
    if (ec) continue;
    const auto age = std::chrono::duration_cast<std::chrono::seconds>(fs::file_time_type::clock::now() - written);
    if (age.count() < min_age_seconds) continue;
    // remove_all takes a link inside the staging folder as a link, not its target.
    if (folder_entry ? fs::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec : fs::remove(path, ec))
      ++removed;
  }
  return removed;
}

}  // namespace platform
