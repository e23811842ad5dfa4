#include "platform/file_copy.h"

#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/temporary_files.h"

namespace platform {

namespace {

constexpr size_t kBlock = 1 << 20;

TCopyWriteFault& WriteFault() {
  static TCopyWriteFault fault;
  return fault;
}

std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(kPathDelimiter == '/' ? "/" : "\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

std::error_code Canceled() { return std::make_error_code(std::errc::operation_canceled); }

#ifdef _WIN32

std::wstring Wide(const std::string& utf8) { return ToPath(utf8).wstring(); }

// Closes the handles and removes the temporary file unless it was renamed.
struct TCopyFiles {
  HANDLE in = INVALID_HANDLE_VALUE;
  HANDLE out = INVALID_HANDLE_VALUE;
  std::string temp;
  ~TCopyFiles() {
    if (in != INVALID_HANDLE_VALUE) CloseHandle(in);
    CloseOut();
    if (!temp.empty()) DeleteFileW(Wide(temp).c_str());
  }
  bool CloseOut() {
    if (out == INVALID_HANDLE_VALUE) return true;
    const bool ok = CloseHandle(out) != 0;
    out = INVALID_HANDLE_VALUE;
    return ok;
  }
};

std::error_code Copy(const std::string& source, const std::string& target, const std::function<bool()>& stop) {
  TCopyFiles files;
  // Others may read the archive meanwhile, but not change it under the copy.
  files.in = CreateFileW(Wide(source).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (files.in == INVALID_HANDLE_VALUE) return LastSystemError();
  FILETIME written{};
  if (!GetFileTime(files.in, nullptr, nullptr, &written)) return LastSystemError();
  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 100 && files.out == INVALID_HANDLE_VALUE; ++attempt) {
    const std::string temp = TemporaryName(folder, kTemporaryFileExtension);
    files.out = CreateFileW(Wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (files.out != INVALID_HANDLE_VALUE) {
      files.temp = temp;
    } else if (GetLastError() != ERROR_FILE_EXISTS) {
      return LastSystemError();
    }
  }
  if (files.out == INVALID_HANDLE_VALUE) return std::make_error_code(std::errc::file_exists);
  std::vector<char> block(kBlock);
  int64_t offset = 0;
  for (;;) {
    if (stop && stop()) return Canceled();
    DWORD got = 0;
    if (!ReadFile(files.in, block.data(), static_cast<DWORD>(kBlock), &got, nullptr)) return LastSystemError();
    if (got == 0) break;
    if (const auto& fault = WriteFault())
      if (const std::error_code error = fault(target, offset)) return error;
    DWORD put = 0;
    if (!WriteFile(files.out, block.data(), got, &put, nullptr)) return LastSystemError();
    if (put != got) return std::error_code(ERROR_DISK_FULL, std::system_category());
    offset += got;
  }
  SetFileTime(files.out, nullptr, nullptr, &written);
  if (!files.CloseOut()) return LastSystemError();
  if (const std::error_code error = RenameReplace(files.temp, target)) return error;
  files.temp.clear();
  return {};
}

#else

struct TCopyFiles {
  int in = -1;
  int out = -1;
  std::string temp;
  ~TCopyFiles() {
    if (in >= 0) ::close(in);
    if (out >= 0) ::close(out);
    if (!temp.empty()) ::unlink(temp.c_str());
  }
  // A network file system may report a failed write only here.
  bool CloseOut() {
    const int fd = std::exchange(out, -1);
    return fd < 0 || ::close(fd) == 0;
  }
};

std::error_code Copy(const std::string& source, const std::string& target, const std::function<bool()>& stop) {
  TCopyFiles files;
  do {
    files.in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  } while (files.in < 0 && errno == EINTR);
  if (files.in < 0) return LastSystemError();
  struct stat st {};
  if (::fstat(files.in, &st) != 0) return LastSystemError();
  if (S_ISDIR(st.st_mode)) return std::make_error_code(std::errc::is_a_directory);
  const std::string folder = FolderOf(target);
  for (int attempt = 0; attempt < 100 && files.out < 0; ++attempt) {
    const std::string temp = TemporaryName(folder, kTemporaryFileExtension);
    do {
      files.out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (files.out < 0 && errno == EINTR);
    if (files.out >= 0)
      files.temp = temp;
    else if (errno != EEXIST)
      return LastSystemError();
  }
  if (files.out < 0) return std::make_error_code(std::errc::file_exists);
  std::vector<char> block(kBlock);
  int64_t offset = 0;
  for (;;) {
    if (stop && stop()) return Canceled();
    const ssize_t got = ::read(files.in, block.data(), kBlock);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return LastSystemError();
    if (got == 0) break;
    if (const auto& fault = WriteFault())
      if (const std::error_code error = fault(target, offset)) return error;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = ::write(files.out, block.data() + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return LastSystemError();
      if (put == 0) return std::make_error_code(std::errc::no_space_on_device);
      done += put;
    }
    offset += got;
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(files.out, times);
  if (!files.CloseOut()) return LastSystemError();
  if (const std::error_code error = RenameReplace(files.temp, target)) return error;
  files.temp.clear();
  return {};
}

#endif

}  // namespace

std::error_code CopyFileWhole(const std::string& source, const std::string& target, const std::function<bool()>& stop) {
  return Copy(source, target, stop);
}

void SetCopyWriteFault(TCopyWriteFault fault) { WriteFault() = std::move(fault); }

}  // namespace platform
