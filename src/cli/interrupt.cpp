#include "cli/interrupt.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace cli {

namespace {

// Set from a signal handler (or, on Windows, from the console's handler thread):
// it must be lock-free to be touched there.
std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

#ifdef _WIN32
// The system ends the process as soon as the handler of a close, log-off or
// shut-down event returns (and at the latest about five seconds after the
// event): the handler waits so that the run can stop and clean up meanwhile;
// the process ends when the program returns from main.
constexpr DWORD kCloseGraceMs = 4500;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      RequestInterrupt();
      return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      RequestInterrupt();
      Sleep(kCloseGraceMs);
      return TRUE;
    default:
      return FALSE;
  }
}
#else
void OnSignal(int) { RequestInterrupt(); }
#endif

}  // namespace

void InstallInterruptHandlers() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // Interrupted reads and writes carry on; the run asks the flag at its next poll.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() { return interrupted.load(std::memory_order_relaxed); }

void RequestInterrupt() { interrupted.store(true, std::memory_order_relaxed); }

void ClearInterrupt() { interrupted.store(false, std::memory_order_relaxed); }

}  // namespace cli
