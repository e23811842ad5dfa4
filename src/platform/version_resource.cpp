#include "platform/version_resource.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include "common/text_format.h"

#ifndef VORLANEX_VERSION_MAJOR
#define VORLANEX_VERSION_MAJOR 0
#define VORLANEX_VERSION_MINOR 0
#define VORLANEX_VERSION_PATCH 0
#define VORLANEX_VERSION_TWEAK 0
#endif

namespace platform {

namespace {

constexpr size_t kFileVersionEnd = 56;

void PutWord(std::string& out, uint16_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>(value >> 8);
}

void PutDword(std::string& out, uint32_t value) {
  PutWord(out, static_cast<uint16_t>(value & 0xFFFF));
  PutWord(out, static_cast<uint16_t>(value >> 16));
}

uint16_t WordAt(std::string_view bytes, size_t offset) {
  return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

}  // namespace

std::string MakeVersionRecord(const TFileVersion& version) {
  constexpr uint16_t kFixedInfoSize = 52;
  constexpr char16_t kKey[] = u"VS_VERSION_INFO";
  std::string fixed;
  PutDword(fixed, 0xFEEF04BD);  // signature
  PutDword(fixed, 0x00010000);  // structure version 1.0
  const uint32_t high = static_cast<uint32_t>(version.major) << 16 | version.minor;
  const uint32_t low = static_cast<uint32_t>(version.release) << 16 | version.build;
  PutDword(fixed, high);  // file version
  PutDword(fixed, low);
  PutDword(fixed, high);  // product version
  PutDword(fixed, low);
  PutDword(fixed, 0x3F);     // flags mask
  PutDword(fixed, 0);        // flags
  PutDword(fixed, 0x40004);  // Windows NT, 32-bit API
  PutDword(fixed, 1);        // an application
  PutDword(fixed, 0);        // subtype
  PutDword(fixed, 0);        // date
  PutDword(fixed, 0);

  std::string record;
  PutWord(record, 0);  // length, set below
  PutWord(record, kFixedInfoSize);
  PutWord(record, 0);                          // binary value
  for (char16_t c : kKey) PutWord(record, c);  // with its terminator
  while (record.size() % 4 != 0) record += '\0';
  record += fixed;
  const auto length = static_cast<uint16_t>(record.size());
  record[0] = static_cast<char>(length & 0xFF);
  record[1] = static_cast<char>(length >> 8);
  return record;
}

std::string OwnVersionRecord() {
#ifdef _WIN32
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16));
  if (!resource) return {};
  HGLOBAL loaded = LoadResource(module, resource);
  const DWORD size = SizeofResource(module, resource);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  return std::string(static_cast<const char*>(data), size);
#else
  return MakeVersionRecord(
      {VORLANEX_VERSION_MAJOR, VORLANEX_VERSION_MINOR, VORLANEX_VERSION_PATCH, VORLANEX_VERSION_TWEAK});
#endif
}

std::string FileVersionText(std::string_view record) {
  if (record.size() < kFileVersionEnd) return {};
  return common::Format("v%d.%d.%d.%d", WordAt(record, 50), WordAt(record, 48), WordAt(record, 54), WordAt(record, 52));
}

}  // namespace platform
