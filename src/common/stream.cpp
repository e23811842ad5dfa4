#include "common/stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#ifdef _WIN32
#include <windows.h>

#include "common/windows_path.h"
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/mman.h>
#endif
#endif

#include "common/text_format.h"

namespace common {

TStream::~TStream() = default;

int64_t TStream::Position() { return Seek(0, TSeekOrigin::soCurrent); }

int64_t TStream::Size() {
  const int64_t pos = Seek(0, TSeekOrigin::soCurrent);
  const int64_t size = Seek(0, TSeekOrigin::soEnd);
  Seek(pos, TSeekOrigin::soBeginning);
  return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream size cannot be changed"); }

void TStream::ReadBuffer(void* buffer, int64_t count) {
  if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  const int64_t total = count;
  std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, 1 << 16)));
  while (count > 0) {
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(block.size()));
    source.ReadBuffer(block.data(), n);
    WriteBuffer(block.data(), n);
    count -= n;
  }
  return total;
}

// --- TCustomMemoryStream ---------------------------------------------------

int64_t TCustomMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ >= size_ || position_ < 0) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TCustomMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case TSeekOrigin::soBeginning:
      position_ = offset;
      break;
    case TSeekOrigin::soCurrent:
      position_ += offset;
      break;
    case TSeekOrigin::soEnd:
      position_ = size_ + offset;
      break;
  }
  return position_;
}

void TCustomMemoryStream::SaveToStream(TStream& stream) {
  if (size_ > 0) stream.WriteBuffer(data_, size_);
}

void TCustomMemoryStream::SaveToFile(const std::string& utf8_path) {
  TFileStream file(utf8_path, TFileMode::fmCreate);
  SaveToStream(file);
}

// --- TMemoryStream ---------------------------------------------------------

TMemoryStream::~TMemoryStream() = default;

namespace {

#ifdef __linux__
constexpr size_t kHugePage = size_t{2} << 20;
// From this size on a buffer is laid out in huge pages where the system lets
// the program ask for them: filling a document of hundreds of MB otherwise
// costs a page fault every 4 KB, more than inflating into it, and reading it
// back misses the address cache far more often.
constexpr int64_t kHugeBuffer = 16 * int64_t{kHugePage};
#endif

uint8_t* AllocateBuffer(int64_t capacity) {
  void* block = nullptr;
#ifdef __linux__
  if (capacity >= kHugeBuffer) {
    const size_t size = (static_cast<size_t>(capacity) + kHugePage - 1) & ~(kHugePage - 1);
    block = std::aligned_alloc(kHugePage, size);
    if (block) madvise(block, size, MADV_HUGEPAGE);
  } else {
    block = std::malloc(static_cast<size_t>(capacity));
  }
#else
  block = std::malloc(static_cast<size_t>(capacity));
#endif
  if (!block) throw std::bad_alloc();
  return static_cast<uint8_t*>(block);
}

}  // namespace

void TMemoryStream::TFree::operator()(uint8_t* block) const { std::free(block); }

void TMemoryStream::Grow(int64_t needed) {
  if (needed <= Capacity()) return;
  // Grow by a quarter at least, so a stream written in small pieces stays linear.
  int64_t capacity = std::max<int64_t>(needed, Capacity() + Capacity() / 4);
  capacity = (capacity + 8191) & ~int64_t{8191};
  std::unique_ptr<uint8_t[], TFree> fresh(AllocateBuffer(capacity));
  if (size_ > 0) std::memcpy(fresh.get(), buffer_.get(), static_cast<size_t>(size_));
  buffer_ = std::move(fresh);
  capacity_ = capacity;
  data_ = buffer_.get();
}

void TMemoryStream::Reserve(int64_t capacity) { Grow(capacity); }

void TMemoryStream::Advance(int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= capacity_) return;
  if (position_ > size_) std::memset(buffer_.get() + size_, 0, static_cast<size_t>(position_ - size_));
  position_ += std::min(count, capacity_ - position_);
  if (position_ > size_) size_ = position_;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0) return 0;
  const int64_t end = position_ + count;
  Grow(end);
  // A gap left by a seek beyond the end reads as zeros.
  if (position_ > size_) std::memset(buffer_.get() + size_, 0, static_cast<size_t>(position_ - size_));
  std::memcpy(buffer_.get() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  if (end > size_) size_ = end;
  return count;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  Grow(size);
  if (size > size_) std::memset(buffer_.get() + size_, 0, static_cast<size_t>(size - size_));
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
  buffer_.reset();
  capacity_ = 0;
  data_ = nullptr;
  size_ = 0;
  position_ = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  const int64_t count = stream.Size();
  SetSize(count);
  if (count > 0) stream.ReadBuffer(buffer_.get(), count);
  position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& utf8_path) {
  TFileStream file(utf8_path, TFileMode::fmOpenRead);
  LoadFromStream(file);
}

// --- TVirtualMemoryStream --------------------------------------------------

TVirtualMemoryStream::TVirtualMemoryStream(const void* data, int64_t size) {
  SetPointer(static_cast<const uint8_t*>(data), data ? std::max<int64_t>(size, 0) : 0);
}

int64_t TVirtualMemoryStream::Write(const void*, int64_t) {
  throw EStreamError("You cannot write to a TVirtualMemoryStream.");
}

void TVirtualMemoryStream::SetSize(int64_t) { throw EStreamError("You cannot write to a TVirtualMemoryStream."); }

// --- THandleStream / TFileStream -------------------------------------------

#ifdef _WIN32

namespace {
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

int64_t THandleStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (count > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), got = 0;
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, chunk, &got, nullptr) || got == 0) break;
    done += got;
    count -= got;
  }
  return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (count > 0) {
    DWORD chunk = static_cast<DWORD>(std::min<int64_t>(count, 1 << 30)), put = 0;
    if (!WriteFile(H(handle_), static_cast<const char*>(buffer) + done, chunk, &put, nullptr) || put == 0) break;
    done += put;
    count -= put;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER dist, result;
  dist.QuadPart = offset;
  const DWORD method = origin == TSeekOrigin::soBeginning ? FILE_BEGIN
                       : origin == TSeekOrigin::soCurrent ? FILE_CURRENT
                                                          : FILE_END;
  if (!SetFilePointerEx(H(handle_), dist, &result, method)) return -1;
  return result.QuadPart;
}

void THandleStream::SetSize(int64_t size) {
  // As on other systems, the position moves only when it lies past the new end.
  const int64_t position = Position();
  Seek(size, TSeekOrigin::soBeginning);
  if (!SetEndOfFile(H(handle_))) throw EWriteError("Stream write error");
  if (position < size) Seek(position, TSeekOrigin::soBeginning);
}

TFileStream::TFileStream(const std::string& utf8_path, TFileMode mode) : file_name_(utf8_path) {
  DWORD access = GENERIC_READ, share = FILE_SHARE_READ, disposition = OPEN_EXISTING;
  switch (mode) {
    case TFileMode::fmOpenRead:
      break;
    case TFileMode::fmOpenReadShared:
      share = FILE_SHARE_READ | FILE_SHARE_WRITE;
      break;
    case TFileMode::fmOpenReadWrite:
      access |= GENERIC_WRITE;
      share = 0;
      break;
    case TFileMode::fmCreate:
      access |= GENERIC_WRITE;
      share = 0;
      disposition = CREATE_ALWAYS;
      break;
  }
  HANDLE h =
      CreateFileW(WidePath(utf8_path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const std::string reason = SystemErrorText(GetLastError());
    if (mode == TFileMode::fmCreate)
      throw EFCreateError(Format("Cannot create file \"%s\". %s", utf8_path.c_str(), reason.c_str()));
    throw EFOpenError(Format("Cannot open file \"%s\". %s", utf8_path.c_str(), reason.c_str()));
  }
  handle_ = reinterpret_cast<intptr_t>(h);
}

TFileStream::~TFileStream() {
  if (handle_ != -1) CloseHandle(H(handle_));
}

#else

int64_t THandleStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (count > 0) {
    const ssize_t got = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done,
                               static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
    count -= got;
  }
  return done;
}

int64_t THandleStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (count > 0) {
    const ssize_t put = ::write(static_cast<int>(handle_), static_cast<const char*>(buffer) + done,
                                static_cast<size_t>(std::min<int64_t>(count, 1 << 30)));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
    count -= put;
  }
  return done;
}

int64_t THandleStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET
                     : origin == TSeekOrigin::soCurrent ? SEEK_CUR
                                                        : SEEK_END;
  return static_cast<int64_t>(::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), whence));
}

void THandleStream::SetSize(int64_t size) {
  if (::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size)) != 0) throw EWriteError("Stream write error");
  if (Position() > size) Seek(size, TSeekOrigin::soBeginning);
}

TFileStream::TFileStream(const std::string& utf8_path, TFileMode mode) : file_name_(utf8_path) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileMode::fmOpenRead:
    case TFileMode::fmOpenReadShared:
      flags |= O_RDONLY;
      break;
    case TFileMode::fmOpenReadWrite:
      flags |= O_RDWR;
      break;
    case TFileMode::fmCreate:
      flags |= O_RDWR | O_CREAT | O_TRUNC;
      break;
  }
  int fd;
  do {
    fd = ::open(utf8_path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      fd = -1;
      errno = EISDIR;
    }
  }
  if (fd < 0) {
    const std::string reason = std::strerror(errno);
    if (mode == TFileMode::fmCreate)
      throw EFCreateError(Format("Cannot create file \"%s\". %s", utf8_path.c_str(), reason.c_str()));
    throw EFOpenError(Format("Cannot open file \"%s\". %s", utf8_path.c_str(), reason.c_str()));
  }
  handle_ = fd;
}

TFileStream::~TFileStream() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

#endif

}  // namespace common
