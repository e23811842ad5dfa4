#pragma once
// The process-wide loader of the extraction engine library: one loaded
// library shared by every archive component that holds a reference to it.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "zipformat/zip_engine_records.h"

namespace zip {

class TZipArchive;

// The engine library's file name: "ZipEngine.dll" on Windows, "libzipengine.so" elsewhere.
extern const char* const kZipEngineLibraryName;

class TZipEngineLoader {
 public:
  static constexpr int kTableStep = 4;       // the table grows by this many slots
  static constexpr int kNameCapacity = 260;  // ZE_Name's buffer holds one more

  TZipEngineLoader() = default;
  ~TZipEngineLoader();
  TZipEngineLoader(const TZipEngineLoader&) = delete;
  TZipEngineLoader& operator=(const TZipEngineLoader&) = delete;

  // Takes a reference for the component, loading the library from the
  // component's EngineDirectory when it is not loaded yet. The component's
  // reference count, or -1 (a load failure has been reported through it).
  int LoadFor(TZipArchive& component);
  // Gives one reference back; the library is unloaded when none is left.
  void ReleaseFor(TZipArchive& component);
  // The component is being freed: all its references go with its slot.
  void RemoveComponent(TZipArchive& component);

  int References(const TZipArchive& component) const;
  bool Loaded() const;
  // Slots in the table (used and free).
  int TableSize() const;

  // Runs a command (outside the lock; the caller holds a reference).
  int Exec(TZipCommandRecord& command);
  void Abort(intptr_t key);

  int Version() const { return version_; }
  int Build() const { return build_; }
  std::string Name() const;
  std::string Banner() const;
  std::string Path() const;
  const platform::TLibraryError& LastError() const { return last_error_; }

 private:
  struct TSlot {
    const TZipArchive* component = nullptr;
    int count = 0;
  };
  TSlot* Find(const TZipArchive& component);
  const TSlot* Find(const TZipArchive& component) const;
  // Resolves the file from the component's EngineDirectory and loads it;
  // raises EZipArchiveError (18, 19) on failure.
  void LoadLibraryFor(TZipArchive& component);
  void LoadFile(TZipArchive& component, const std::string& path);
  void Free();
  void UnloadWhenUnused(TZipArchive& tracer);

  mutable std::recursive_mutex lock_;
  platform::TLibraryHandle handle_ = nullptr;
  TZE_Exec exec_ = nullptr;
  TZE_Version version_fn_ = nullptr;
  TZE_PrivVersion build_fn_ = nullptr;
  TZE_Abort abort_ = nullptr;
  TZE_Name name_fn_ = nullptr;
  TZE_Banner banner_fn_ = nullptr;
  TZE_Path path_fn_ = nullptr;
  int version_ = 0;
  int build_ = 0;
  std::string name_;
  std::string banner_;
  std::string path_;
  platform::TLibraryError last_error_;
  std::vector<TSlot> slots_;
  int loading_depth_ = 0;
};

// The loader of the process, made on first use.
TZipEngineLoader& ZipEngineLoader();

}  // namespace zip
