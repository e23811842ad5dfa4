#pragma once
// Generates, in memory, a document shaped like a large cadastral plan of
// territory: UTF-8, CR LF line ends, indentation, blocks of parcels whose
// boundaries are long runs of coordinate elements, Cyrillic addresses with a
// few references, a stylesheet instruction before the root and the
// certification document at the very end.

#include <cstddef>
#include <cstdint>
#include <string>

namespace bench {

// At least target_bytes long (one parcel more at most); the same every time.
std::string MakePlanDocument(size_t target_bytes);
// The document of that many MB (10^6 bytes), made once per program run.
const std::string& PlanDocument(int64_t megabytes);

}  // namespace bench
