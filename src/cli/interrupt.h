#pragma once
// Ctrl+C and its kin ask the sort run to stop instead of ending the program, so
// that the run removes its temporary files and the report keeps whole rows.

namespace cli {

// SIGINT and SIGTERM; on Windows Ctrl+C, Ctrl+Break and closing the console
// (or logging off, shutting down).
void InstallInterruptHandlers();
// True once an interrupt arrived; stays true.
bool InterruptRequested();
// What a handler does; also for tests.
void RequestInterrupt();
// For tests that run the sorter more than once in one process.
void ClearInterrupt();

}  // namespace cli
