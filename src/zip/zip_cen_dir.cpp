#include "zip/zip_cen_dir.h"

namespace zip {

namespace {
const std::string kEmpty;
}

const TZipDirRecord* TZipCentralEntry::Record() const {
  const TZipFile& file = owner_->File();
  return file.Generation() == generation_ ? file.Record(index_) : nullptr;
}

#define ZIP_FORWARD(type, getter, none)   \
  type TZipCentralEntry::getter() const { \
    const TZipDirRecord* r = Record();    \
    return r ? r->getter() : none;        \
  }

ZIP_FORWARD(const std::string&, FileName, kEmpty)
ZIP_FORWARD(std::string, FileComment, std::string())
ZIP_FORWARD(uint64_t, CompressedSize, 0)
ZIP_FORWARD(uint64_t, UncompressedSize, 0)
ZIP_FORWARD(uint32_t, CRC32, 0)
ZIP_FORWARD(uint16_t, CompressionMethod, 0)
ZIP_FORWARD(uint32_t, DateTime, 0)
ZIP_FORWARD(uint16_t, Flag, 0)
ZIP_FORWARD(uint16_t, VersionMadeBy, 0)
ZIP_FORWARD(uint16_t, VersionNeeded, 0)
ZIP_FORWARD(uint32_t, ExtFileAttrib, 0)
ZIP_FORWARD(uint16_t, IntFileAttrib, 0)
ZIP_FORWARD(uint32_t, StartOnDisk, 0)
ZIP_FORWARD(uint64_t, RelOffLocalHdr, 0)
ZIP_FORWARD(const std::string&, RawFileName, kEmpty)
ZIP_FORWARD(const std::string&, ExtraField, kEmpty)
ZIP_FORWARD(const std::string&, RawComment, kEmpty)
ZIP_FORWARD(bool, IsDirOnly, false)

#undef ZIP_FORWARD

TZipCenDir::TZipCenDir(TZipContext& context) : file_(std::make_unique<TZipFile>(context)) { file_->SetListener(this); }

TZipCenDir::~TZipCenDir() { file_->SetListener(nullptr); }

TZipCentralEntry* TZipCenDir::Entry(int index) const {
  return index >= 0 && index < Count() ? entries_[static_cast<size_t>(index)].get() : nullptr;
}

void TZipCenDir::DirRecordAdded(int index) {
  const TZipDirRecord* record = file_->Record(index);
  if (record && (use_dir_only_ || !record->IsDirOnly()))
    entries_.push_back(std::make_unique<TZipCentralEntry>(*this, index, file_->Generation()));
}

void TZipCenDir::Retire() {
  for (auto& entry : entries_) retired_.push_back(std::move(entry));
  entries_.clear();
}

void TZipCenDir::SetUseDirOnlyEntries(bool use) {
  if (use == use_dir_only_) return;
  use_dir_only_ = use;
  Rebuild();
}

void TZipCenDir::Rebuild() {
  Retire();
  for (int i = 0; i < file_->Count(); ++i) DirRecordAdded(i);
}

}  // namespace zip
