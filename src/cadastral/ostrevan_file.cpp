#include "cadastral/ostrevan_file.h"

#include <vector>

#include "common/stream.h"
#include "platform/text_compare.h"
#include "platform/text_conversion.h"
#include "xml/xml_reader.h"
#include "xml/xml_sequential_parser.h"

namespace cadastral {

std::string StylesheetContent(const TStylesheetRow& row) {
  std::string content = "type=\"text/xsl\" href=\"https://";
  content.append(kRegistryPortalHost).append(row.Path).append("\"");
  return content;
}

namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameAscii(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

bool StartsWithAscii(std::string_view text, std::string_view start) {
  return text.size() >= start.size() && SameAscii(text.substr(0, start.size()), start);
}

bool EndsWithAscii(std::string_view text, std::string_view end) {
  return text.size() >= end.size() && SameAscii(text.substr(text.size() - end.size()), end);
}

bool IsDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// A path segment that may name a kind: what the registry writes, nothing that
// would garble a report line.
bool IsKindSegment(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-'))
      return false;
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of the href pseudo-attribute, in either quotes; false without one.
bool HrefValue(std::string_view content, std::string_view& value) {
  for (size_t at = 0; (at = content.find_first_of("hH", at)) != std::string_view::npos; ++at) {
    if (!StartsWithAscii(content.substr(at), "href") || (at > 0 && !IsBlank(content[at - 1]))) continue;
    size_t i = at + 4;
    while (i < content.size() && IsBlank(content[i])) ++i;
    if (i == content.size() || content[i] != '=') continue;
    ++i;
    while (i < content.size() && IsBlank(content[i])) ++i;
    if (i == content.size() || (content[i] != '"' && content[i] != '\'')) continue;
    const size_t end = content.find(content[i], i + 1);
    if (end == std::string_view::npos) return false;
    value = content.substr(i + 1, end - i - 1);
    return true;
  }
  return false;
}

// The path of a reference to the registry portal (or another host of the
// registry), over either scheme; false for any other reference.
bool RegistryPath(std::string_view reference, std::string_view& path) {
  for (const std::string_view scheme : {"https://", "http://"}) {
    if (!StartsWithAscii(reference, scheme)) continue;
    const std::string_view rest = reference.substr(scheme.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return false;
    const std::string_view host = rest.substr(0, slash);
    if (!SameAscii(host, kRegistryPortalHost) && !SameAscii(host, "rosreestr.ru") &&
        !EndsWithAscii(host, ".rosreestr.ru"))
      return false;
    path = rest.substr(slash);
    return true;
  }
  return false;
}

// The contents of the rows, built once.
const std::array<std::string, kStylesheetRows.size()>& RowContents() {
  static const auto contents = [] {
    std::array<std::string, kStylesheetRows.size()> result;
    for (size_t i = 0; i < kStylesheetRows.size(); ++i) result[i] = StylesheetContent(kStylesheetRows[i]);
    return result;
  }();
  return contents;
}

// Root element names longer than this are no registry format.
constexpr size_t kLongestRootName = 100;

}  // namespace

std::string DescribeStylesheetPath(std::string_view path) {
  // "/xsl/<section>/<kind>[/<kind>...]/<version>/<file>.xsl"
  if (!StartsWithAscii(path, "/xsl/")) return {};
  std::vector<std::string_view> parts;
  for (size_t begin = 5;;) {
    const size_t end = path.find('/', begin);
    parts.push_back(path.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
  if (parts.size() < 4 || !EndsWithAscii(parts.back(), ".xsl") || !IsKindSegment(parts.front())) return {};
  const std::string_view version = parts[parts.size() - 2];
  if (!IsDigits(version) || version.size() > 4) return {};
  std::string kind;
  for (size_t i = 1; i + 2 < parts.size(); ++i) {
    if (!IsKindSegment(parts[i])) return {};
    if (!kind.empty()) kind += '/';
    kind.append(parts[i]);
  }
  // The names the registry's stylesheets give the kinds that users call otherwise.
  if (SameAscii(kind, "Vidimus")) kind = "KVZU";
  if (SameAscii(kind, "KPT_b")) kind = "KPT";
  return kind.append(" ").append(version);
}

TOstrevanFile::TOstrevanFile() : parser_(std::make_unique<xml::TXMLSequentialParser>()) {}

TOstrevanFile::~TOstrevanFile() = default;

void TOstrevanFile::LoadFromStream(common::TStream& stream) {
  stream.SetPosition(0);
  parser_->InitStream(stream);
  // Read on behind the root element: an instruction placed after it still counts.
  parser_->ReaderSettings().BreakReading = xml::TXMLBreakReading::None;
  Recognize();
}

void TOstrevanFile::Recognize() {
  kind_ = fkUnknown;
  version_ = kUnknownVersion;
  unsupported_ = false;
  found_as_.clear();
  // The top level is read token by token: nothing is built, and a root element
  // that names a format is left open for its reader.
  using TT = xml::TXMLReaderTokenType;
  xml::TXMLReader& reader = parser_->XMLReader();
  bool root_seen = false;
  int passing = 0;  // elements open in a root that is read through
  const xml::TXMLReaderToken* token;
  while (reader.ReadNextToken(token)) {
    const TT type = token->TokenType;
    if (passing > 0) {
      if (type == TT::OpenElement) ++passing;
      if (type == TT::FinishOpenElementClose || type == TT::CloseElement) --passing;
      continue;
    }
    if (type == TT::ProcessingInstruction && token->TokenName == u"xml-stylesheet") {
      // Only the first instruction counts, whether it matches a row or not.
      RecognizeStylesheet(token->TokenValue);
      return;
    }
    if (type != TT::OpenElement) continue;
    // An element of the instruction's name has no content to compare: no row.
    if (token->TokenName == u"xml-stylesheet") return;
    if (!root_seen && RecognizeRootElement(token->TokenName)) return;
    root_seen = true;
    passing = 1;
  }
}

bool TOstrevanFile::RecognizeStylesheet(std::u16string_view content16) {
  const std::string content = platform::Utf16ToUtf8(content16);
  const auto& contents = RowContents();
  for (size_t i = 0; i < contents.size(); ++i) {
    if (platform::SameText(std::string_view(content), std::string_view(contents[i]))) {
      kind_ = kStylesheetRows[i].Kind;
      version_ = kStylesheetRows[i].Version;
      found_as_ = DescribeStylesheetPath(kStylesheetRows[i].Path);
      return true;
    }
  }
  // A reference of the registry that names a version the program reads, only
  // written otherwise, is no unsupported version: it is not recognised.
  std::string_view reference, path;
  if (!HrefValue(content, reference) || !RegistryPath(reference, path)) return false;
  for (const TStylesheetRow& row : kStylesheetRows)
    if (SameAscii(path, row.Path)) return false;
  found_as_ = DescribeStylesheetPath(path);
  unsupported_ = !found_as_.empty();
  return false;
}

bool TOstrevanFile::RecognizeRootElement(std::u16string_view name16) {
  if (name16.size() > kLongestRootName || name16.find(u':') != std::u16string_view::npos) return false;
  const std::string name = platform::Utf16ToUtf8(name16);
  for (const TRootElementRow& row : kRootElementRows) {
    if (name == row.Name) {
      kind_ = row.Kind;
      version_ = row.Version;
      found_as_ = name;
      return true;
    }
  }
  if (!name.starts_with(kRegistryRootPrefix)) return false;
  unsupported_ = true;
  found_as_ = name;
  return true;
}

}  // namespace cadastral
