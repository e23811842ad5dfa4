// Arbitrary bytes through recognition and the KPT and KVZU files. Beyond not
// crashing or leaking: the three file classes agree on kind, version and what
// the document was found as, the kind and version form a row of the stylesheet
// or root element tables (or are unknown, possibly as an unsupported document
// of the registry), the values record is handed out exactly for the versions
// that have a reader of the file's kind, every value is valid UTF-8, the
// later readers' texts are trimmed and their dates hold no time, and reading
// through a stream that the reader wraps gives the same values as reading
// from memory.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cadastral/kpt_file.h"
#include "cadastral/kvzu_file.h"
#include "cadastral/ostrevan_file.h"
#include "cadastral/reading_functions.h"
#include "common/stream.h"
#include "platform/text_conversion.h"
#include "support/trickle_stream.h"

using namespace cadastral;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

// Printable, as a report line needs it.
bool IsPlainText(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) < 0x20) return false;
  return platform::IsValidUtf8(text);
}

void CheckRecognition(const TOstrevanFile& file) {
  if (file.Kind() == fkUnknown) {
    Require(file.Version() == kUnknownVersion);
    Require(file.Unsupported() == !file.FoundAs().empty());
    Require(IsPlainText(file.FoundAs()));
    return;
  }
  Require(!file.Unsupported() && !file.FoundAs().empty());
  bool found = false;
  for (const TStylesheetRow& row : kStylesheetRows) found |= row.Kind == file.Kind() && row.Version == file.Version();
  for (const TRootElementRow& row : kRootElementRows)
    found |= row.Kind == file.Kind() && row.Version == file.Version() && row.Name == file.FoundAs();
  Require(found);
}

// Whether the file of the rows' kind hands out a values record for the document.
template <typename Rows>
bool HasReader(const Rows& rows, TOstrevanFileKind rows_kind, const TOstrevanFile& file) {
  const auto* row = FindVersion(rows, file.Version());
  return row && (!row->Later || file.Kind() == rows_kind);
}

template <typename Rows>
bool IsLater(const Rows& rows, const std::string& version) {
  const auto* row = FindVersion(rows, version);
  return row && row->Later;
}

bool IsTrimmed(const std::string& text) {
  std::string trimmed = text;
  TrimBlanks(trimmed);
  return trimmed == text;
}

std::string Joined(const TKPTFileInfoData& v) {
  return v.CadastralNumber + '\n' + v.CoordSystemName + '\n' + v.CertificationDocNumber + '\n' + v.CertificationDocDate;
}
std::string Joined(const TKvzuFileInfoData& v) {
  return v.CadastralNumber + '\n' + v.CoordSystemName + '\n' + v.CertificationDocNumber + '\n' +
         v.CertificationDocDate + '\n' + v.DateCreated;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  common::TVirtualMemoryStream stream(data, static_cast<int64_t>(size));

  auto plain = TRef<TOstrevanFile>::Create();
  plain->LoadFromStream(stream);
  CheckRecognition(*plain);

  // The file's block list is the caller's to fill: loading leaves it alone,
  // and the file releases what it holds.
  struct TBlock : TRefObject {};
  const auto block = TRef<TBlock>::Create();
  auto kpt = TRef<TKPTFile>::Create();
  kpt->CadastralBlocks().Add(block.get());
  kpt->LoadFromStream(stream);
  Require(kpt->Kind() == plain->Kind() && kpt->Version() == plain->Version());
  Require(kpt->Unsupported() == plain->Unsupported() && kpt->FoundAs() == plain->FoundAs());
  Require((kpt->InfoData() != nullptr) == HasReader(kKptVersions, fkKPT, *plain));
  Require(kpt->CadastralBlocks().Count() == 1 && kpt->CadastralBlocks()[0] == block.get());

  auto kvzu = TRef<TKvzuFile>::Create();
  kvzu->LoadFromStream(stream);
  Require(kvzu->Kind() == plain->Kind() && kvzu->Version() == plain->Version());
  Require((kvzu->InfoData() != nullptr) == HasReader(kKvzuVersions, fkKvzu, *plain));

  // The records outlive their files.
  TRef<TKPTFileInfoData> kpt_values(kpt->InfoData());
  TRef<TKvzuFileInfoData> kvzu_values(kvzu->InfoData());
  kpt = nullptr;
  kvzu = nullptr;
  Require(block->RefCount() == 1);

  if (kpt_values) {
    Require(platform::IsValidUtf8(Joined(*kpt_values)));
    if (plain->Version() == "05") Require(kpt_values->CoordSystemName == kKpt05CoordSystemName);
    if (IsLater(kKptVersions, plain->Version())) {
      Require(IsTrimmed(kpt_values->CertificationDocNumber) && IsTrimmed(kpt_values->CertificationDocDate));
      Require(DateOf(kpt_values->CertificationDocDate) == kpt_values->CertificationDocDate || plain->Version() == "10");
    }
    testsupport::TTrickleStream trickle(data, size, 13);
    auto again = TRef<TKPTFile>::Create();
    again->LoadFromStream(trickle);
    Require(again->InfoData() && Joined(*again->InfoData()) == Joined(*kpt_values));
  }
  if (kvzu_values) {
    Require(platform::IsValidUtf8(Joined(*kvzu_values)));
    if (IsLater(kKvzuVersions, plain->Version())) {
      Require(IsTrimmed(kvzu_values->CertificationDocNumber) && IsTrimmed(kvzu_values->CertificationDocDate));
      if (plain->Version() != "07") Require(DateOf(kvzu_values->DateCreated) == kvzu_values->DateCreated);
    }
    testsupport::TTrickleStream trickle(data, size, 13);
    auto again = TRef<TKvzuFile>::Create();
    again->LoadFromStream(trickle);
    Require(again->InfoData() && Joined(*again->InfoData()) == Joined(*kvzu_values));
  }
  return 0;
}
