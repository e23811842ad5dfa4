// Windows only: the long-path form that the file calls get.

#ifdef _WIN32

#include "common/windows_path.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

using common::Utf8Path;
using common::WidePath;

namespace {

bool StartsWith(const std::wstring& text, const std::wstring& prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

TEST(WindowsPath, ShortPathsGoThroughAsTheyAre) {
  EXPECT_EQ(WidePath("C:\\Данные/вход\\..\\a.zip"), L"C:\\Данные/вход\\..\\a.zip");
  EXPECT_EQ(WidePath("relative\\a.zip"), L"relative\\a.zip");
  EXPECT_EQ(WidePath(""), L"");
}

TEST(WindowsPath, LongPathsGetTheLongFormAbsoluteAndClean) {
  std::string levels;
  for (int i = 0; i < 30; ++i) levels += "\\Квартал " + std::to_string(i);
  const std::wstring drive = WidePath("C:\\Выход\\.\\лишний\\..\\" + levels.substr(1) + "/файл.xml");
  EXPECT_TRUE(StartsWith(drive, L"\\\\?\\C:\\Выход\\Квартал 0\\Квартал 1\\")) << Utf8Path(drive);
  EXPECT_EQ(drive.find(L'/'), std::wstring::npos);
  EXPECT_EQ(drive.find(L"\\.\\"), std::wstring::npos);
  EXPECT_EQ(drive.find(L"\\..\\"), std::wstring::npos);
  EXPECT_TRUE(drive.ends_with(L"\\Квартал 29\\файл.xml"));

  const std::wstring share = WidePath("\\\\server\\share" + levels);
  EXPECT_TRUE(StartsWith(share, L"\\\\?\\UNC\\server\\share\\Квартал 0\\")) << Utf8Path(share);

  // A relative path is taken from the current folder.
  wchar_t current[MAX_PATH] = {};
  ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, current), 0u);
  const std::wstring relative = WidePath(levels.substr(1));
  EXPECT_TRUE(StartsWith(relative, L"\\\\?\\" + std::wstring(current))) << Utf8Path(relative);

  // A path in the long form already is left alone.
  EXPECT_EQ(Utf8Path(WidePath("\\\\?\\C:\\x\\.\\" + levels)), "C:\\x\\.\\" + levels);
}

TEST(WindowsPath, PathsComeBackWithoutTheLongForm) {
  EXPECT_EQ(Utf8Path(L"\\\\?\\C:\\Выход\\файл.xml"), "C:\\Выход\\файл.xml");
  EXPECT_EQ(Utf8Path(L"\\\\?\\UNC\\server\\share\\x"), "\\\\server\\share\\x");
  EXPECT_EQ(Utf8Path(L"C:\\plain"), "C:\\plain");
  EXPECT_EQ(Utf8Path(L""), "");
}

#endif
