// The engine loader: where the library comes from, its version checks, and
// the references that keep it loaded.

#include "zip/zip_engine_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "platform/dynamic_library.h"
#include "platform/file_system.h"
#include "platform/text_compare.h"
#include "zip/zip_archive.h"
#include "zip_test_util.h"

using namespace zip;
using ziptest::TRecordingInteraction;
using ziptest::TTempFolder;

namespace {

std::string EngineFolder() { return platform::ExecutableDirectory(); }

struct TComponent {
  explicit TComponent(const std::string& engine_directory) {
    zip.SetInteraction(&ui);
    zip.SetEngineDirectory(engine_directory);
  }
  TRecordingInteraction ui;
  TZipArchive zip;
};

}  // namespace

TEST(ZipEngineLoader, MissingLibraryIsErrorNineteenOncePerComponent) {
  TTempFolder dir("vorlanex_loader_missing");
  ASSERT_FALSE(ZipEngineLoader().Loaded());
  for (int i = 0; i < 2; ++i) {
    TComponent c(dir.Path());
    c.zip.SetEngineLoad(true);
    EXPECT_FALSE(c.zip.EngineLoad());
    EXPECT_EQ(c.zip.ErrCode(), 19);
    const std::string path = dir / kZipEngineLibraryName;
    EXPECT_EQ(c.zip.ErrMsg().rfind("Failed to load ", 0), 0u) << c.zip.ErrMsg();
    EXPECT_NE(c.zip.ErrMsg().find("\r\n" + path), std::string::npos) << c.zip.ErrMsg();
    ASSERT_EQ(c.ui.shown.size(), 1u);
    EXPECT_EQ(ZipEngineLoader().References(c.zip), 0);
    c.zip.SetEngineLoad(true);  // tried again, reported again
    EXPECT_EQ(c.ui.shown.size(), 2u);
  }
  EXPECT_FALSE(ZipEngineLoader().Loaded());

  // The value for an engine inside the program: this build has none.
  TComponent inside("><");
  inside.zip.SetEngineLoad(true);
  EXPECT_EQ(inside.zip.ErrCode(), 19);
  EXPECT_EQ(inside.zip.ErrMsg(), std::string("Failed to load ") + kZipEngineLibraryName);

  // A folder that does not exist is dropped: the bare name is searched for.
  // Windows looks in the program's own folder only (never on the search
  // path), and finds the library there; elsewhere the system's search does not.
  TComponent nowhere(dir / "no such folder");
  nowhere.zip.SetEngineLoad(true);
#ifdef _WIN32
  EXPECT_TRUE(nowhere.zip.EngineLoad()) << nowhere.zip.ErrMsg();
#else
  EXPECT_EQ(nowhere.zip.ErrCode(), 19);
  EXPECT_NE(nowhere.zip.ErrMsg().find(std::string("\r\n") + kZipEngineLibraryName), std::string::npos);
#endif
  EXPECT_EQ(ZipEngineLoader().Path(), kZipEngineLibraryName);
}

TEST(ZipEngineLoader, LoadsTheNamedFileAndTheProgramFolder) {
  TTempFolder dir("vorlanex_loader_named");
  // The library file itself, its extension in another letter case.
  const std::string copy = dir / ("Engine" + platform::UpperCase(std::string_view(platform::kLibraryExtension)));
  std::filesystem::copy_file(platform::ToPath(EngineFolder() + kZipEngineLibraryName), platform::ToPath(copy));
  {
    TComponent c(copy);
    c.zip.SetEngineLoad(true);
    EXPECT_TRUE(c.zip.EngineLoad()) << c.zip.ErrMsg();
    EXPECT_EQ(ZipEngineLoader().Path(), copy);
    EXPECT_EQ(ZipEngineLoader().Version(), 190);
    EXPECT_GE(ZipEngineLoader().Build(), 1900111);
    EXPECT_FALSE(ZipEngineLoader().Name().empty());
    EXPECT_FALSE(ZipEngineLoader().Banner().empty());
  }
  EXPECT_FALSE(ZipEngineLoader().Loaded());
  // "." stands for the program's own folder, with or without a trailing delimiter.
  for (const char* value : {".", "./"}) {
    TComponent c(value);
    c.zip.SetEngineLoad(true);
    EXPECT_TRUE(c.zip.EngineLoad()) << c.zip.ErrMsg();
    EXPECT_EQ(ZipEngineLoader().Path(), EngineFolder() + "." + platform::kPathDelimiter + kZipEngineLibraryName);
  }
}

// A library of the engine's name planted in the current folder is never the
// one loaded, whatever folder the component names.
TEST(ZipEngineLoader, APlantedLibraryInTheCurrentFolderIsNeverLoaded) {
  TTempFolder dir("vorlanex_loader_planted");
  std::filesystem::copy_file(platform::ToPath(VORLANEX_FAKE_ENGINE_OLD), platform::ToPath(dir / kZipEngineLibraryName));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(platform::ToPath(dir.Path()));
  for (const std::string& folder : {std::string(), dir / "no such folder"}) {
    TComponent c(folder);
    c.zip.SetEngineLoad(true);
    EXPECT_NE(c.zip.ErrCode(), 18) << c.zip.ErrMsg();
#ifdef _WIN32
    // The program's own folder holds the real one.
    EXPECT_TRUE(c.zip.EngineLoad()) << c.zip.ErrMsg();
    EXPECT_EQ(ZipEngineLoader().Version(), 190);
#endif
  }
  std::filesystem::current_path(previous);
  EXPECT_FALSE(ZipEngineLoader().Loaded());
}

TEST(ZipEngineLoader, RefusesOldOrIncompleteLibraries) {
  TComponent old(VORLANEX_FAKE_ENGINE_OLD);
  old.zip.SetEngineLoad(true);
  EXPECT_FALSE(old.zip.EngineLoad());
  EXPECT_EQ(old.zip.ErrCode(), 18);
  EXPECT_EQ(old.zip.ErrMsg(), "Unable to load Old engine - It is old or corrupt");
  EXPECT_FALSE(ZipEngineLoader().Loaded());

  TComponent partial(VORLANEX_FAKE_ENGINE_PARTIAL);
  partial.zip.SetVerbose(true);
  std::vector<std::string> trace;
  partial.zip.OnMessage = [&](int code, const std::string& text) {
    if (code == 0) trace.push_back(text);
  };
  partial.zip.SetEngineLoad(true);
  EXPECT_EQ(partial.zip.ErrCode(), 18);
  // Without a name text the library is named by its path.
  EXPECT_EQ(partial.zip.ErrMsg(),
            std::string("Unable to load ") + VORLANEX_FAKE_ENGINE_PARTIAL + " - It is old or corrupt");
  EXPECT_NE(
      std::find(trace.begin(), trace.end(), std::string("Trace: Error [0 ] loading ") + VORLANEX_FAKE_ENGINE_PARTIAL),
      trace.end());
}

TEST(ZipEngineLoader, ComponentsShareOneLoad) {
  std::vector<std::string> trace;
  auto a = std::make_unique<TComponent>(EngineFolder());
  TComponent b(EngineFolder());
  a->zip.SetTrace(true);
  a->zip.OnMessage = [&](int code, const std::string& text) {
    if (code == 0) trace.push_back(text);
  };
  a->zip.SetEngineLoad(true);
  ASSERT_TRUE(a->zip.EngineLoad()) << a->zip.ErrMsg();
  EXPECT_EQ(trace.size() >= 1 && trace[0].rfind("Trace: Loaded ", 0) == 0, true);
  b.zip.SetEngineLoad(true);
  EXPECT_TRUE(b.zip.EngineLoad());
  EXPECT_EQ(ZipEngineLoader().References(a->zip), 1);
  EXPECT_EQ(ZipEngineLoader().References(b.zip), 1);
  b.zip.SetEngineLoad(true);  // no change: no second reference
  EXPECT_EQ(ZipEngineLoader().References(b.zip), 1);

  b.zip.SetEngineLoad(false);
  EXPECT_TRUE(ZipEngineLoader().Loaded());
  // Freed while loaded: its reference goes, and it was the last.
  a.reset();
  EXPECT_FALSE(ZipEngineLoader().Loaded());
  EXPECT_NE(std::find_if(trace.begin(), trace.end(),
                         [](const std::string& t) { return t.rfind("Trace: Unloaded ", 0) == 0; }),
            trace.end());

  // The table grows four slots at a time and reuses freed ones.
  const int before = ZipEngineLoader().TableSize();
  std::vector<std::unique_ptr<TComponent>> many;
  for (int i = 0; i < 5; ++i) {
    many.push_back(std::make_unique<TComponent>(EngineFolder()));
    many.back()->zip.SetEngineLoad(true);
  }
  EXPECT_EQ(ZipEngineLoader().TableSize() % TZipEngineLoader::kTableStep, 0);
  EXPECT_LE(ZipEngineLoader().TableSize(), std::max(before, 8));
  many.clear();
  EXPECT_FALSE(ZipEngineLoader().Loaded());
}
