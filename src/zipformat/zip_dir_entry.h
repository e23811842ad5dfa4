#pragma once
// The getters every directory entry answers: the central directory record itself
// and the handles the component hands out for it.

#include <cstdint>
#include <string>

namespace zip {

class TZipDirEntry {
 public:
  virtual ~TZipDirEntry();

  // Decoded name in UTF-8 with the platform's path delimiter.
  virtual const std::string& FileName() const = 0;
  // Decoded entry comment in UTF-8.
  virtual std::string FileComment() const = 0;
  virtual uint64_t CompressedSize() const = 0;
  virtual uint64_t UncompressedSize() const = 0;
  virtual uint32_t CRC32() const = 0;
  virtual uint16_t CompressionMethod() const = 0;
  // The DOS stamp: date in the high word, time in the low word.
  virtual uint32_t DateTime() const = 0;
  virtual uint16_t Flag() const = 0;
  // Low byte version, high byte host system.
  virtual uint16_t VersionMadeBy() const = 0;
  virtual uint16_t VersionNeeded() const = 0;
  virtual uint32_t ExtFileAttrib() const = 0;
  virtual uint16_t IntFileAttrib() const = 0;
  virtual uint32_t StartOnDisk() const = 0;
  virtual uint64_t RelOffLocalHdr() const = 0;
  virtual const std::string& RawFileName() const = 0;
  virtual const std::string& ExtraField() const = 0;
  virtual const std::string& RawComment() const = 0;
  // The raw name ends with "/".
  virtual bool IsDirOnly() const = 0;

  bool Encrypted() const { return (Flag() & 1) != 0; }
};

}  // namespace zip
