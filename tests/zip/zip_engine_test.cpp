// The engine library on its own: its exports, its answers to malformed
// commands, and the wildcard and path rules it extracts by.

#include <gtest/gtest.h>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "zip/zip_engine_loader.h"
#include "zip/zip_engine_records.h"

using namespace zip;

namespace {

struct TEngine {
  TEngine() {
    platform::TLibraryError error;
    handle = platform::LoadDynamicLibrary(platform::ExecutableDirectory() + kZipEngineLibraryName, error);
  }
  ~TEngine() { platform::FreeDynamicLibrary(handle); }
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(platform::LibrarySymbol(handle, name));
  }
  platform::TLibraryHandle handle = nullptr;
};

int ZE_CALL Unanswered(TZipCallbackRecord*) { return 0; }

}  // namespace

TEST(ZipEngine, ExportsAndVersions) {
  TEngine engine;
  ASSERT_NE(engine.handle, nullptr);
  EXPECT_EQ(engine.Get<TZE_Version>("ZE_Version")(), 190);
  EXPECT_GE(engine.Get<TZE_PrivVersion>("ZE_PrivVersion")(), 1900111);
  char name[8];
  engine.Get<TZE_Name>("ZE_Name")(name, sizeof name, 0);
  EXPECT_EQ(std::string(name).size(), 7u);  // cut to the buffer
  EXPECT_NE(std::string(engine.Get<TZE_Path>("ZE_Path")()).find(kZipEngineLibraryName), std::string::npos);
  // Nothing of the code inside is visible.
  EXPECT_EQ(engine.Get<void*>("_ZN3zip8TZipFileC1ERNS_11TZipContextE"), nullptr);
  engine.Get<TZE_Abort>("ZE_Abort")(12345);  // a key of no running command is ignored
}

TEST(ZipEngine, RefusesMalformedCommands) {
  TEngine engine;
  auto exec = engine.Get<TZE_Exec>("ZE_Exec");
  EXPECT_EQ(exec(nullptr), zerStructure);
  TZipCommandRecord command{};
  command.version = 190;
  command.main_callback = &Unanswered;
  EXPECT_EQ(exec(&command), zerStructure);  // no check value
  command.check = kZipCommandCheck;
  EXPECT_EQ(exec(&command), zerBadOptions);  // neither extract nor test
  command.options = kZipOptAlways | kZipOptExtract;
  EXPECT_EQ(exec(&command), zerOpenZip);  // nobody names the archive
}
