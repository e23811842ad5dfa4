// Build-time generator of the component's built-in message table.
//   make_message_table <texts.txt> <output.cpp>
// Reads the id/text lines, lays out the table (range triples, offset words,
// zero-terminated UTF-8 texts), compresses it with raw deflate and writes a C++
// source holding the block: language id 1033, n, tag "US", CRC-32, data.

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr uint16_t kLanguageId = 1033;
constexpr char kTag[4] = {'U', 'S', 0, 0};

[[noreturn]] void Fail(const std::string& what, int line = 0) {
  std::cerr << "make_message_table: " << what;
  if (line) std::cerr << " (line " << line << ")";
  std::cerr << "\n";
  std::exit(1);
}

std::string Unquote(const std::string& s, int line) {
  if (s.size() < 2 || s.front() != '"' || s.back() != '"') Fail("text must be in double quotes", line);
  std::string out;
  for (size_t i = 1; i + 1 < s.size(); ++i) {
    char c = s[i];
    if (c == '\\') {
      if (i + 2 >= s.size()) Fail("dangling escape", line);
      switch (s[++i]) {
        case 'r':
          c = '\r';
          break;
        case 'n':
          c = '\n';
          break;
        case 't':
          c = '\t';
          break;
        case '"':
          c = '"';
          break;
        case '\\':
          c = '\\';
          break;
        default:
          Fail("unknown escape", line);
      }
    } else if (c == '"') {
      Fail("unescaped quote inside a text", line);
    }
    out.push_back(c);
  }
  if (out.empty()) Fail("empty text", line);
  return out;
}

void PutWord(std::string& table, size_t index, uint16_t value) {
  table[index * 2] = static_cast<char>(value & 0xFF);
  table[index * 2 + 1] = static_cast<char>(value >> 8);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) Fail("usage: make_message_table <texts.txt> <output.cpp>");
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) Fail(std::string("cannot read ") + argv[1]);

  std::vector<std::pair<int, std::string>> texts;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    size_t end = start;
    while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
    if (end == start) Fail("a line must start with an id", number);
    const int id = std::stoi(line.substr(start, end - start));
    if (id < 1 || id > 511) Fail("id outside 1..511", number);
    if (!texts.empty() && id <= texts.back().first) Fail("ids must ascend", number);
    const size_t quote = line.find('"', end);
    if (quote == std::string::npos) Fail("missing text", number);
    texts.emplace_back(id, Unquote(line.substr(quote), number));
  }
  if (texts.empty()) Fail("no texts");

  // Ranges of consecutive ids.
  struct Range {
    int first, last;
    size_t first_text;
  };
  std::vector<Range> ranges;
  for (size_t i = 0; i < texts.size(); ++i) {
    if (ranges.empty() || texts[i].first != ranges.back().last + 1)
      ranges.push_back({texts[i].first, texts[i].first, i});
    else
      ranges.back().last = texts[i].first;
  }

  const size_t triple_words = (ranges.size() + 1) * 3;
  const size_t offset_start = 4 + triple_words;
  const size_t header_words = offset_start + texts.size();
  std::string table(header_words * 2, '\0');
  PutWord(table, 0, static_cast<uint16_t>(texts.size()));
  PutWord(table, 1, kLanguageId);
  PutWord(table, 3, 0);  // 8-bit texts
  size_t word = 4, offset_word = offset_start;
  for (const Range& r : ranges) {
    PutWord(table, word++, static_cast<uint16_t>(r.last));
    PutWord(table, word++, static_cast<uint16_t>(r.first));
    PutWord(table, word++, static_cast<uint16_t>(offset_word));
    offset_word += static_cast<size_t>(r.last - r.first + 1);
  }
  PutWord(table, word++, 0xFFFF);
  for (size_t i = 0; i < texts.size(); ++i) {
    if (table.size() > 0xFFFF) Fail("table too large for 16-bit offsets");
    PutWord(table, offset_start + i, static_cast<uint16_t>(table.size()));
    table += texts[i].second;
    table.push_back('\0');
  }
  if (table.size() >= 20000) Fail("table must stay below 20000 bytes");

  std::string packed(compressBound(static_cast<uLong>(table.size())) + 64, '\0');
  z_stream z{};
  if (deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) Fail("deflateInit2 failed");
  z.next_in = reinterpret_cast<Bytef*>(table.data());
  z.avail_in = static_cast<uInt>(table.size());
  z.next_out = reinterpret_cast<Bytef*>(packed.data());
  z.avail_out = static_cast<uInt>(packed.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) Fail("deflate failed");
  packed.resize(z.total_out);
  deflateEnd(&z);
  if (packed.size() + 4 > 0xFFFF) Fail("compressed table too large");

  const uint32_t crc =
      static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(table.data()), static_cast<uInt>(table.size())));
  const uint16_t n = static_cast<uint16_t>(packed.size() + 4);
  std::string block;
  block.push_back(static_cast<char>(kLanguageId & 0xFF));
  block.push_back(static_cast<char>(kLanguageId >> 8));
  block.push_back(static_cast<char>(n & 0xFF));
  block.push_back(static_cast<char>(n >> 8));
  block.append(kTag, 4);
  for (int i = 0; i < 4; ++i) block.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
  block += packed;

  std::ostringstream out;
  out << "// Generated by make_message_table from zip_messages.txt; do not edit.\n"
      << "// " << texts.size() << " texts, table " << table.size() << " bytes.\n"
      << "#include <cstddef>\n\nnamespace zip::detail {\n"
      << "extern const unsigned char kBuiltInMessageBlock[];\n"
      << "extern const std::size_t kBuiltInMessageBlockSize;\n"
      << "const unsigned char kBuiltInMessageBlock[] = {";
  for (size_t i = 0; i < block.size(); ++i) {
    if (i % 16 == 0) out << "\n   ";
    out << ' ' << static_cast<unsigned>(static_cast<unsigned char>(block[i])) << ',';
  }
  out << "\n};\nconst std::size_t kBuiltInMessageBlockSize = sizeof(kBuiltInMessageBlock);\n"
      << "}  // namespace zip::detail\n";

  std::ofstream file(argv[2], std::ios::binary);
  file << out.str();
  if (!file) Fail(std::string("cannot write ") + argv[2]);
  return 0;
}
