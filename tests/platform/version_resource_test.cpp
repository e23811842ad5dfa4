#include "platform/version_resource.h"

#include <gtest/gtest.h>

#include <string>

using namespace platform;

namespace {

// A record laid out by hand: length, value length 52, type 0, the key in UTF-16
// with its terminator, two bytes of padding, then the fixed file information with
// file version 2.3.0.17 (high word major 2, minor 3; low word release 0, build 17).
std::string HandMadeRecord() {
  std::string r = std::string("\x5C\x00\x34\x00\x00\x00", 6);
  for (char c : std::string("VS_VERSION_INFO")) r += std::string{c, '\0'};
  r += std::string(2, '\0');  // terminator
  r += std::string(2, '\0');  // padding to 40
  r += std::string("\xBD\x04\xEF\xFE\x00\x00\x01\x00", 8);
  r += std::string("\x03\x00\x02\x00\x11\x00\x00\x00", 8);  // file version
  return r;
}

TEST(VersionResourceTest, ReadsTheFileVersionWordsOfTheRecord) {
  const std::string record = HandMadeRecord();
  ASSERT_EQ(record.size(), 56u);
  EXPECT_EQ(FileVersionText(record), "v2.3.0.17");
  // Only the first 56 bytes are needed; one fewer gives nothing.
  EXPECT_EQ(FileVersionText(std::string_view(record).substr(0, 55)), "");
  EXPECT_EQ(FileVersionText(""), "");
}

TEST(VersionResourceTest, BuiltRecordHasTheWindowsLayout) {
  const std::string record = MakeVersionRecord({2, 3, 0, 17});
  ASSERT_EQ(record.size(), 92u);  // header, key, padding, 52 bytes of fixed information
  EXPECT_EQ(record.substr(0, 56), HandMadeRecord());
  EXPECT_EQ(FileVersionText(record), "v2.3.0.17");
  EXPECT_EQ(FileVersionText(MakeVersionRecord({65535, 0, 9, 1})), "v65535.0.9.1");
}

TEST(VersionResourceTest, OwnRecordCarriesTheProjectVersion) {
  EXPECT_EQ(FileVersionText(OwnVersionRecord()), "v" VORLANEX_TEST_VERSION);
}

}  // namespace
