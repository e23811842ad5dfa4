#include "platform/replace_file_stream.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>

#include "common/windows_path.h"
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/system_error.h"
#include "platform/temporary_files.h"

namespace platform {

namespace {

// The folder part of a path with its trailing delimiter ("" for a bare name).
std::string FolderOf(const std::string& path) {
  const size_t cut = path.find_last_of(kPathDelimiter == '/' ? "/" : "\\/");
  return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}

}  // namespace

TReplaceFileStream::TReplaceFileStream(const std::string& final_name) : final_name_(final_name) {
  const std::string folder = FolderOf(final_name);
  for (int attempt = 0; attempt < 100 && handle_ == -1; ++attempt) {
    temp_name_ = TemporaryName(folder, kTemporaryFileExtension);
#ifdef _WIN32
    HANDLE h = CreateFileW(common::WidePath(temp_name_).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(h);
    } else if (GetLastError() != ERROR_FILE_EXISTS) {
      error_ = LastSystemError();
      break;
    }
#else
    int fd;
    do {
      fd = ::open(temp_name_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      handle_ = fd;
    } else if (errno != EEXIST) {
      error_ = LastSystemError();
      break;
    }
#endif
  }
  if (handle_ == -1) {
    temp_name_.clear();
    throw common::EFCreateError(common::Format("Cannot create file \"%s\"", final_name.c_str()));
  }
}

TReplaceFileStream::~TReplaceFileStream() {
  if (!committed_) Discard();
}

int64_t TReplaceFileStream::Write(const void* buffer, int64_t count) {
  const int64_t put = THandleStream::Write(buffer, count);
  if (put != count && !error_) {
    error_ = LastSystemError();
    if (!error_) error_ = std::make_error_code(std::errc::no_space_on_device);
  }
  return put;
}

void TReplaceFileStream::CloseHandle() {
  if (handle_ == -1) return;
#ifdef _WIN32
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
#else
  ::close(static_cast<int>(handle_));
#endif
  handle_ = -1;
}

void TReplaceFileStream::Discard() {
  CloseHandle();
  if (!temp_name_.empty() && !committed_) {
#ifdef _WIN32
    DeleteFileW(common::WidePath(temp_name_).c_str());
#else
    ::unlink(temp_name_.c_str());
#endif
  }
  temp_name_.clear();
}

bool TReplaceFileStream::Commit() {
  if (temp_name_.empty() || committed_) return committed_;
  bool ok = true;
#ifndef _WIN32
  ok = ::close(static_cast<int>(handle_)) == 0;
  handle_ = -1;
#else
  CloseHandle();
#endif
  if (!ok && !error_) error_ = LastSystemError();
  if (ok && has_stamp_) SetFileModificationTime(temp_name_, stamp_);
#ifdef _WIN32
  ok = ok && MoveFileExW(common::WidePath(temp_name_).c_str(), common::WidePath(final_name_).c_str(),
                         MOVEFILE_REPLACE_EXISTING) != 0;
#else
  ok = ok && ::rename(temp_name_.c_str(), final_name_.c_str()) == 0;
#endif
  if (!ok && !error_) error_ = LastSystemError();
  if (!ok) {
    Discard();
    return false;
  }
  committed_ = true;
  temp_name_.clear();
  return true;
}

}  // namespace platform
