#pragma once

#include <string>
#include <vector>

namespace sorting {

// Appends to list the full path of every file in folder whose extension
// (without the leading full stop, e.g. "zip") matches ignoring case, and with
// recursive set those of all sub-folders too, depth-first: a sub-folder's files
// stand where the sub-folder was met. Directories are never listed; hidden and
// system files are. A folder that cannot be read adds nothing. Links to folders
// are followed, but a folder already on the current descent is not entered
// again, so a link loop cannot make the search endless. A sub-folder that is
// the excluded folder (the same folder, however reached) is not searched.
void SearchFiles(const std::string& folder, const std::string& extension, bool recursive,
                 std::vector<std::string>& list, const std::string& excluded = {});

}  // namespace sorting
