#pragma once
// Symbolic links for tests that check how links are followed or replaced.

#include <filesystem>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/file_system.h"

namespace support {

// Makes link a symbolic link to the folder target. False where the system
// cannot: Windows without the privilege or developer mode, and Wine, whose
// links are a stub that reports success and makes nothing (std::filesystem of
// MinGW makes none at all, hence the system call). Tests skip then.
inline bool MakeFolderLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
  const std::wstring to = platform::ToPath(target).wstring(), at = platform::ToPath(link).wstring();
  return CreateSymbolicLinkW(at.c_str(), to.c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
         platform::IsLink(link);
#else
  std::error_code ec;
  std::filesystem::create_directory_symlink(platform::ToPath(target), platform::ToPath(link), ec);
  return !ec;
#endif
}

// The same for a link to a file.
inline bool MakeFileLink(const std::string& target, const std::string& link) {
#ifdef _WIN32
  const std::wstring to = platform::ToPath(target).wstring(), at = platform::ToPath(link).wstring();
  return CreateSymbolicLinkW(at.c_str(), to.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
         platform::IsLink(link);
#else
  std::error_code ec;
  std::filesystem::create_symlink(platform::ToPath(target), platform::ToPath(link), ec);
  return !ec;
#endif
}

inline constexpr const char* kNoLinks = "no symbolic links here (under Wine there are none)";
inline constexpr const char* kNoFolderLinks = "no symbolic links to folders here (under Wine there are none)";

}  // namespace support
