#pragma once
// Byte streams shared by the XML engine and the archive component.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace common {

enum class TSeekOrigin { soBeginning = 0, soCurrent = 1, soEnd = 2 };

class EStreamError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
class EReadError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A readable, writable, seekable sequence of bytes. Read and Write deliver
// fewer bytes than asked only at the end of the data (or when a device says so).
class TStream {
 public:
  virtual ~TStream();
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;

  // Returns the number of bytes read; a count of 0 or below reads nothing.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Returns the number of bytes written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Returns the new position.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position();
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }
  virtual int64_t Size();
  virtual void SetSize(int64_t size);

  // Read or write exactly count bytes, or raise EReadError / EWriteError.
  void ReadBuffer(void* buffer, int64_t count);
  void WriteBuffer(const void* buffer, int64_t count);
  // Copies count bytes from source (all of it from its start when count is 0).
  int64_t CopyFrom(TStream& source, int64_t count);
};

// A stream whose bytes lie in one contiguous block of memory.
class TCustomMemoryStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }

  const uint8_t* Memory() const { return data_; }
  void SaveToStream(TStream& stream);
  void SaveToFile(const std::string& utf8_path);

 protected:
  void SetPointer(const uint8_t* data, int64_t size) {
    data_ = data;
    size_ = size;
  }
  const uint8_t* data_ = nullptr;
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// Owns a growable buffer.
class TMemoryStream : public TCustomMemoryStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override;

  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
  void Clear();
  uint8_t* Memory() { return buffer_.get(); }
  const uint8_t* Memory() const { return buffer_.get(); }
  int64_t Capacity() const { return capacity_; }
  // Grows the buffer to at least the capacity, never shrinking it.
  void Reserve(int64_t capacity);
  // Takes count bytes that the caller placed at Memory() + Position() itself
  // (within Capacity()): the position, and the size if needed, move past them.
  void Advance(int64_t count);
  void LoadFromStream(TStream& stream);
  void LoadFromFile(const std::string& utf8_path);

 private:
  void Grow(int64_t needed);
  struct TFree {
    void operator()(uint8_t* block) const;
  };
  // Not filled in advance: a reserved capacity costs no page until written.
  std::unique_ptr<uint8_t[], TFree> buffer_;
  int64_t capacity_ = 0;
};

// A read-only view of memory that the stream does not own.
class TVirtualMemoryStream : public TCustomMemoryStream {
 public:
  TVirtualMemoryStream(const void* data, int64_t size);
  int64_t Write(const void* buffer, int64_t count) override;
  void SetSize(int64_t size) override;
};

// A stream over an operating-system file handle.
class THandleStream : public TStream {
 public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void SetSize(int64_t size) override;
  intptr_t Handle() const { return handle_; }

 protected:
  intptr_t handle_ = -1;
};

enum class TFileMode {
  fmOpenRead,        // read only; others may read but not write (share-deny-write)
  fmOpenReadShared,  // read only; others may read and write
  fmOpenReadWrite,   // existing file, read and write
  fmCreate,          // create or truncate, read and write
};

class TFileStream : public THandleStream {
 public:
  TFileStream(const std::string& utf8_path, TFileMode mode);
  ~TFileStream() override;
  const std::string& FileName() const { return file_name_; }

 private:
  std::string file_name_;
};

}  // namespace common
