#pragma once
// Turning a stored entry name into a path below the base folder, refusing
// every name that could reach outside it.

#include <string>
#include <string_view>
#include <vector>

namespace zipengine {

// Splits the name into folder levels ("/" and "\" both separate them) and
// checks it: false for an empty name, an absolute name, a drive or UNC
// prefix, a ".." level, a NUL character, and on Windows for names the system
// would read differently (":" anywhere, levels ending in "." or blank,
// device names). "." levels and empty levels inside the name are dropped.
bool SplitEntryPath(std::string_view name, std::vector<std::string>& levels);

// The levels joined with the platform delimiter.
std::string JoinLevels(const std::vector<std::string>& levels, size_t count);

}  // namespace zipengine
