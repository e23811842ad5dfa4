#include "zip/zip_engine_loader.h"

#include <exception>

#include "common/text_format.h"
#include "platform/file_system.h"
#include "platform/text_compare.h"
#include "zip/zip_archive.h"
#include "zipformat/zip_error.h"

namespace zip {

namespace {
constexpr int kUnit = 6;
int Code(int id, int line = __builtin_LINE()) { return MakeZipCode(id, kUnit, line); }

bool IsDelimiter(char c) { return c == '/' || c == '\\'; }
}  // namespace

#ifdef _WIN32
const char* const kZipEngineLibraryName = "ZipEngine.dll";
#else
const char* const kZipEngineLibraryName = "libzipengine.so";
#endif

TZipEngineLoader& ZipEngineLoader() {
  static TZipEngineLoader loader;
  return loader;
}

TZipEngineLoader::~TZipEngineLoader() { Free(); }

TZipEngineLoader::TSlot* TZipEngineLoader::Find(const TZipArchive& component) {
  for (TSlot& slot : slots_)
    if (slot.component == &component) return &slot;
  return nullptr;
}

const TZipEngineLoader::TSlot* TZipEngineLoader::Find(const TZipArchive& component) const {
  for (const TSlot& slot : slots_)
    if (slot.component == &component) return &slot;
  return nullptr;
}

int TZipEngineLoader::References(const TZipArchive& component) const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  const TSlot* slot = Find(component);
  return slot ? slot->count : 0;
}

bool TZipEngineLoader::Loaded() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return handle_ != nullptr;
}

int TZipEngineLoader::TableSize() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return static_cast<int>(slots_.size());
}

std::string TZipEngineLoader::Name() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return name_;
}
std::string TZipEngineLoader::Banner() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return banner_;
}
std::string TZipEngineLoader::Path() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return path_;
}

void TZipEngineLoader::Free() {
  if (handle_) platform::FreeDynamicLibrary(handle_);
  handle_ = nullptr;
  exec_ = nullptr;
  version_fn_ = nullptr;
  build_fn_ = nullptr;
  abort_ = nullptr;
  name_fn_ = nullptr;
  banner_fn_ = nullptr;
  path_fn_ = nullptr;
  version_ = 0;
  build_ = 0;
}

int TZipEngineLoader::LoadFor(TZipArchive& component) {
  std::exception_ptr failure;
  int result;
  // Taken under the lock: another component's thread may load the library next.
  platform::TLibraryError error;
  std::string path;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    TSlot* slot = Find(component);
    if (!slot) {
      for (TSlot& s : slots_)
        if (!s.component) {
          slot = &s;
          break;
        }
      if (!slot) {
        slots_.resize(slots_.size() + kTableStep);
        slot = &slots_[slots_.size() - kTableStep];
      }
      slot->component = &component;
      slot->count = 0;
    }
    ++slot->count;
    if (handle_) return slot->count;
    if (loading_depth_ == 0) {
      ++loading_depth_;
      try {
        LoadLibraryFor(component);
      } catch (...) {
        failure = std::current_exception();
      }
      --loading_depth_;
    }
    slot = Find(component);
    if (version_ < kZipEngineInterface) {
      if (slot) *slot = TSlot{};
      result = -1;
    } else {
      result = slot ? slot->count : -1;
    }
    error = last_error_;
    path = path_;
  }
  // Reported outside the lock: the report runs event handlers.
  if (failure) {
    try {
      std::rethrow_exception(failure);
    } catch (...) {
      component.ReportException();
    }
  }
  if (result < 0) {
    component.Diag("#" + FormatZipStr(component.LoadZipStr(ZE_LoadErr), {int64_t{error.code}, error.text, path}));
  } else {
    component.Diag("#" + FormatZipStr(component.LoadZipStr(ZE_Loaded), {path}));
  }
  return result;
}

void TZipEngineLoader::LoadLibraryFor(TZipArchive& component) {
  std::string dir = component.EngineDirectory();
  while (!dir.empty() && IsDelimiter(dir.back())) dir.pop_back();
  // The value for an engine carried inside the program; this build carries none.
  if (dir == "><") throw EZipArchiveError(Code(ZE_NoEngine), kZipEngineLibraryName);
  if (!dir.empty() && dir[0] == '.') dir = platform::ExecutableDirectory() + dir;
  const size_t cut = dir.find_last_of("/\\");
  const std::string last = cut == std::string::npos ? dir : dir.substr(cut + 1);
  const size_t dot = last.rfind('.');
  if (dot != std::string::npos &&
      platform::SameText(std::string_view(last).substr(dot), std::string_view(platform::kLibraryExtension))) {
    LoadFile(component, dir);
    return;
  }
  if (!dir.empty() && !platform::DirectoryExists(dir)) dir.clear();
  std::string path = dir;
  if (!path.empty() && path.back() != ':' && !IsDelimiter(path.back())) path.push_back(platform::kPathDelimiter);
  LoadFile(component, path + kZipEngineLibraryName);
}

void TZipEngineLoader::LoadFile(TZipArchive& component, const std::string& path) {
  Free();
  path_ = path;
  name_.clear();
  banner_.clear();
  last_error_ = {};
  handle_ = platform::LoadDynamicLibrary(path, last_error_);
  if (!handle_) {
    throw EZipArchiveError(Code(ZE_NoEngine), last_error_.text + "\r\n" + path);
  }
  // Each entry point is looked up only while all before it were found.
  auto symbol = [this](const char* name) { return platform::LibrarySymbol(handle_, name); };
  exec_ = reinterpret_cast<TZE_Exec>(symbol("ZE_Exec"));
  if (exec_) version_fn_ = reinterpret_cast<TZE_Version>(symbol("ZE_Version"));
  if (version_fn_) build_fn_ = reinterpret_cast<TZE_PrivVersion>(symbol("ZE_PrivVersion"));
  if (build_fn_) abort_ = reinterpret_cast<TZE_Abort>(symbol("ZE_Abort"));
  if (abort_) name_fn_ = reinterpret_cast<TZE_Name>(symbol("ZE_Name"));
  if (name_fn_) banner_fn_ = reinterpret_cast<TZE_Banner>(symbol("ZE_Banner"));
  if (banner_fn_) path_fn_ = reinterpret_cast<TZE_Path>(symbol("ZE_Path"));
  int version = 0, build = 0;
  if (banner_fn_) {
    build = build_fn_();
    version = version_fn_();
    char buffer[kNameCapacity + 1] = {};
    name_fn_(buffer, kNameCapacity, 0);
    buffer[kNameCapacity] = 0;
    name_ = buffer;
    const char* banner = banner_fn_();
    banner_ = banner ? banner : "";
  }
  if (version != kZipEngineInterface || build < kZipEngineMinBuild) {
    // A library without a name text is named by its path.
    const std::string name = name_.empty() ? path : name_;
    Free();
    component.Diag("#" + FormatZipStr(component.LoadZipStr(ZE_OldEngine), {path}));
    throw EZipArchiveError(Code(ZE_OldEngine), name);
  }
  version_ = version;
  build_ = build;
}

void TZipEngineLoader::UnloadWhenUnused(TZipArchive& tracer) {
  for (const TSlot& slot : slots_)
    if (slot.component && slot.count > 0) return;
  if (loading_depth_ > 0 || !handle_) return;
  const std::string path = path_;
  Free();
  tracer.Diag("#" + FormatZipStr(tracer.LoadZipStr(ZE_Unloaded), {path}));
}

void TZipEngineLoader::ReleaseFor(TZipArchive& component) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (TSlot* slot = Find(component)) {
    if (--slot->count <= 0) *slot = TSlot{};
  }
  UnloadWhenUnused(component);
}

void TZipEngineLoader::RemoveComponent(TZipArchive& component) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  TSlot* slot = Find(component);
  if (!slot) return;
  *slot = TSlot{};
  UnloadWhenUnused(component);
}

int TZipEngineLoader::Exec(TZipCommandRecord& command) {
  TZE_Exec exec;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    exec = exec_;
  }
  return exec ? exec(&command) : zerImport;
}

void TZipEngineLoader::Abort(intptr_t key) {
  TZE_Abort abort;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    abort = abort_;
  }
  if (abort) abort(key);
}

}  // namespace zip
