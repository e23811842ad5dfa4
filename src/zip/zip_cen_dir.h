#pragma once
// The visible entry list of a listed archive and the handles it hands out.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zipformat/zip_dir_entry.h"
#include "zipformat/zip_file.h"

namespace zip {

class TZipCenDir;

// A light handle for one record: it looks the record up again on every call and
// answers empty values once the list has been reloaded.
class TZipCentralEntry final : public TZipDirEntry {
 public:
  TZipCentralEntry(const TZipCenDir& owner, int record_index, uint64_t generation)
      : owner_(&owner), index_(record_index), generation_(generation) {}

  // The record, or none when the list was reloaded since the handle was made.
  const TZipDirRecord* Record() const;
  int RecordIndex() const { return index_; }

  const std::string& FileName() const override;
  std::string FileComment() const override;
  uint64_t CompressedSize() const override;
  uint64_t UncompressedSize() const override;
  uint32_t CRC32() const override;
  uint16_t CompressionMethod() const override;
  uint32_t DateTime() const override;
  uint16_t Flag() const override;
  uint16_t VersionMadeBy() const override;
  uint16_t VersionNeeded() const override;
  uint32_t ExtFileAttrib() const override;
  uint16_t IntFileAttrib() const override;
  uint32_t StartOnDisk() const override;
  uint64_t RelOffLocalHdr() const override;
  const std::string& RawFileName() const override;
  const std::string& ExtraField() const override;
  const std::string& RawComment() const override;
  bool IsDirOnly() const override;

 private:
  const TZipCenDir* owner_;
  int index_;
  uint64_t generation_;
};

class TZipCenDir final : public TZipFileListener {
 public:
  explicit TZipCenDir(TZipContext& context);
  ~TZipCenDir() override;

  TZipFile& File() { return *file_; }
  const TZipFile& File() const { return *file_; }

  int Count() const { return static_cast<int>(entries_.size()); }
  // Handle i, or none outside 0..Count()-1.
  TZipCentralEntry* Entry(int index) const;

  // Directory-only records are hidden unless this is set; changing it rebuilds the list.
  bool UseDirOnlyEntries() const { return use_dir_only_; }
  void SetUseDirOnlyEntries(bool use);
  void Clear() { Retire(); }

 private:
  // Handles of an earlier listing stay alive (answering empty values) as long as
  // the list does, so a caller holding one never reads freed memory.
  void Retire();
  void DirCleared() override { Retire(); }
  void DirCapacity(int count) override { entries_.reserve(static_cast<size_t>(count)); }
  void DirRecordAdded(int index) override;
  void Rebuild();

  std::unique_ptr<TZipFile> file_;
  std::vector<std::unique_ptr<TZipCentralEntry>> entries_;
  std::vector<std::unique_ptr<TZipCentralEntry>> retired_;
  bool use_dir_only_ = false;
};

}  // namespace zip
