#pragma once
// CRC-32 (the ZIP polynomial) of a block, continuing a running value: the same
// results as zlib's crc32, with carry-less multiplication where the
// processor has it.

#include <cstddef>
#include <cstdint>

namespace zipengine {

uint32_t ZipCrc32(uint32_t crc, const uint8_t* data, size_t count);

// The portable path alone, for comparing.
uint32_t ZipCrc32Portable(uint32_t crc, const uint8_t* data, size_t count);

// Whether ZipCrc32 uses the carry-less multiplication path here.
bool ZipCrc32Accelerated();

}  // namespace zipengine
