#pragma once
// Joins the numbered parts of a split archive into one plain archive, so the
// engine can read it like any other.

#include <string>

namespace zip {

class TZipFile;

// Writes the listed file's parts as one archive: the entry data of every part
// in order (without the spanning marker), then a central directory with
// offsets counted from the joined start and every disk number 0. Returns 0,
// or -1 when a part cannot be read, a record points outside its part, or the
// target cannot be written (nothing is left under the target name then).
int JoinSplitArchive(const TZipFile& file, const std::string& target);

}  // namespace zip
