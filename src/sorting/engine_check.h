#pragma once
// Whether the extraction engine can be loaded, asked once before a run so that a
// missing or unusable library is one clear message instead of one per archive.

#include <string>

namespace sorting {

// Loads and gives back the engine from folder (empty: the program's own folder,
// where the run looks). False when it cannot be loaded; message then names the
// library, the folder it was looked for in and the reason.
bool EngineAvailable(const std::string& folder, std::string& message);

}  // namespace sorting
