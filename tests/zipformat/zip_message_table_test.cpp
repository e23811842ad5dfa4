// The built-in message table, its block format and the exceptions built on it.

#include "zipformat/zip_message_table.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "zipformat/zip_error.h"

using namespace zip;

TEST(ZipMessageTable, LookupAndFallback) {
  EXPECT_EQ(LoadZipStr(123), "Input file does not exist");
  EXPECT_EQ(LoadZipStr(30), "Resource missing for 30");
  EXPECT_EQ(LoadZipStr(300), "Resource missing for 300");
  EXPECT_EQ(LoadZipStr(123 | (5 << 23) | (77 << 9)), "Input file does not exist");  // only the id counts
  EXPECT_EQ(LoadZipStr(127), "This archive is not a valid Zip archive");
  EXPECT_EQ(LoadZipStr(59), "'%s'\r\nwill overwrite\r\n '%s'\r\nRename to '%s'?");
  EXPECT_EQ(LoadZipStr(200), " Unknown error %d");
  EXPECT_EQ(LoadZipStr(219), "Trace: ");
  EXPECT_EQ(LoadZipStr(267), "Skipped files");
  // The hook may replace a text, or supply a missing one.
  auto hook = [](int id, std::string& text) {
    if (id == 30) text = "thirty";
    if (id == 1) text += "!";
  };
  EXPECT_EQ(LoadZipStr(30, hook), "thirty");
  EXPECT_EQ(LoadZipStr(1, hook), "Unknown Error!");
}

TEST(ZipMessageTable, BuiltInBlockHoldsEveryRangeWhole) {
  const std::string_view block = BuiltInMessageBlock();
  ASSERT_GE(block.size(), 12u);
  EXPECT_EQ(static_cast<uint8_t>(block[0]) | static_cast<uint8_t>(block[1]) << 8, 1033);
  EXPECT_EQ(size_t{static_cast<uint8_t>(block[2])} | size_t{static_cast<uint8_t>(block[3])} << 8, block.size() - 8);
  const auto table = TZipMessageTable::FromBlock(block);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->Tag(), "US");
  EXPECT_LT(table->TableSize(), TZipMessageTable::kMaxTableSize);
  const std::pair<int, int> ranges[] = {{1, 22},    {33, 47},   {58, 72},   {83, 92},  {103, 181},
                                        {192, 208}, {215, 220}, {231, 267}, {277, 279}};
  int count = 0;
  for (int id = 0; id < 512; ++id) {
    bool inside = false;
    for (auto [first, last] : ranges) inside = inside || (id >= first && id <= last);
    EXPECT_EQ(!table->Find(id).empty(), inside) << id;
    count += inside ? 1 : 0;
  }
  EXPECT_EQ(count, 204);
}

TEST(ZipMessageTable, BadBlocksCountAsAbsent) {
  const std::string good(BuiltInMessageBlock());
  std::string bad_crc = good;
  bad_crc[8] ^= 1;
  EXPECT_FALSE(TZipMessageTable::FromBlock(bad_crc));
  EXPECT_FALSE(TZipMessageTable::FromBlock(good.substr(0, good.size() - 10)));  // n beyond the data
  EXPECT_FALSE(TZipMessageTable::FromBlock(good.substr(0, 11)));
  std::string garbage = good;
  for (size_t i = 12; i < garbage.size(); ++i) garbage[i] = static_cast<char>(0xFF);
  EXPECT_FALSE(TZipMessageTable::FromBlock(garbage));

  // A table of 20000 bytes or more, or fewer than 50, is refused even with a right CRC.
  auto block_of = [](const std::string& table) {
    std::string packed(compressBound(static_cast<uLong>(table.size())) + 32, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(table.data()));
    z.avail_in = static_cast<uInt>(table.size());
    z.next_out = reinterpret_cast<Bytef*>(packed.data());
    z.avail_out = static_cast<uInt>(packed.size());
    deflate(&z, Z_FINISH);
    packed.resize(z.total_out);
    deflateEnd(&z);
    const uint32_t crc =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(table.data()), static_cast<uInt>(table.size())));
    const size_t n = packed.size() + 4;
    std::string b = {'\x09', '\x04', static_cast<char>(n & 0xFF), static_cast<char>(n >> 8), 'U', 'S', 0, 0};
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<char>(crc >> (8 * i)));
    return b + packed;
  };
  EXPECT_FALSE(TZipMessageTable::FromBlock(block_of(std::string(20000, '\0'))));
  EXPECT_FALSE(TZipMessageTable::FromBlock(block_of(std::string(49, '\0'))));
  // A hand-made UTF-16 table: one range 5..6, id 6 has a text at word 16.
  std::string t(64, '\0');
  auto put = [&](size_t word, uint16_t v) {
    t[word * 2] = static_cast<char>(v & 0xFF);
    t[word * 2 + 1] = static_cast<char>(v >> 8);
  };
  put(3, 1);
  put(4, 6), put(5, 5), put(6, 10), put(7, 0xFFFF);
  put(10, 0), put(11, 16);
  put(16, u'Я'), put(17, u'!');
  const auto wide = TZipMessageTable::FromBlock(block_of(t));
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide->Find(6), "Я!");
  EXPECT_EQ(wide->Find(5), "");
  EXPECT_EQ(wide->Find(7), "");
}

TEST(ZipExceptions, TextsCodesAndArguments) {
  EXPECT_STREQ(EZipException().what(), "Zip archive exception");
  const EZipArchiveError plain(-MakeZipCode(127, 3, 100));
  EXPECT_STREQ(plain.what(), "This archive is not a valid Zip archive");
  EXPECT_EQ(plain.Ident(), 127);
  EXPECT_EQ(plain.ExtCode(), MakeZipCode(127, 3, 100));
  EXPECT_TRUE(plain.Display());
  EXPECT_EQ(plain.ArgKind(), 0);
  const EZipArchiveError named(129, "C:\\out\\");
  EXPECT_STREQ(named.what(), "Extract directory 'C:\\out\\' must exist");
  EXPECT_EQ(named.ArgKind(), 1);
  EXPECT_STREQ(EZipArchiveError(192, int64_t{40}).what(), "critical DLL Error 40");
  const EZipException two(199, {int64_t{7}, int64_t{3}});
  EXPECT_STREQ(two.what(), "Index (7) outside range 0..3");
  EXPECT_EQ(two.ArgKind(), 2);
  EXPECT_EQ(two.FinalText([](int) { return std::string("id %d of %d"); }), "id 7 of 3");
}

TEST(ZipExceptions, FormatNeverReadsPastItsArguments) {
  EXPECT_EQ(FormatZipStr("%s and %s", {std::string("one")}), "one and ");
  EXPECT_EQ(FormatZipStr("Error [%d %s] loading %s", {int64_t{2}, std::string("No such file"), std::string("x.so")}),
            "Error [2 No such file] loading x.so");
  EXPECT_EQ(FormatZipStr("disk %.1d of %.1d", {int64_t{1}, int64_t{3}}), "disk 1 of 3");
  EXPECT_EQ(FormatZipStr(" [$%x] %s", {int64_t{255}, std::string("t")}), " [$ff] t");
  EXPECT_EQ(FormatZipStr("100%% %s %q", {int64_t{5}}), "100% 5 %q");
  EXPECT_EQ(FormatZipStr("%d", {std::string("text")}), "text");
  EXPECT_EQ(FormatZipStr("end %", {}), "end %");
}
