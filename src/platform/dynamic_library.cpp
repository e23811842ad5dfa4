#include "platform/dynamic_library.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/file_system.h"
#else
#include <dlfcn.h>

#include <cerrno>
#endif

namespace platform {

#ifdef _WIN32

const char* const kLibraryExtension = ".dll";

TLibraryHandle LoadDynamicLibrary(const std::string& path, TLibraryError& error) {
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  HMODULE module = LoadLibraryW(ToPath(path).wstring().c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previous);
  if (module) return module;
  error.code = static_cast<int>(code);
  wchar_t* text = nullptr;
  FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                 code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (text) {
    std::wstring message(text);
    LocalFree(text);
    while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n')) message.pop_back();
    error.text = FromPath(std::filesystem::path(message));
  }
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
