// The seven entry points of the extraction engine library. Nothing else is
// exported, and nothing but plain C data and results crosses them.

#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "zipengine/zip_engine_job.h"
#include "zipengine/zip_whole_inflate.h"
#include "zipformat/zip_engine_records.h"

#ifdef _WIN32
#include <windows.h>

#include "common/windows_path.h"
#else
#include <dlfcn.h>
#endif

namespace {

constexpr int kBuild = 1900120;
constexpr const char* kName = "Vorlanex extraction engine";
constexpr const char* kBanner = "Vorlanex extraction engine 1.90 (stored and deflated entries, zlib inflate)";
constexpr const char* kBannerWhole =
    "Vorlanex extraction engine 1.90 (stored and deflated entries, zlib and libdeflate inflate)";

// Running commands, so ZE_Abort can tell a live key from a stale one.
std::mutex g_jobs_lock;
std::set<zipengine::TZipEngineJob*>& Jobs() {
  static std::set<zipengine::TZipEngineJob*> jobs;
  return jobs;
}

std::string OwnPath() {
#ifdef _WIN32
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&OwnPath), &module);
  // UTF-8 like every path of the program, whatever the ANSI code page.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return common::Utf8Path(std::wstring_view(buffer.data(), n));
    buffer.resize(buffer.size() * 2);
  }
#else
  Dl_info info{};
  return dladdr(reinterpret_cast<void*>(&OwnPath), &info) && info.dli_fname ? info.dli_fname : "";
#endif
}

}  // namespace

extern "C" {

ZE_EXPORT int ZE_CALL ZE_Exec(TZipCommandRecord* command) {
  try {
    if (!command || command->check != zip::kZipCommandCheck || command->version != zip::kZipEngineInterface ||
        !command->main_callback)
      return zip::zerStructure;
    zipengine::TZipEngineJob job(*command);
    {
      std::lock_guard<std::mutex> lock(g_jobs_lock);
      Jobs().insert(&job);
    }
    const int result = job.Run();
    std::lock_guard<std::mutex> lock(g_jobs_lock);
    Jobs().erase(&job);
    return result;
  } catch (const std::bad_alloc&) {
    return zip::zerNoMemory;
  } catch (...) {
    return zip::zerFatal;
  }
}

ZE_EXPORT int ZE_CALL ZE_Version(void) { return zip::kZipEngineInterface; }

ZE_EXPORT int ZE_CALL ZE_PrivVersion(void) { return kBuild; }

ZE_EXPORT void ZE_CALL ZE_Abort(intptr_t key) {
  std::lock_guard<std::mutex> lock(g_jobs_lock);
  for (zipengine::TZipEngineJob* job : Jobs())
    if (job->Key() == key) job->Abort();
}

ZE_EXPORT void ZE_CALL ZE_Name(char* buffer, int capacity, int wide) {
  if (!buffer || capacity <= 0) return;
  const size_t n = std::min<size_t>(std::strlen(kName), static_cast<size_t>(capacity) - 1);
  if (wide) {
    auto* w = reinterpret_cast<char16_t*>(buffer);
    for (size_t i = 0; i < n; ++i) w[i] = static_cast<char16_t>(kName[i]);
    w[n] = 0;
  } else {
    std::memcpy(buffer, kName, n);
    buffer[n] = 0;
  }
}

ZE_EXPORT const char* ZE_CALL ZE_Banner(void) {
  return zipengine::TZipWholeInflate::Available() ? kBannerWhole : kBanner;
}

ZE_EXPORT const char* ZE_CALL ZE_Path(void) {
  static const std::string path = OwnPath();
  return path.c_str();
}

}  // extern "C"
