#pragma once
// One archive file: its end-of-central-directory facts and its central
// directory records, read without trusting any field.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/stream.h"
#include "zipformat/zip_core.h"
#include "zipformat/zip_dir_hash_list.h"
#include "zipformat/zip_dir_record.h"

namespace zip {

class TZipReader;

enum class TZipFileKind { fkUnknown, fkPlain, fkExecutable, fkSplit };

// Result bit of LocateEOC: the comment length did not fit the file.
constexpr int kEOCCommentError = 1;

constexpr uint32_t kEndOfCentralSig = 0x06054B50;
constexpr uint32_t kZip64EndSig = 0x06064B50;
constexpr uint32_t kZip64LocatorSig = 0x07064B50;
constexpr uint32_t kLocalHeaderSig = 0x04034B50;
constexpr uint32_t kSpanningSig = 0x08074B50;
constexpr int64_t kEOCSize = 22;
constexpr int64_t kZip64LocatorSize = 20;
constexpr int64_t kZip64EndSize = 56;  // without extensible data
constexpr int64_t kMaxEOCSearch = 65535 + kEOCSize;

// Told how the record array changes, so a visible list can keep in step.
class TZipFileListener {
 public:
  virtual ~TZipFileListener();
  virtual void DirCleared() {}
  virtual void DirCapacity(int /*count*/) {}
  virtual void DirRecordAdded(int /*index*/) {}
  virtual void DirDone(int /*count*/) {}
};

class TZipFile : public TZipCore, private TZipIndexSource {
 public:
  explicit TZipFile(TZipContext& context = DefaultZipContext());
  ~TZipFile() override;

  // Opens the named file, locates its end record (looking for numbered parts
  // when it does not exist), reads the central directory and closes the file.
  // Warnings go to the context; the result is 0 or a negative code.
  int OpenAndList(const std::string& name);
  // The same for an archive held by a stream (one part only).
  int OpenAndList(std::unique_ptr<common::TStream> stream, const std::string& name);

  // The single steps. Open: 0, -164 when the file exists but cannot be opened,
  // -123 when it does not exist.
  int Open(const std::string& name);
  void OpenStream(std::unique_ptr<common::TStream> stream, const std::string& name);
  void Close();
  bool IsOpen() const { return stream_ != nullptr; }
  // Finds the end record and, through its locator, a Zip64 end record, whose
  // values replace escaped or disagreeing ones. kEOCCommentError or 0, or a
  // negative code. (A directory that does not end at the end record is
  // reported while it is read.)
  int LocateEOC(bool eoc_only = false);
  // The numbered parts name001.zip, name002.zip, ... of a split archive whose
  // named file does not exist; leaves the part with the end record open.
  int SearchNumberedParts(const std::string& name);
  int LoadCentralDirectory();

  const std::string& FileName() const { return file_name_; }
  TZipFileKind Kind() const { return kind_; }
  int64_t FileSize() const { return file_size_; }
  int64_t EOCOffset() const { return eoc_offset_; }
  uint32_t ThisDisk() const { return this_disk_; }
  int NumberOfParts() const { return number_of_parts_; }
  bool MultiPart() const { return multi_part_; }
  uint32_t CentralDisk() const { return central_disk_; }
  uint64_t EntriesOnDisk() const { return entries_on_disk_; }
  uint64_t TotalEntries() const { return total_entries_; }
  uint64_t CentralSize() const { return central_size_; }
  uint64_t CentralOffset() const { return central_offset_; }
  bool Zip64() const { return zip64_; }
  const std::string& ZipComment() const { return zip_comment_; }
  uint32_t PrefixOffset() const { return prefix_offset_; }
  // What to add to the stored offsets (local headers) to find them in the file:
  // not 0 when data was put in front of the archive without adjusting them.
  int64_t OffsetShift() const { return offset_shift_; }
  uint64_t Generation() const { return generation_; }
  bool Listed() const { return listed_; }
  // File names of the numbered parts when the archive is one.
  const std::vector<std::string>& PartNames() const { return part_names_; }

  int Count() const { return static_cast<int>(records_.size()); }
  // The record at the index, or none.
  TZipDirRecord* Record(int index) const;
  // Case-insensitive, "/" equal to "\"; skips deleted records unless asked.
  TZipDirRecord* FindName(std::string_view name, bool include_deleted = false);
  // Forgets every decoded name and hash and empties the name index.
  void ClearCachedNames();

  void SetListener(TZipFileListener* listener) { listener_ = listener; }

 private:
  // Reports the warnings of a located end record, reads the directory, closes.
  int ListLocated(int located);
  void ClearEOC();
  int ClassifyKind();
  int ReadAt(int64_t position, std::string& bytes, size_t count, int seek_error, int read_error);
  // 0 or a negative code; locator: the 20 bytes before the end record.
  int ReadZip64EOC(const std::string& locator, bool escaped);
  void SetParts(uint32_t total_disks);
  int OpenPart(uint32_t disk, std::unique_ptr<common::TStream>& stream);
  int SwitchToPart(uint32_t disk);
  std::string PartName(uint32_t disk) const;
  common::TStream* NextPart();
  int64_t BytesAfter(int64_t offset) const;
  int Abandon(int code);
  // Reads the record at the reader's position and appends it: 0 or a negative code.
  int AppendRecord(uint64_t& prefix);
  // Whether a central header signature follows; the position stays.
  bool NextIsCentralHeader();
  void BuildIndex();
  // TZipIndexSource: the name index holds record indexes.
  const std::string& IndexName(int id) const override { return records_[static_cast<size_t>(id)]->FileName(); }
  uint32_t IndexHash(int id) const override { return records_[static_cast<size_t>(id)]->NameHash(); }
  bool IndexDeleted(int id) const override { return records_[static_cast<size_t>(id)]->Deleted(); }

  std::string file_name_;
  std::unique_ptr<common::TStream> stream_;
  std::unique_ptr<TZipReader> reader_;
  uint32_t open_disk_ = 0;
  bool eoc_found_ = false;
  TZipFileKind kind_ = TZipFileKind::fkUnknown;
  int64_t file_size_ = 0;
  int64_t eoc_offset_ = 0;
  uint32_t this_disk_ = 0;
  int number_of_parts_ = 0;
  bool multi_part_ = false;
  uint32_t central_disk_ = 0;
  uint64_t entries_on_disk_ = 0;
  uint64_t total_entries_ = 0;
  uint64_t central_size_ = 0;
  uint64_t central_offset_ = 0;
  bool zip64_ = false;
  std::string zip_comment_;
  uint32_t prefix_offset_ = 0;
  int64_t offset_shift_ = 0;
  uint64_t generation_ = 0;
  bool listed_ = false;
  std::vector<std::string> part_names_;
  int64_t part_stamp_ = 0;

  std::vector<std::unique_ptr<TZipDirRecord>> records_;
  TZipDirHashList index_;
  bool index_built_ = false;
  TZipFileListener* listener_ = nullptr;
};

}  // namespace zip
