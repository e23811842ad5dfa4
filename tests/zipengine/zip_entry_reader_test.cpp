// The entry reader on its own: the one-call inflate into a sink's memory and
// the streaming inflate give the same bytes and the same verdicts.

#include "zipengine/zip_entry_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "common/stream.h"
#include "support/zip_writer.h"
#include "zipformat/zip_file.h"

using namespace zipengine;
using support::TZipWriter;
using support::TZipWriterMethod;

namespace {

// Collects what the reader hands on; with memory to offer, the reader may
// inflate into it directly.
class TMemorySink : public TZipEntrySink {
 public:
  explicit TMemorySink(size_t capacity) : memory_(capacity) {}
  bool Write(const uint8_t* data, size_t count) override {
    bytes.append(reinterpret_cast<const char*>(data), count);
    return true;
  }
  uint8_t* Direct(size_t& capacity) override {
    capacity = memory_.size();
    return memory_.empty() ? nullptr : memory_.data();
  }
  std::string bytes;

 private:
  std::vector<uint8_t> memory_;
};

struct TOutcome {
  TZipEntryStatus status;
  uint32_t crc;
  uint64_t produced;
  std::string bytes;
  bool whole;
  bool operator==(const TOutcome& o) const {
    return status == o.status && crc == o.crc && produced == o.produced && bytes == o.bytes;
  }
};

// Sets the 32-bit field of entry i's central header.
void PatchCentral(std::string& archive, int entry, size_t field, uint32_t value) {
  size_t at = archive.find("PK\x01\x02");
  for (int i = 0; i < entry; ++i) at = archive.find("PK\x01\x02", at + 4);
  for (int b = 0; b < 4; ++b)
    archive[at + field + static_cast<size_t>(b)] = static_cast<char>((value >> (8 * b)) & 0xFF);
}
constexpr size_t kCentralCompressed = 20, kCentralUncompressed = 24;

}  // namespace

TEST(ZipEntryReader, WholeEntryAndStreamingInflateAgree) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "<row n=\"" + std::to_string(i * 7919 % 10007) + "\">value</row>\n";
  std::string noise;
  for (int i = 0; i < 4000; ++i) noise.push_back(static_cast<char>((i * 7919) % 251));
  TZipWriter w;
  w.Add("good.xml", text);
  w.Add("empty.xml", "");
  w.Add("crc.xml", text).crc = 0x12345678;
  w.Add("long.xml", text);   // declares less than the stream holds
  w.Add("short.xml", text);  // declares more than the stream holds
  w.Add("cut.xml", text);    // its data ends early
  w.Add("bad.xml", noise);   // the data does not inflate
  w.Add("bomb.xml", text);   // declares more than deflate can give
  std::string archive = w.Build();
  PatchCentral(archive, 3, kCentralUncompressed, 1000);
  PatchCentral(archive, 4, kCentralUncompressed, static_cast<uint32_t>(text.size() + 10));
  PatchCentral(archive, 5, kCentralCompressed, 1000);
  const size_t bad = archive.find("bad.xml") + 7;
  for (size_t i = 0; i < 8; ++i) archive[bad + i] = static_cast<char>(0xFF);
  PatchCentral(archive, 7, kCentralUncompressed, 0x7FFFFFFF);

  zip::TZipFile file;
  auto listed = std::make_unique<common::TMemoryStream>();
  listed->WriteBuffer(archive.data(), static_cast<int64_t>(archive.size()));
  ASSERT_EQ(file.OpenAndList(std::move(listed), "memory.zip"), 0);
  common::TMemoryStream stream;
  stream.WriteBuffer(archive.data(), static_cast<int64_t>(archive.size()));
  TZipEntryReader reader(stream, stream.Size());
  const std::atomic<bool> abort{false};

  auto extract = [&](int index, bool direct) -> TOutcome {
    const zip::TZipDirRecord& record = *file.Record(index);
    const TZipEntryStatus located = reader.Locate(record, 0);
    if (located != TZipEntryStatus::esOk) return {located, 0, 0, {}, false};
    TMemorySink sink(direct ? static_cast<size_t>(reader.OutputBound()) + 1 : 0);
    const TZipEntryResult r = reader.Extract(record, nullptr, &sink, abort, nullptr);
    return {r.status, r.crc, r.produced, sink.bytes, r.whole_entry};
  };

  const std::vector<TZipEntryStatus> expected = {TZipEntryStatus::esOk,       TZipEntryStatus::esOk,
                                                 TZipEntryStatus::esCRC,      TZipEntryStatus::esTooLong,
                                                 TZipEntryStatus::esTooShort, TZipEntryStatus::esTruncated,
                                                 TZipEntryStatus::esBadData,  TZipEntryStatus::esBadSizes};
  ASSERT_EQ(file.Count(), static_cast<int>(expected.size()));
  for (int i = 0; i < file.Count(); ++i) {
    SCOPED_TRACE(file.Record(i)->FileName());
    const TOutcome streamed = extract(i, false), whole = extract(i, true);
    EXPECT_EQ(whole.status, expected[static_cast<size_t>(i)]);
    EXPECT_TRUE(whole == streamed);
    EXPECT_FALSE(streamed.whole);
    // Only entries that inflate to exactly their declared size take the one-call path.
    const bool full = i <= 2;
    EXPECT_EQ(whole.whole, full && TZipWholeInflate::Available());
  }
  EXPECT_EQ(extract(0, true).bytes, text);
}
