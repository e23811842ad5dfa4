#pragma once
// A scratch folder for one test, removed when the test ends. Its name carries the
// process id, so tests that CTest runs side by side never share a folder.

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

#include "platform/file_system.h"

namespace support {

class TTempFolder {
 public:
  explicit TTempFolder(const std::string& name) {
#ifdef _WIN32
    const int pid = _getpid();
#else
    const int pid = static_cast<int>(::getpid());
#endif
    // Windows gives the temporary folder with its trailing delimiter.
    path_ = platform::IncludeTrailingDelimiter(platform::FromPath(std::filesystem::temp_directory_path())) + name +
            "_" + std::to_string(pid);
    std::error_code ec;
    std::filesystem::remove_all(platform::ToPath(path_), ec);
    std::filesystem::create_directories(platform::ToPath(path_));
  }
  ~TTempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(platform::ToPath(path_), ec);
  }
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  std::string operator/(const std::string& name) const { return path_ + platform::kPathDelimiter + name; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace support
