#pragma once
// Loading a shared library at run time and finding its entry points.

#include <string>

namespace platform {

// ".so" on POSIX systems, ".dll" on Windows.
extern const char* const kLibraryExtension;

using TLibraryHandle = void*;

// What a failed load leaves behind: the system's error number (0 when the
// system gives none) and its text.
struct TLibraryError {
  int code = 0;
  std::string text;
};

// Loads the file; none on failure, with the error filled in. A bare name is
// searched for the system's usual way on POSIX systems; on Windows it is looked
// for in the program's own folder only, never on the search path, and
// critical-error and fault boxes are switched off for the duration of the load.
TLibraryHandle LoadDynamicLibrary(const std::string& path, TLibraryError& error);
// The address of an exported name, or none.
void* LibrarySymbol(TLibraryHandle library, const char* name);
void FreeDynamicLibrary(TLibraryHandle library);

}  // namespace platform
