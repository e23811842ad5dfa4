#include "platform/file_system.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <windows.h>

#include "common/windows_path.h"
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/system_error.h"
#include "platform/text_conversion.h"

namespace platform {

std::filesystem::path ToPath(std::string_view utf8) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string FromPath(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::string IncludeTrailingDelimiter(std::string path) {
  if (path.empty() || path.back() != kPathDelimiter) path.push_back(kPathDelimiter);
  return path;
}

#ifdef _WIN32

namespace {

using common::WidePath;

// Folder levels are separated by either delimiter on Windows.
bool IsDelimiter(char c) { return c == '\\' || c == '/'; }

TPathKind KindOf(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return TPathKind::None;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? TPathKind::Directory : TPathKind::File;
}

// Opens a file or folder for its information only, links followed.
HANDLE OpenForInformation(const std::string& path, DWORD access = 0, DWORD flags = 0) {
  return CreateFileW(WidePath(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

int64_t UnixSeconds(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  // 100 ns ticks since 1601-01-01.
  return static_cast<int64_t>(ticks / 10000000ULL) - 11644473600LL;
}

}  // namespace

bool EnumerateDirectory(const std::string& folder, const std::function<void(const TDirectoryEntry&)>& visit) {
  WIN32_FIND_DATAW data;
  std::string pattern = folder.empty() ? std::string(".") : folder;
  if (!IsDelimiter(pattern.back())) pattern.push_back(kPathDelimiter);
  HANDLE h =
      FindFirstFileExW(WidePath(pattern + "*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    TDirectoryEntry entry;
    entry.name = common::Utf8Path(data.cFileName);
    entry.is_link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    entry.is_directory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // A link to a folder counts as a folder, as it does elsewhere.
    if (entry.is_link) entry.is_directory = GetPathKind(pattern + entry.name, true) == TPathKind::Directory;
    visit(entry);
  } while (FindNextFileW(h, &data));
  FindClose(h);
  return true;
}

TPathKind GetPathKind(const std::string& path, bool follow_links) {
  if (path.empty()) return TPathKind::None;
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return KindOf(attributes);
  if (!follow_links) return TPathKind::Link;
  HANDLE h = OpenForInformation(path);
  if (h == INVALID_HANDLE_VALUE) return TPathKind::None;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  return ok ? KindOf(info.dwFileAttributes) : TPathKind::None;
}

bool GetFileIdentity(const std::string& path, TFileIdentity& identity) {
  HANDLE h = OpenForInformation(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0;
  CloseHandle(h);
  if (!ok) return false;
  identity.device = info.dwVolumeSerialNumber;
  identity.file = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool GetFileModificationTime(const std::string& path, int64_t& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return false;
  stamp = static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool GetFileModificationSeconds(const std::string& path, int64_t& unix_seconds) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data)) return false;
  unix_seconds = UnixSeconds(data.ftLastWriteTime);
  return true;
}

bool GetFileLength(const std::string& path, int64_t& size) {
  HANDLE h = OpenForInformation(path);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != 0 && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  CloseHandle(h);
  if (ok) size = static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
  return ok;
}

bool SetFileModificationTime(const std::string& path, int64_t unix_seconds) {
  HANDLE h = OpenForInformation(path, FILE_WRITE_ATTRIBUTES, FILE_FLAG_OPEN_REPARSE_POINT);
  if (h == INVALID_HANDLE_VALUE) return false;
  const uint64_t ticks = static_cast<uint64_t>(unix_seconds + 11644473600LL) * 10000000ULL;
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  const bool ok = SetFileTime(h, nullptr, &time, &time) != 0;
  CloseHandle(h);
  return ok;
}

bool IsLink(const std::string& path) { return GetPathKind(path, false) == TPathKind::Link; }

bool FileExists(const std::string& path) { return GetPathKind(path, true) == TPathKind::File; }

bool DirectoryExists(const std::string& path) { return GetPathKind(path, true) == TPathKind::Directory; }

bool MakeFolder(const std::string& path) { return !path.empty() && CreateDirectoryW(WidePath(path).c_str(), nullptr); }

bool ForceDirectories(const std::string& path) {
  std::string folder = path;
  while (folder.size() > 1 && IsDelimiter(folder.back())) folder.pop_back();
  if (folder.empty()) return false;
  if (DirectoryExists(folder)) return true;
  // The parents first; a drive ("C:") or a share's root ends the climb.
  size_t cut = folder.size();
  while (cut > 0 && !IsDelimiter(folder[cut - 1])) --cut;
  if (cut > 1) {
    const std::string parent = folder.substr(0, cut - 1);
    const bool is_root = parent.back() == ':' || parent.find_first_not_of("\\/") == std::string::npos;
    if (!is_root && !ForceDirectories(parent)) return false;
  }
  MakeFolder(folder);
  return DirectoryExists(folder);
}

bool CopyFileReplace(const std::string& source, const std::string& target) {
  return CopyFileW(WidePath(source).c_str(), WidePath(target).c_str(), FALSE) != 0;
}

namespace {

// The path the system resolves an open file or folder to, links included.
bool FinalPath(const std::wstring& path, std::wstring& final_path) {
  HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  final_path.assign(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  if (n >= final_path.size()) {
    final_path.assign(n + 1, L'\0');
    n = GetFinalPathNameByHandleW(h, final_path.data(), static_cast<DWORD>(final_path.size()), 0);
  }
  CloseHandle(h);
  if (n == 0 || n >= final_path.size()) return false;
  final_path.resize(n);
  return true;
}

// full is absolute and normalised. What exists is resolved by the system; a
// level that does not exist yet is appended as written. Where the system
// cannot give a path whole (Wine past 260 characters), the parent is resolved
// and the level's own name appended, unless that level is a link: then the
// answer is none rather than a guess.
std::wstring Resolve(std::wstring full) {
  const DWORD attributes = GetFileAttributesW(full.c_str());
  std::wstring resolved;
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (FinalPath(full, resolved)) return resolved;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return {};
  }
  const size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut + 1 >= full.size()) return {};
  const std::wstring name = full.substr(cut + 1);
  full.resize(cut);
  // A drive without its "\" would name the current folder of that drive.
  if (!full.empty() && full.back() == L':') full.push_back(L'\\');
  resolved = Resolve(full);
  if (resolved.empty()) return {};
  if (resolved.back() != L'\\') resolved.push_back(L'\\');
  return resolved + name;
}

}  // namespace

std::string RealPath(const std::string& path) {
  std::wstring wide = WidePath(path.empty() ? std::string(".") : path);
  if (wide.rfind(L"\\\\?\\", 0) != 0) {
    // Absolute and without "." and ".." levels (a long path already is).
    const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (size == 0) return {};
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (n == 0 || n >= size) return {};
    wide.assign(full.data(), n);
  }
  const std::wstring resolved = Resolve(wide);
  return resolved.empty() ? std::string() : common::Utf8Path(resolved);
}

std::string ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return common::Utf8Path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

#else

bool EnumerateDirectory(const std::string& folder, const std::function<void(const TDirectoryEntry&)>& visit) {
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return false;
  const std::string prefix = IncludeTrailingDelimiter(folder);
  while (const dirent* d = ::readdir(dir)) {
    TDirectoryEntry entry;
    entry.name = d->d_name;
    entry.is_link = d->d_type == DT_LNK;
    entry.is_directory = d->d_type == DT_DIR;
    if (d->d_type == DT_LNK || d->d_type == DT_UNKNOWN) {
      struct stat st {};
      if (::stat((prefix + entry.name).c_str(), &st) == 0) entry.is_directory = S_ISDIR(st.st_mode);
      if (d->d_type == DT_UNKNOWN) {
        struct stat lst {};
        entry.is_link = ::lstat((prefix + entry.name).c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
      }
    }
    visit(entry);
  }
  ::closedir(dir);
  return true;
}

bool GetFileIdentity(const std::string& path, TFileIdentity& identity) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  identity.device = static_cast<uint64_t>(st.st_dev);
  identity.file = static_cast<uint64_t>(st.st_ino);
  return true;
}

bool GetFileModificationTime(const std::string& path, int64_t& stamp) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  stamp = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  return true;
}

bool SetFileModificationTime(const std::string& path, int64_t unix_seconds) {
  struct timespec times[2];
  times[0].tv_sec = static_cast<time_t>(unix_seconds);
  times[0].tv_nsec = 0;
  times[1] = times[0];
  return ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string ExecutablePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

TPathKind GetPathKind(const std::string& path, bool follow_links) {
  struct stat st {};
  if ((follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0) return TPathKind::None;
  if (S_ISLNK(st.st_mode)) return TPathKind::Link;
  if (S_ISDIR(st.st_mode)) return TPathKind::Directory;
  return S_ISREG(st.st_mode) ? TPathKind::File : TPathKind::Other;
}

bool GetFileModificationSeconds(const std::string& path, int64_t& unix_seconds) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  unix_seconds = static_cast<int64_t>(st.st_mtim.tv_sec);
  return true;
}

bool GetFileLength(const std::string& path, int64_t& size) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  size = static_cast<int64_t>(st.st_size);
  return true;
}

bool FileExists(const std::string& path) { return GetPathKind(path, true) == TPathKind::File; }

bool DirectoryExists(const std::string& path) { return GetPathKind(path, true) == TPathKind::Directory; }

bool MakeFolder(const std::string& path) { return !path.empty() && ::mkdir(path.c_str(), 0777) == 0; }

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  const auto p = ToPath(path);
  std::filesystem::create_directories(p, ec);
  return std::filesystem::is_directory(p, ec);
}

bool CopyFileReplace(const std::string& source, const std::string& target) {
  std::error_code ec;
  return std::filesystem::copy_file(ToPath(source), ToPath(target), std::filesystem::copy_options::overwrite_existing,
                                    ec) &&
         !ec;
}

std::string RealPath(const std::string& path) {
  std::error_code ec;
  const auto real = std::filesystem::weakly_canonical(ToPath(path.empty() ? "." : path), ec);
  return ec ? std::string() : FromPath(real);
}

#endif

std::error_code CreateFolders(const std::string& path) {
  if (path.empty()) return std::make_error_code(std::errc::invalid_argument);
#ifdef _WIN32
  if (ForceDirectories(path)) return {};
  const std::error_code ec = LastSystemError();
  // The system says "exists" or "path not found" when a file stands where a
  // folder of the path should be; say what is wrong, as POSIX systems do.
  for (std::string level = path; !level.empty();) {
    if (GetPathKind(level, true) == TPathKind::File) return std::make_error_code(std::errc::not_a_directory);
    const size_t cut = level.find_last_of("\\/");
    if (cut == std::string::npos || cut == 0) break;
    level.resize(cut);
  }
  return ec ? ec : std::make_error_code(std::errc::not_a_directory);
#else
  std::error_code ec;
  const auto p = ToPath(path);
  std::filesystem::create_directories(p, ec);
  std::error_code probe;
  if (std::filesystem::is_directory(p, probe)) return {};
  return ec ? ec : std::make_error_code(std::errc::not_a_directory);
#endif
}

std::error_code RenameReplace(const std::string& from, const std::string& to) {
  if (GetPathKind(to, false) == TPathKind::Directory) return std::make_error_code(std::errc::is_a_directory);
#ifdef _WIN32
  if (!MoveFileExW(common::WidePath(from).c_str(), common::WidePath(to).c_str(), MOVEFILE_REPLACE_EXISTING))
    return LastSystemError();
#else
  if (::rename(from.c_str(), to.c_str()) != 0) return LastSystemError();
#endif
  return {};
}

namespace {

std::FILE* OpenForReading(const std::string& path) {
#ifdef _WIN32
  return _wfopen(common::WidePath(path).c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

}  // namespace

bool SameContent(const std::string& a, const std::string& b, std::error_code& error) {
  error.clear();
  int64_t size_a = 0, size_b = 0;
  if (!GetFileLength(a, size_a) || !GetFileLength(b, size_b)) {
    error = LastSystemError();
    if (!error) error = std::make_error_code(std::errc::no_such_file_or_directory);
    return false;
  }
  if (size_a != size_b) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in_a(OpenForReading(a), &std::fclose);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> in_b(OpenForReading(b), &std::fclose);
  if (!in_a || !in_b) {
    error = LastSystemError();
    if (!error) error = std::make_error_code(std::errc::io_error);
    return false;
  }
  constexpr size_t kBlock = 1 << 16;
  std::vector<char> block_a(kBlock), block_b(kBlock);
  for (;;) {
    const size_t got_a = std::fread(block_a.data(), 1, kBlock, in_a.get());
    const size_t got_b = std::fread(block_b.data(), 1, kBlock, in_b.get());
    if (got_a != got_b) break;
    if (got_a == 0) break;
    if (std::memcmp(block_a.data(), block_b.data(), got_a) != 0) return false;
    if (got_a < kBlock) break;
  }
  if (std::ferror(in_a.get()) || std::ferror(in_b.get())) {
    error = std::make_error_code(std::errc::io_error);
    return false;
  }
  // Same length, same bytes up to where both ended.
  return std::feof(in_a.get()) && std::feof(in_b.get());
}

std::string ExecutableDirectory() {
  const std::string exe = ExecutablePath();
  if (exe.empty()) return {};
  return IncludeTrailingDelimiter(FromPath(ToPath(exe).parent_path()));
}

}  // namespace platform
