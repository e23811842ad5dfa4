// The archive component: listing through the operation frame, the last error,
// the dialog, events and cancellation.

#include "zip/zip_archive.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/text_conversion.h"
#include "support/zip_writer.h"
#include "zip_test_util.h"
#include "zipformat/zip_message_table.h"

using namespace zip;
using support::TZipWriter;
using ziptest::TRecordingInteraction;
using ziptest::TTempFolder;

namespace {

class ZipArchive : public ::testing::Test {
 protected:
  ZipArchive() : dir_("vorlanex_zip_archive") { zip_.SetInteraction(&ui_); }
  std::string Save(const TZipWriter& w, const std::string& name = "a.zip") {
    w.Save(dir_ / name);
    return dir_ / name;
  }
  static TZipWriter Sample() {
    TZipWriter w;
    w.AddDirectory("docs");
    w.Add("docs/a.xml", "<a/>");
    w.Add("docs/a.sig", "signature");
    return w;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < zip_.EntryCount(); ++i) names.push_back(zip_.Entry(i)->FileName());
    return names;
  }
  static std::string Path(const std::string& s) {
    std::string p = s;
    for (char& c : p)
      if (c == '/') c = platform::kPathDelimiter;
    return p;
  }
  TTempFolder dir_;
  TRecordingInteraction ui_;
  TZipArchive zip_;
};

}  // namespace

TEST_F(ZipArchive, ListsEntriesHidingDirectories) {
  int updates = 0;
  zip_.OnDirUpdate = [&] { ++updates; };
  zip_.SetZipFileName(Save(Sample()));
  EXPECT_EQ(zip_.ErrCode(), 0);
  EXPECT_EQ(zip_.EntryCount(), 2);
  EXPECT_EQ(Names(), (std::vector<std::string>{Path("docs/a.xml"), Path("docs/a.sig")}));
  EXPECT_EQ(zip_.Entry(-1), nullptr);
  EXPECT_EQ(zip_.Entry(zip_.EntryCount()), nullptr);
  EXPECT_EQ(zip_.Entry(0)->UncompressedSize(), 4u);
  EXPECT_EQ(updates, 1);
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(ui_.busy_begun, 1);
  EXPECT_EQ(ui_.busy_ended, 1);
  EXPECT_EQ(zip_.FindEntry("DOCS\\A.SIG"), zip_.Entry(1)->Record());
  EXPECT_EQ(zip_.FindEntry("docs/none"), nullptr);

  zip_.SetUseDirOnlyEntries(true);
  EXPECT_EQ(zip_.EntryCount(), 3);
  EXPECT_TRUE(zip_.Entry(0)->IsDirOnly());
}

TEST_F(ZipArchive, MissingArchiveIsRecordedWithoutDialogOrMessage) {
  int messages = 0;
  zip_.OnMessage = [&](int, const std::string&) { ++messages; };
  zip_.SetZipFileName(dir_ / "missing.zip");
  EXPECT_EQ(zip_.EntryCount(), 0);
  EXPECT_EQ(zip_.ErrCode(), 123);
  EXPECT_EQ(zip_.ErrMsg(), "Input file does not exist");
  EXPECT_TRUE(ui_.shown.empty());
  EXPECT_EQ(messages, 0);
  EXPECT_EQ(zip_.ZipFileName(), dir_ / "missing.zip");
}

TEST_F(ZipArchive, InvalidArchiveShowsTheErrorDialog) {
  support::SaveBytes(dir_ / "bad.zip", "not an archive at all");
  std::vector<std::pair<int, std::string>> messages;
  zip_.OnMessage = [&](int code, const std::string& text) { messages.emplace_back(code, text); };
  zip_.SetZipFileName(dir_ / "bad.zip");
  EXPECT_EQ(zip_.EntryCount(), 0);
  EXPECT_EQ(zip_.ErrCode(), 127);
  EXPECT_EQ(zip_.ExtErrCode() & 0x1FF, 127);
  EXPECT_EQ(zip_.ErrMsg(), "This archive is not a valid Zip archive");
  ASSERT_EQ(ui_.shown.size(), 1u);
  const auto& d = ui_.shown[0];
  EXPECT_EQ(d.caption, "Vorlanex");  // the application's title
  EXPECT_EQ(d.text, "This archive is not a valid Zip archive");
  EXPECT_EQ(d.icon, TZipDlgIcon::diAsterisk);
  EXPECT_EQ(d.beep, TZipDlgBeep::dbAsterisk);
  ASSERT_EQ(d.buttons.size(), 1u);
  EXPECT_EQ(d.buttons[0].caption, "&OK");
  EXPECT_EQ(d.buttons[0].name, "ZipDlg_A1");
  EXPECT_EQ(d.default_button, 0);
  EXPECT_EQ(d.cancel_button, 0);
  EXPECT_EQ(messages, (std::vector<std::pair<int, std::string>>{{127, "This archive is not a valid Zip archive"}}));

  // Unattended: the same error, no dialog.
  TZipArchive quiet;
  quiet.SetInteraction(&ui_);
  quiet.SetUnattended(true);
  quiet.SetZipFileName(dir_ / "bad.zip");
  EXPECT_EQ(quiet.ErrCode(), 127);
  EXPECT_EQ(ui_.shown.size(), 1u);
}

TEST_F(ZipArchive, WarningsAreShownAndTheListingGoesOn) {
  TZipWriter w = Sample();
  w.trailing = std::string(10, 'j');
  zip_.SetZipFileName(Save(w));
  EXPECT_EQ(zip_.EntryCount(), 2);
  EXPECT_EQ(zip_.ErrCode(), 151);
  ASSERT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(ui_.shown[0].text, "Error while reading a file comment");

  TZipWriter p = Sample();
  p.prefix = std::string(64, 'p');
  zip_.SetZipFileName(Save(p, "prefixed.zip"));
  EXPECT_EQ(zip_.EntryCount(), 2);
  EXPECT_EQ(zip_.ErrCode(), 20);
  EXPECT_EQ(ui_.shown.back().text, "Warning - Error in zip structure!");
}

TEST_F(ZipArchive, DialogHandlerAnswersFirst) {
  support::SaveBytes(dir_ / "bad.zip", "xx");
  std::string seen;
  zip_.OnZipDialog = [&](const std::string&, std::string& message, int& result, TZipMsgDlgButtons buttons) {
    seen = message;
    EXPECT_EQ(buttons, ZipButtons({zmbOK}));
    result = zmrOk;
  };
  zip_.SetZipFileName(dir_ / "bad.zip");
  EXPECT_EQ(seen, "This archive is not a valid Zip archive");
  EXPECT_TRUE(ui_.shown.empty());
  // An answer outside 1..10 leaves it to the built-in dialog.
  zip_.OnZipDialog = [](const std::string&, std::string&, int& result, TZipMsgDlgButtons) { result = 11; };
  zip_.SetZipFileName(dir_ / "bad.zip");
  EXPECT_EQ(ui_.shown.size(), 1u);
}

TEST_F(ZipArchive, ForeignExceptionsAndCancelledOperations) {
  const std::string path = Save(Sample());
  zip_.OnProgress = [](const TZipProgressDetails& d) {
    if (d.kind == TZipProgressKind::pkExtraUpdate) throw std::runtime_error("disk on fire");
  };
  zip_.SetZipFileName(path);
  EXPECT_EQ(zip_.ErrCode(), 1);
  EXPECT_EQ(zip_.ErrMsg(), "Unknown Errordisk on fire");
  EXPECT_EQ(ui_.shown.size(), 1u);
  EXPECT_EQ(zip_.Busy(), 0);
  EXPECT_EQ(ui_.busy_begun, ui_.busy_ended);

  // A cancel asked for during the load abandons it with id 2, which is never shown.
  zip_.OnProgress = nullptr;
  zip_.OnCheckTerminate = [](bool& abort) { abort = true; };
  zip_.SetZipFileName(path);
  EXPECT_EQ(zip_.ErrCode(), 2);
  EXPECT_EQ(zip_.ErrMsg(), "User canceled operation");
  EXPECT_EQ(ui_.shown.size(), 1u);
  EXPECT_LT(zip_.EntryCount(), 3);  // the records read before stay listed

  zip_.OnCheckTerminate = nullptr;
  zip_.SetZipFileName(path);
  EXPECT_EQ(zip_.EntryCount(), 2);
  EXPECT_GT(ui_.processed, 0);  // without OnCheckTerminate the poll handles pending messages
  zip_.ShowError(4, LoadZipStr(4));
  EXPECT_EQ(zip_.ErrCode(), 4);
  EXPECT_EQ(ui_.shown.size(), 1u);
}

TEST_F(ZipArchive, ReentryIsRefusedAndCounted) {
  const std::string path = Save(Sample());
  std::vector<std::string> trace;
  zip_.SetVerbose(true);
  zip_.OnMessage = [&](int code, const std::string& text) {
    if (code == 0) trace.push_back(text);
  };
  zip_.OnProgress = [&](const TZipProgressDetails&) {
    if (zip_.Busy()) zip_.SetZipFileName(dir_ / "other.zip");
  };
  zip_.SetZipFileName(path);
  EXPECT_GT(zip_.ReentryCount(), 0);
  EXPECT_EQ(zip_.ZipFileName(), path);
  EXPECT_EQ(zip_.EntryCount(), 2);
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Trace: Re-entry"), trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Trace: Open = 0"), trace.end());
  EXPECT_NE(std::find(trace.begin(), trace.end(), "Trace: done = 1"), trace.end());
  trace.clear();
  zip_.Diag("!note");
  EXPECT_EQ(trace, std::vector<std::string>{"info: note"});
}

TEST_F(ZipArchive, InactiveComponentListsWhenActivated) {
  const std::string path = Save(Sample());
  zip_.SetActive(false);
  zip_.SetZipFileName(path);
  EXPECT_EQ(zip_.EntryCount(), 0);
  EXPECT_EQ(zip_.ZipFileName(), path);
  zip_.SetActive(true);
  EXPECT_EQ(zip_.EntryCount(), 2);
  zip_.SetActive(false);
  EXPECT_EQ(zip_.EntryCount(), 0);
  EXPECT_EQ(zip_.Entry(0), nullptr);
  zip_.SetActive(true);
  EXPECT_EQ(zip_.EntryCount(), 2);

  // Deactivation asked for inside an operation waits for its end.
  zip_.OnDirUpdate = nullptr;
  zip_.OnProgress = [&](const TZipProgressDetails&) { zip_.SetActive(false); };
  zip_.SetZipFileName(path);
  EXPECT_FALSE(zip_.Active());
  EXPECT_EQ(zip_.ErrCode(), 0);
}

TEST_F(ZipArchive, IncludeSpecsComeBackAfterASuccessfulOperation) {
  zip_.IncludeSpecs() = {"*.xml"};
  zip_.OnProgress = [&](const TZipProgressDetails&) { zip_.IncludeSpecs().push_back("changed"); };
  zip_.SetZipFileName(Save(Sample()));
  EXPECT_EQ(zip_.IncludeSpecs(), std::vector<std::string>{"*.xml"});
}

TEST_F(ZipArchive, EncodingChangeDecodesNamesAgainAndReloadsStaleHandles) {
  TZipWriter w;
  const std::string cyrillic = "выписка.xml";
  w.Add(platform::Utf8ToCodePage(866, cyrillic), "x").host = support::kHostMsDos;
  zip_.SetZipFileName(Save(w));
  TZipCentralEntry* entry = zip_.Entry(0);
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(entry->FileName(), cyrillic);
  EXPECT_EQ(zip_.FindEntry("ВЫПИСКА.XML"), entry->Record());
  zip_.SetEncoding(zenNone);  // raw bytes read as ANSI text
  EXPECT_EQ(entry->FileName(), platform::CodePageToUtf8(1251, platform::Utf8ToCodePage(866, cyrillic)));
  EXPECT_EQ(zip_.FindEntry("выписка.xml"), nullptr);
  zip_.SetEncoding(zenAuto);
  EXPECT_EQ(entry->FileName(), cyrillic);

  // Reading the same file object again gives new records: old handles answer empty.
  TZipFile& file = const_cast<TZipFile&>(*zip_.CurrentZip());
  ASSERT_EQ(file.OpenAndList(dir_ / "a.zip"), 0);
  EXPECT_EQ(entry->FileName(), "");
  EXPECT_EQ(entry->UncompressedSize(), 0u);
  EXPECT_EQ(zip_.Entry(0)->FileName(), cyrillic);
}

TEST_F(ZipArchive, ArchiveCommentAndEmptyName) {
  TZipWriter w = Sample();
  w.comment = platform::Utf8ToCodePage(1251, "Кадастр");
  zip_.SetZipFileName(Save(w));
  EXPECT_EQ(zip_.ZipComment(), "Кадастр");
  zip_.SetZipFileName("");
  EXPECT_EQ(zip_.EntryCount(), 0);
  EXPECT_EQ(zip_.ErrCode(), 0);
  EXPECT_EQ(zip_.ZipComment(), "");
}

TEST(ZipMessageDialog, ButtonsRolesAndCaption) {
  auto load = [](int id) { return LoadZipStr(id); };
  TZipMessageDialog all("Title", "Text", zmtConfirmation, ZipButtons({zmbYesToAll, zmbNo, zmbYes, zmbHelp, zmbAll}),
                        kZipErrorHelpContext, "App", true, load);
  EXPECT_EQ(all.Caption(), "Title   (10000)");
  ASSERT_EQ(all.Buttons().size(), 4u);  // Help is never made
  EXPECT_EQ(all.Buttons()[0].caption, "&Yes");
  EXPECT_EQ(all.Buttons()[1].caption, "&No");
  EXPECT_EQ(all.Buttons()[2].caption, "CancelAll");
  EXPECT_EQ(all.Buttons()[3].caption, "YesToAll");
  EXPECT_EQ(all.Buttons()[3].name, "ZipDlg_A4");
  EXPECT_EQ(all.Buttons()[3].modal_result, zmrYesToAll);
  EXPECT_EQ(all.DefaultButton(), 0);  // Yes without OK
  EXPECT_EQ(all.CancelButton(), 1);   // No without Cancel
  EXPECT_EQ(all.Icon(), TZipDlgIcon::diQuestion);

  TZipMessageDialog retry("", "Text", zmtError, ZipButtons({zmbAbort, zmbRetry, zmbIgnore}), 0, "App", false, load);
  EXPECT_EQ(retry.Caption(), "App");
  EXPECT_EQ(retry.DefaultButton(), 1);
  EXPECT_EQ(retry.CancelButton(), -1);
  EXPECT_EQ(retry.Beep(), TZipDlgBeep::dbHand);

  TZipMessageDialog password("Password", "Enter Password ", zmtPassword, ZipButtons({zmbOK, zmbCancel}), 0, "App",
                             false, load);
  EXPECT_TRUE(password.HasPasswordEdit());
  EXPECT_EQ(password.Icon(), TZipDlgIcon::diNone);
  EXPECT_EQ(password.DefaultButton(), 0);
  EXPECT_EQ(password.CancelButton(), 1);

  // Geometry: one shared button width of at least 50 dialog units, text at most half the screen.
  TZipFontMetrics metrics{8, 16, 1000};
  int widest_text = 0;
  const auto g = password.Layout(metrics, [&](const std::string& text, int max_width, int& w, int& h) {
    w = std::min(static_cast<int>(text.size()) * 8, max_width);
    h = 16;
    widest_text = std::max(widest_text, max_width);
  });
  ASSERT_EQ(g.buttons.size(), 2u);
  EXPECT_EQ(g.buttons[0].width, 100);
  EXPECT_EQ(g.buttons[1].width, 100);
  EXPECT_GE(g.edit.width, 80 * 8);
  EXPECT_GE(g.client_width, g.edit.left + g.edit.width);
  EXPECT_GT(g.buttons[0].top, g.edit.top);
}

TEST(ZipInteraction, ConsolePresenterAnswersWithTheDefault) {
  TZipMessageDialog d("", "message", zmtInformation, ZipButtons({zmbNo, zmbYes}), 0, "App", false,
                      [](int id) { return LoadZipStr(id); });
  TZipConsoleInteraction console;
  testing::internal::CaptureStderr();
  EXPECT_EQ(console.ShowModal(d), zmrYes);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "App: message\n");
}

// The process-wide interaction belongs to the window's thread: a component made
// on another thread (a worker of a parallel sort) neither shows its dialogs nor
// turns its cursor, and falls back to standard error.
TEST_F(ZipArchive, ComponentsOfOtherThreadsLeaveTheProcessWideInteractionAlone) {
  const std::string path = Save(Sample());
  TRecordingInteraction process_wide;
  SetZipInteraction(&process_wide);
  {
    TZipArchive main_thread;
    main_thread.SetZipFileName(path);
    EXPECT_EQ(process_wide.busy_begun, 1);
    EXPECT_EQ(&main_thread.Interaction(), &process_wide);
  }
  std::thread worker([&] {
    TZipArchive component;
    component.SetUnattended(true);
    component.SetZipFileName(path);
    EXPECT_EQ(component.EntryCount(), 2);
    EXPECT_EQ(&component.Interaction(), &ConsoleZipInteraction());
  });
  worker.join();
  SetZipInteraction(nullptr);
  EXPECT_EQ(process_wide.busy_begun, 1);
  EXPECT_EQ(process_wide.busy_ended, 1);
  EXPECT_TRUE(process_wide.shown.empty());
}
