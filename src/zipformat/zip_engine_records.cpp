#include "zipformat/zip_engine_records.h"

#include "platform/text_conversion.h"

namespace zip {

std::string RecordText(const void* text, int32_t width) {
  if (!text) return {};
  if (width == 1) {
    const auto* w = static_cast<const char16_t*>(text);
    size_t n = 0;
    while (w[n] != 0) ++n;
    return platform::Utf16ToUtf8(std::u16string_view(w, n));
  }
  return static_cast<const char*>(text);
}

}  // namespace zip
