#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <io.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include "cli/cli.h"
#include "cli/interrupt.h"
#include "platform/text_conversion.h"

namespace {

// The program's arguments as UTF-8.
std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  std::vector<std::string> args;
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i)
      args.push_back(platform::Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide[i]))));
    LocalFree(wide);
  }
  SetConsoleOutputCP(CP_UTF8);
  return args;
#else
  return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

bool ErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  cli::InstallInterruptHandlers();
  return cli::RunCli(Arguments(argc, argv), std::cout, std::cerr, ErrorIsTerminal());
}
