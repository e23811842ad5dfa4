#include "zipengine/zip_crc32.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

// The fast path gives zlib's values for every length, alignment and start value.
TEST(ZipCrc32, MatchesThePortablePath) {
  std::mt19937 random(7);
  std::vector<uint8_t> data(5000);
  for (uint8_t& b : data) b = static_cast<uint8_t>(random());
  for (size_t offset : {0, 1, 3, 8, 15}) {
    for (size_t length : {0, 1, 15, 16, 63, 64, 65, 80, 127, 128, 129, 1000, 4096, 4985}) {
      for (uint32_t start : {0u, 0xFFFFFFFFu, 0x12345678u}) {
        ASSERT_EQ(zipengine::ZipCrc32(start, data.data() + offset, length),
                  zipengine::ZipCrc32Portable(start, data.data() + offset, length))
            << offset << " " << length << " " << start;
      }
    }
  }
  // Continued in pieces as the engine does.
  uint32_t pieces = 0;
  for (size_t at = 0; at < data.size(); at += 777)
    pieces = zipengine::ZipCrc32(pieces, data.data() + at, std::min<size_t>(777, data.size() - at));
  EXPECT_EQ(pieces, zipengine::ZipCrc32Portable(0, data.data(), data.size()));
  const uint8_t check[] = "123456789";
  EXPECT_EQ(zipengine::ZipCrc32(0, check, 9), 0xCBF43926u);
}
