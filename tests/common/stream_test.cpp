#include "common/stream.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "common/text_format.h"

using namespace common;

TEST(MemoryStream, WriteSeekReadAndGrow) {
  TMemoryStream s;
  const std::string part(10000, 'x');
  for (int i = 0; i < 10; ++i) s.WriteBuffer(part.data(), static_cast<int64_t>(part.size()));
  EXPECT_EQ(s.Size(), 100000);
  EXPECT_EQ(s.Position(), 100000);
  EXPECT_EQ(s.Seek(-10, TSeekOrigin::soEnd), 99990);
  char buf[32];
  EXPECT_EQ(s.Read(buf, 32), 10);
  EXPECT_EQ(s.Read(buf, 32), 0);
  EXPECT_EQ(s.Read(buf, -5), 0);
  s.SetPosition(5);
  s.WriteBuffer("ab", 2);
  s.SetPosition(4);
  ASSERT_EQ(s.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "xabx");
  s.SetSize(3);
  EXPECT_EQ(s.Size(), 3);
  EXPECT_EQ(s.Position(), 3);
  s.Clear();
  EXPECT_EQ(s.Size(), 0);
  EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
}

TEST(MemoryStream, WritingPastTheEndFillsTheGap) {
  TMemoryStream s;
  s.SetPosition(4);
  s.WriteBuffer("z", 1);
  EXPECT_EQ(s.Size(), 5);
}

// Buffers of 32 MB and more are laid out differently: the same stream rules hold.
TEST(MemoryStream, LargeBuffersKeepTheirBytesThroughGrowthAndResizing) {
  TMemoryStream s;
  const int64_t large = int64_t{33} << 20;
  s.Reserve(large);
  EXPECT_GE(s.Capacity(), large);
  EXPECT_EQ(s.Size(), 0);
  std::string block(1 << 20, '\0');
  for (int i = 0; i < 33; ++i) {
    block.assign(block.size(), static_cast<char>('a' + i % 26));
    s.WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
  }
  // Bytes placed in the reserved memory directly, as the extraction places them.
  s.Reserve(large + 4096);
  std::memset(s.Memory() + s.Position(), 'z', 4096);
  s.Advance(4096);
  EXPECT_EQ(s.Size(), large + 4096);
  // Grown past the capacity: the bytes move along; a larger size reads as zeros.
  s.Reserve(large * 2);
  s.SetSize(large + 8192);
  for (int i = 0; i < 33; ++i) {
    char c;
    s.SetPosition(int64_t{i} << 20 | 12345);
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, static_cast<char>('a' + i % 26)) << i;
  }
  EXPECT_EQ(s.Memory()[large + 4095], 'z');
  EXPECT_EQ(s.Memory()[large + 4096], 0);
  EXPECT_EQ(s.Memory()[large + 8191], 0);
  s.SetSize(5);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(s.Memory()), 5), "aaaaa");
  s.Clear();
  EXPECT_EQ(s.Capacity(), 0);
}

TEST(VirtualMemoryStream, ReadsForeignMemoryAndRefusesWrites) {
  const char text[] = "hello";
  TVirtualMemoryStream s(text, 5);
  char buf[8] = {};
  EXPECT_EQ(s.Read(buf, 8), 5);
  EXPECT_STREQ(buf, "hello");
  EXPECT_EQ(s.Memory(), reinterpret_cast<const uint8_t*>(text));
  try {
    s.Write("x", 1);
    FAIL();
  } catch (const EStreamError& e) {
    EXPECT_STREQ(e.what(), "You cannot write to a TVirtualMemoryStream.");
  }
  EXPECT_THROW(s.SetSize(1), EStreamError);
}

TEST(FileStream, CreateWriteReopenAndRead) {
  const auto dir = std::filesystem::temp_directory_path() / "vorlanex_stream_test";
  std::filesystem::create_directories(dir);
  // UTF-8 on every system; a narrow path on Windows would be in the ANSI code page.
  const std::u8string name = (dir / std::filesystem::path(u8"файл.bin")).u8string();
  const std::string path(name.begin(), name.end());
  {
    TFileStream f(path, TFileMode::fmCreate);
    f.WriteBuffer("0123456789", 10);
    EXPECT_EQ(f.Size(), 10);
    // The size changes the position only when it lay past the new end.
    f.Seek(2, TSeekOrigin::soBeginning);
    f.SetSize(12);
    EXPECT_EQ(f.Position(), 2);
    f.SetSize(10);
    EXPECT_EQ(f.Position(), 2);
    f.Seek(8, TSeekOrigin::soBeginning);
    f.SetSize(5);
    EXPECT_EQ(f.Position(), 5);
    f.SetSize(10);
    f.Seek(5, TSeekOrigin::soBeginning);
    f.WriteBuffer("56789", 5);
  }
  {
    TFileStream f(path, TFileMode::fmOpenRead);
    EXPECT_EQ(f.Size(), 10);
    f.Seek(3, TSeekOrigin::soBeginning);
    char buf[4];
    f.ReadBuffer(buf, 4);
    EXPECT_EQ(std::string(buf, 4), "3456");
    TMemoryStream m;
    m.LoadFromStream(f);
    EXPECT_EQ(m.Size(), 10);
    EXPECT_EQ(m.Position(), 0);
  }
  EXPECT_THROW(TFileStream((dir / "missing").string(), TFileMode::fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(dir.string(), TFileMode::fmOpenRead), EFOpenError);
  std::filesystem::remove_all(dir);
}

TEST(TextFormat, FormatAndTrim) {
  EXPECT_EQ(Format("%s   (%d)", "Title", 42), "Title   (42)");
  EXPECT_EQ(Format("%s", ""), "");
  EXPECT_EQ(Trim(" \t\r\nОбработано\r\n"), "Обработано");
  EXPECT_EQ(Trim("\x01\x02"), "");
  EXPECT_EQ(Trim(u"  a b  "), u"a b");
}
