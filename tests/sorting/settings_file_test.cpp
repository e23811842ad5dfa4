#include "sorting/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/file_system.h"
#include "platform/text_conversion.h"
#include "support/temp_folder.h"

using namespace sorting;

namespace {

std::string Cp1251(const std::string& utf8) { return platform::Utf8ToCodePage(1251, utf8); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(platform::ToPath(path), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(platform::ToPath(path), std::ios::binary);
  out << bytes;
}

const char* const kDeclaration = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>";

TEST(SettingsFileTest, WritesTheSixLinesExactly) {
  const std::string text = SettingsText({120, 80, 596, 372}, {"D:\\Incoming", "D:\\Sorted", true, false},
                                        {"{Номер региона}\\{Номер района}", "{Номер региона}\\{Номер участка}"});
  const std::string expected = Cp1251(
      "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
      "<root>\r\n"
      "\t<FormSettings Left=\"120\" Top=\"80\" Width=\"596\" Height=\"372\"/>\r\n"
      "\t<FolderSettings InputFolder=\"D:\\Incoming\" OutputFolder=\"D:\\Sorted\" InputFolderDeepSearch=\"1\" "
      "Unpack=\"0\"/>\r\n"
      "\t<RulesSettings RuleKpt=\"{Номер региона}\\{Номер района}\" RuleKvzu=\"{Номер региона}\\{Номер "
      "участка}\"/>\r\n"
      "</root>");
  EXPECT_EQ(text, expected);
  // The Cyrillic letters are single windows-1251 bytes: "Н" is 0xCD.
  EXPECT_NE(text.find("{\xCD\xEE\xEC\xE5\xF0 \xF0\xE5\xE3\xE8\xEE\xED\xE0}"), std::string::npos);
}

TEST(SettingsFileTest, EmptyFoldersAndNegativePositionsAndUncheckedSwitches) {
  const std::string text = SettingsText({-8, -30, 308, 367}, {"", "", false, false}, {"", ""});
  EXPECT_NE(text.find("<FormSettings Left=\"-8\" Top=\"-30\" Width=\"308\" Height=\"367\"/>"), std::string::npos);
  EXPECT_NE(text.find("<FolderSettings InputFolder=\"\" OutputFolder=\"\" InputFolderDeepSearch=\"0\" Unpack=\"0\"/>"),
            std::string::npos);
  EXPECT_NE(text.find("<RulesSettings RuleKpt=\"\" RuleKvzu=\"\"/>"), std::string::npos);

  const TSettings read = ParseSettings(text, kSettingsFileName);
  ASSERT_TRUE(read.form && read.folders && read.rules);
  EXPECT_EQ(read.form->left, -8);
  EXPECT_EQ(read.form->top, -30);
  EXPECT_FALSE(read.folders->deep_search);
  EXPECT_FALSE(read.folders->unpack);
}

TEST(SettingsFileTest, TextsSurviveARoundTrip) {
  const std::vector<std::string> texts = {
      "R&D's {Номер региона}",         // ampersand and apostrophe
      "a\"b<c>d",                      // the other escaped characters
      "C:\\Пользователи\\Иванов",      // backslashes and Cyrillic
      "tab\there and\r\nline breaks",  // attribute reading would make these blanks
      "中文 ẞ € 😀 ё Ё №",              // beyond windows-1251, and in it
  };
  for (const std::string& value : texts) {
    const std::string text = SettingsText({}, {value, value, true, true}, {value, value});
    const TSettings read = ParseSettings(text, kSettingsFileName);
    ASSERT_TRUE(read.folders && read.rules) << value;
    EXPECT_EQ(read.folders->input_folder, value);
    EXPECT_EQ(read.folders->output_folder, value);
    EXPECT_EQ(read.rules->kpt_rule, value);
    EXPECT_EQ(read.rules->kvzu_rule, value);
  }
  // Other control characters cannot be written at all; they become "_".
  const TSettings bell = ParseSettings(SettingsText({}, {}, {"bell\x07\xEF\xBF\xBF", ""}), kSettingsFileName);
  EXPECT_EQ(bell.rules->kpt_rule, "bell__");
  // Exactly the four characters are escaped; the apostrophe stays as it is.
  const std::string text = SettingsText({}, {}, {"R&D's \"<>\"", ""});
  EXPECT_NE(text.find("RuleKpt=\"R&amp;D's &quot;&lt;&gt;&quot;\""), std::string::npos);
  // A character windows-1251 lacks becomes a numeric reference; the euro sign is in it.
  const std::string wide = SettingsText({}, {}, {"中€", ""});
  EXPECT_NE(wide.find("RuleKpt=\"&#20013;\x88\""), std::string::npos);
}

TEST(SettingsFileTest, ReadsEntitiesAndReferencesAnyRootAndSkipsMissingSections) {
  const std::string text = Cp1251(std::string(kDeclaration) +
                                  "\r\n<settings><RulesSettings RuleKpt=\"&amp;&quot;&lt;&gt;&apos;&#1060;&#x424;Ф\"/>"
                                  "<FolderSettings InputFolder=\"in\"/></settings>");
  const TSettings read = ParseSettings(text, kSettingsFileName);
  EXPECT_FALSE(read.form);
  ASSERT_TRUE(read.rules);
  EXPECT_EQ(read.rules->kpt_rule, "&\"<>'ФФФ");
  EXPECT_EQ(read.rules->kvzu_rule, "");  // a missing attribute of a present section
  ASSERT_TRUE(read.folders);
  EXPECT_EQ(read.folders->input_folder, "in");
  EXPECT_EQ(read.folders->output_folder, "");
  // Without the switch attributes both switches are on.
  EXPECT_TRUE(read.folders->deep_search);
  EXPECT_TRUE(read.folders->unpack);
}

TEST(SettingsFileTest, DefaultsForMissingOrUnreadableValues) {
  const TSettings read = ParseSettings(
      "<root><FormSettings Top=\"12\" Width=\"abc\" Height=\"99999999999\"/>"
      "<FolderSettings InputFolderDeepSearch=\"yes\" Unpack=\"0\"/><formsettings Left=\"1\"/></root>",
      kSettingsFileName);
  ASSERT_TRUE(read.form);
  EXPECT_EQ(read.form->left, 300);  // names are compared with their letter case
  EXPECT_EQ(read.form->top, 12);
  EXPECT_EQ(read.form->width, 400);
  EXPECT_EQ(read.form->height, 400);
  ASSERT_TRUE(read.folders);
  EXPECT_TRUE(read.folders->deep_search);
  EXPECT_FALSE(read.folders->unpack);
  EXPECT_FALSE(read.rules);
}

TEST(SettingsFileTest, FileWithoutElementsHasNoSections) {
  const TSettings read = ParseSettings(kDeclaration, kSettingsFileName);
  EXPECT_FALSE(read.form || read.folders || read.rules);
}

TEST(SettingsFileTest, DamagedFileGivesTheParserMessageAndTheFileName) {
  try {
    ParseSettings(std::string(kDeclaration) + "\r\n<root><FormSettings Left=\"1\"></root>", kSettingsFileName);
    FAIL() << "no error";
  } catch (const ESettingsFileError& e) {
    const std::string message = e.what();
    const std::string suffix = " (файл: \"Vorlanex.cfg\")";
    ASSERT_GT(message.size(), suffix.size());
    EXPECT_EQ(message.substr(message.size() - suffix.size()), suffix);
    EXPECT_NE(message.find("Line: 2"), std::string::npos) << message;
  }
}

TEST(SettingsFileTest, LoadAndSaveOnDisk) {
  support::TTempFolder folder("settings_file");
  const std::string path = folder / kSettingsFileName;
  EXPECT_FALSE(LoadSettingsFile(path));

  SaveSettingsFile(path, {1, 2, 500, 370}, {"вход", "выход", false, true}, {"К", "В"});
  EXPECT_EQ(ReadBytes(path), SettingsText({1, 2, 500, 370}, {"вход", "выход", false, true}, {"К", "В"}));
  const auto read = LoadSettingsFile(path);
  ASSERT_TRUE(read && read->form && read->folders && read->rules);
  EXPECT_EQ(read->form->width, 500);
  EXPECT_EQ(read->folders->output_folder, "выход");
  EXPECT_EQ(read->rules->kvzu_rule, "В");

  // A second save replaces the file whole and leaves nothing else behind.
  SaveSettingsFile(path, {}, {}, {});
  EXPECT_EQ(ReadBytes(path), SettingsText({}, {}, {}));
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(platform::ToPath(folder.Path())))
    ++files;
  EXPECT_EQ(files, 1);
}

TEST(SettingsFileTest, FailedSaveRaisesAndKeepsTheOldFile) {
  support::TTempFolder folder("settings_file_fail");
  EXPECT_THROW(SaveSettingsFile(folder / "missing" + platform::kPathDelimiter + kSettingsFileName, {}, {}, {}),
               ESettingsFileError);

  const std::string path = folder / kSettingsFileName;
  WriteBytes(path, "<root/>");
  std::filesystem::permissions(platform::ToPath(folder.Path()), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  const bool writable = std::ofstream(platform::ToPath(folder / "probe")).good();  // root may write anyway
  if (!writable) {
    EXPECT_THROW(SaveSettingsFile(path, {}, {}, {}), ESettingsFileError);
    EXPECT_EQ(ReadBytes(path), "<root/>");
  }
  std::filesystem::permissions(platform::ToPath(folder.Path()), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
}

TEST(SettingsFileTest, UnreadableFileIsReportedWithItsName) {
  support::TTempFolder folder("settings_file_dir");
  const std::string path = folder / kSettingsFileName;
  WriteBytes(path, "<root");
  try {
    LoadSettingsFile(path);
    FAIL() << "no error";
  } catch (const ESettingsFileError& e) {
    EXPECT_NE(std::string(e.what()).find("(файл: \"" + path + "\")"), std::string::npos) << e.what();
  }
}

}  // namespace
