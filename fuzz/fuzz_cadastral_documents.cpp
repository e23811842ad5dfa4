// Arbitrary bytes through recognition and the KPT and KVZU files. Beyond not
// crashing or leaking: the three file classes agree on kind and version, the
// kind and version form a row of the stylesheet table (or are unknown), the
// values record is handed out exactly for the versions that have a reader,
// every value is valid UTF-8, and reading through a stream that the reader
// wraps gives the same values as reading from memory.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cadastral/kpt_file.h"
#include "cadastral/kvzu_file.h"
#include "cadastral/ostrevan_file.h"
#include "common/stream.h"
#include "platform/text_conversion.h"
#include "support/trickle_stream.h"

using namespace cadastral;

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckRecognition(const TOstrevanFile& file) {
  if (file.Kind() == fkUnknown) {
    Require(file.Version() == kUnknownVersion);
    return;
  }
  bool found = false;
  for (const TStylesheetRow& row : kStylesheetRows) found |= row.Kind == file.Kind() && row.Version == file.Version();
  Require(found);
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
  Require((kpt->InfoData() != nullptr) == (plain->Kind() != fkUnknown));
  Require(kpt->CadastralBlocks().Count() == 1 && kpt->CadastralBlocks()[0] == block.get());

  auto kvzu = TRef<TKvzuFile>::Create();
  kvzu->LoadFromStream(stream);
  Require(kvzu->Kind() == plain->Kind() && kvzu->Version() == plain->Version());
  Require((kvzu->InfoData() != nullptr) == (kvzu->Version() == "05" || kvzu->Version() == "06"));

  // The records outlive their files.
  TRef<TKPTFileInfoData> kpt_values(kpt->InfoData());
  TRef<TKvzuFileInfoData> kvzu_values(kvzu->InfoData());
  kpt = nullptr;
  kvzu = nullptr;
  Require(block->RefCount() == 1);

  if (kpt_values) {
    Require(platform::IsValidUtf8(Joined(*kpt_values)));
    if (plain->Version() == "05") Require(kpt_values->CoordSystemName == kKpt05CoordSystemName);
    testsupport::TTrickleStream trickle(data, size, 13);
    auto again = TRef<TKPTFile>::Create();
    again->LoadFromStream(trickle);
    Require(again->InfoData() && Joined(*again->InfoData()) == Joined(*kpt_values));
  }
  if (kvzu_values) {
    Require(platform::IsValidUtf8(Joined(*kvzu_values)));
    testsupport::TTrickleStream trickle(data, size, 13);
    auto again = TRef<TKvzuFile>::Create();
    again->LoadFromStream(trickle);
    Require(again->InfoData() && Joined(*again->InfoData()) == Joined(*kvzu_values));
  }
  return 0;
}
