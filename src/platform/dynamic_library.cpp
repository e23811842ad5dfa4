#include "platform/dynamic_library.h"

#ifdef _WIN32
#include <windows.h>

#include "common/windows_path.h"
#include "platform/file_system.h"
#else
#include <dlfcn.h>

#include <cerrno>
#endif

namespace platform {

#ifdef _WIN32

const char* const kLibraryExtension = ".dll";

TLibraryHandle LoadDynamicLibrary(const std::string& path, TLibraryError& error) {
  // Never the system's search path (the current folder and PATH could hold a
  // planted library): a bare name is looked for in the program's own folder,
  // a relative path is taken from the current folder.
  std::string file = path;
  if (!path.empty() && path.find_first_of("\\/:") == std::string::npos) file = ExecutableDirectory() + path;
  std::wstring wide = common::WidePath(file);
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size > 0) {
    std::wstring full(size, L'\0');
    const DWORD n = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
    if (n > 0 && n < size) wide.assign(full.data(), n);
  }
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  // What the library itself needs comes from its own folder or the system's.
  HMODULE module =
      LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  DWORD code = GetLastError();
  if (!module && code == ERROR_INVALID_PARAMETER) {
    // A Windows 7 without the update that brought those flags.
    module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    code = GetLastError();
  }
  SetErrorMode(previous);
  if (module) return module;
  error.code = static_cast<int>(code);
  error.text = common::SystemErrorText(code);
  return nullptr;
}

void* LibrarySymbol(TLibraryHandle library, const char* name) {
  return library ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name)) : nullptr;
}

void FreeDynamicLibrary(TLibraryHandle library) {
  if (library) FreeLibrary(static_cast<HMODULE>(library));
}

#else

const char* const kLibraryExtension = ".so";

TLibraryHandle LoadDynamicLibrary(const std::string& path, TLibraryError& error) {
  errno = 0;
  dlerror();
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) return handle;
  error.code = errno;
  const char* text = dlerror();
  error.text = text ? text : "";
  return nullptr;
}

void* LibrarySymbol(TLibraryHandle library, const char* name) { return library ? dlsym(library, name) : nullptr; }

void FreeDynamicLibrary(TLibraryHandle library) {
  if (library) dlclose(library);
}

#endif

}  // namespace platform
