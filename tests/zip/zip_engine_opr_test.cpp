// The component's side of the engine exchange: the command record and the
// answers of both callbacks, driven directly as an engine would.

#include "zip/zip_engine_opr.h"

#include <gtest/gtest.h>

#include <cstring>

#include "zip/zip_archive.h"
#include "zip_test_util.h"

using namespace zip;

namespace {

class ZipEngineOpr : public ::testing::Test {
 protected:
  ZipEngineOpr() : opr_(zip_) { zip_.SetInteraction(&ui_); }
  int Call(int action, const char* text = "", int a1 = 0, int a2 = 0, int a3 = 0) {
    r_ = TZipCallbackRecord{};
    r_.caller = &opr_;
    r_.action = action;
    r_.msg = text;
    r_.arg1 = a1;
    r_.arg2 = a2;
    r_.arg3 = a3;
    r_.check = kZipCallbackCheck;
    return TZipEngineOpr::MainCallback(&r_);
  }
  std::string Answer() const { return r_.msg ? static_cast<const char*>(r_.msg) : ""; }
  ziptest::TRecordingInteraction ui_;
  TZipArchive zip_;
  TZipEngineOpr opr_;
  TZipCallbackRecord r_{};
};

}  // namespace

TEST_F(ZipEngineOpr, CommandRecord) {
  opr_.BuildCommand();
  const TZipCommandRecord& c = opr_.Command();
  EXPECT_EQ(c.options, 0x24u);
  EXPECT_EQ(c.version, 190);
  EXPECT_EQ(c.check, 0x03070505u);
  EXPECT_EQ(c.caller, &opr_);
  EXPECT_EQ(c.password_req_count, 1);
  EXPECT_EQ(c.verbosity, 0);
  EXPECT_NE(c.main_callback, nullptr);
  zip_.SetExtrOptions(ExtrDirNames | ExtrOverWrite);
  zip_.SetEncoding(zenUTF8);
  zip_.SetNameCodePage(866);
  zip_.SetVerbose(true);
  opr_.BuildCommand();
  EXPECT_EQ(opr_.Command().options, 0x624u);
  EXPECT_EQ(opr_.Command().encoding, zenUTF8);
  EXPECT_EQ(opr_.Command().code_page, 866);
  EXPECT_EQ(opr_.Command().verbosity, 1);
  zip_.SetTrace(true);
  zip_.SetExtrOptions(ExtrTest | ExtrFreshen | ExtrUpdate | ExtrNTFS);
  opr_.BuildCommand();
  EXPECT_EQ(opr_.Command().options, 0x20u | 0x8u | 0x80u | 0x8000000u);
  EXPECT_EQ(opr_.Command().verbosity, -1);
}

TEST_F(ZipEngineOpr, ArgumentRequests) {
  zip_.SetPassword("pw");
  zip_.SetRootDir("root");
  zip_.SetTempDir("tmp");
  zip_.IncludeSpecs() = {"a.xml", "b.xml"};
  EXPECT_EQ(Call(zacArgument, "", zaaPassword), 1);
  EXPECT_EQ(Answer(), "pw");
  EXPECT_EQ(Call(zacArgument, "", zaaRootDir), 1);
  EXPECT_EQ(Answer(), "root");
  EXPECT_EQ(Call(zacArgument, "", zaaTempDir), 1);
  EXPECT_EQ(Answer(), "tmp");
  EXPECT_EQ(Call(zacArgument, "", zaaIncludeSpec, 0, 1), 1);
  EXPECT_EQ(Answer(), "b.xml");
  EXPECT_EQ(r_.arg3, 2);
  EXPECT_EQ(Call(zacArgument, "", zaaIncludeSpec, 0, 2), 0);
  EXPECT_EQ(Call(zacArgument, "", zaaIncludeSpec, 0, -1), -5);
  EXPECT_EQ(Call(zacArgument, "", zaaExcludeSpec, 0, 0), 0);
  EXPECT_EQ(r_.arg3, 0);
  EXPECT_EQ(Call(zacArgument, "", 9), -5);
  // Long answers grow the buffer in 512-byte steps.
  zip_.SetPassword(std::string(1500, 'p'));
  EXPECT_EQ(Call(zacArgument, "", zaaPassword), 1);
  EXPECT_EQ(Answer().size(), 1500u);
}

TEST_F(ZipEngineOpr, ChecksAndUnknownActions) {
  r_ = TZipCallbackRecord{};
  r_.caller = &opr_;
  r_.check = 1798;
  EXPECT_EQ(TZipEngineOpr::MainCallback(&r_), -5);
  EXPECT_EQ(TZipEngineOpr::MainCallback(nullptr), -5);
  EXPECT_EQ(Call(17), -1);
  EXPECT_EQ(Call(40), -1);
  EXPECT_EQ(Call(zacKey | 0x40), 0);  // only the low 6 bits select

  TZipStreamRecord s{};
  s.caller = &opr_;
  s.check = 1802;
  EXPECT_EQ(TZipEngineOpr::StreamCallback(&s), -5);
  s.check = kZipStreamCheck;
  s.operation = zsoRead;
  s.stream = &s;  // not a stream the component gave out
  EXPECT_EQ(TZipEngineOpr::StreamCallback(&s), 0);
}

TEST_F(ZipEngineOpr, EngineMessages) {
  std::vector<std::pair<int, std::string>> messages;
  zip_.OnMessage = [&](int code, const std::string& text) { messages.emplace_back(code, text); };
  EXPECT_EQ(Call(zacMessage, "just a note", 0), 0);
  EXPECT_EQ(zip_.ErrCode(), 0);
  EXPECT_EQ(Call(zacMessage, "doc.xml: CRC error", kZipMsgPrefixed | kZipMsgErrorLevel | 27), 0);
  EXPECT_EQ(zip_.ErrCode(), 258);
  EXPECT_EQ(zip_.ErrMsg(), "Error doc.xml: CRC error");
  EXPECT_EQ(static_cast<uint32_t>(zip_.ExtErrCode()), 0x80000000u | 0xB1Bu);
  // The first error stays; a low level gets no prefix; 36 and above are 237.
  EXPECT_EQ(Call(zacMessage, "later", kZipMsgPrefixed | 0x100 | 40), 0);
  EXPECT_EQ(zip_.ErrCode(), 258);
  EXPECT_EQ(messages, (std::vector<std::pair<int, std::string>>{
                          {0, "just a note"}, {258, "Error doc.xml: CRC error"}, {237, "later"}}));
  EXPECT_TRUE(ui_.shown.empty());
}

TEST_F(ZipEngineOpr, HandlersAndTheirAnswers) {
  EXPECT_EQ(Call(zacCRCError, "f"), 0);
  EXPECT_EQ(Call(zacOverwrite, "f"), 0);
  zip_.OnCRC32Error = [](const std::string&, uint32_t found, uint32_t, bool& extract) { extract = found == 7; };
  EXPECT_EQ(Call(zacCRCError, "f", 7), 1);
  EXPECT_EQ(Call(zacCRCError, "f", 8), 3);
  zip_.OnExtractOverwrite = [](const std::string&, bool older, bool& overwrite, int) { overwrite = older; };
  EXPECT_EQ(Call(zacOverwrite, "f", 1), 1);
  EXPECT_EQ(Call(zacOverwrite, "f", 0), 2);

  // New names: taken only when different and alike in their trailing delimiter.
  zip_.OnSetExtName = [](const std::string& old_name, std::string& name, bool& changed) {
    name = old_name == "a" ? "b" : old_name == "d/" ? "e" : old_name;
    changed = true;
  };
  EXPECT_EQ(Call(zacSetExtName, "a"), 1);
  EXPECT_EQ(Answer(), "b");
  EXPECT_EQ(Call(zacSetExtName, "d/"), 0);
  EXPECT_EQ(Call(zacSetExtName, "same"), 0);

  zip_.OnFileComment = [](const std::string&, std::string& comment, bool& changed) {
    comment = std::string(300, 'c');
    changed = true;
  };
  EXPECT_EQ(Call(zacFileComment, "f"), 1);
  EXPECT_EQ(Answer().size(), 255u);
  zip_.OnSetAddName = [](std::string& name, const std::string&, bool& changed) {
    name = "added";
    changed = true;
  };
  EXPECT_EQ(Call(zacSetAddName, "x"), 1);
  EXPECT_EQ(Answer(), "added");
  zip_.OnFileExtra = [](const std::string&, std::string& data, bool& changed) {
    data = std::string(3000, 'e');
    changed = true;
  };
  EXPECT_EQ(Call(zacFileExtra, "f"), 2);
  EXPECT_EQ(r_.arg2, 2048);

  // Skips: reported, and turned into an error for the reasons not allowed.
  std::vector<TZipSkipTypes> seen;
  zip_.OnSkipped = [&](const std::string&, TZipSkipTypes type, int&) { seen.push_back(type); };
  EXPECT_EQ(Call(zacSkipped, "f", stNoOverwrite), 0);
  zip_.SetNoSkipping(1u << stBadPassword);
  EXPECT_EQ(Call(zacSkipped, "f", stBadPassword), 1);
  EXPECT_EQ(seen, (std::vector<TZipSkipTypes>{stNoOverwrite, stBadPassword}));
  EXPECT_EQ(opr_.Collected(), "\r\nSkipping not allowed: f");

  // A cancel asked for by the poll after an action turns the answer into -2,
  // and every later callback answers -2.
  zip_.OnCheckTerminate = [](bool& abort) { abort = true; };
  EXPECT_EQ(Call(zacCRCError, "f", 7), -2);
  EXPECT_EQ(Call(zacArgument, "", zaaPassword), -2);
}

TEST_F(ZipEngineOpr, ExceptionInAHandler) {
  zip_.SetVerbose(true);
  std::vector<std::string> trace;
  zip_.OnMessage = [&](int code, const std::string& text) {
    if (code == 0) trace.push_back(text);
  };
  zip_.OnCRC32Error = [](const std::string&, uint32_t, uint32_t, bool&) { throw std::runtime_error("first"); };
  EXPECT_EQ(Call(zacCRCError, "f"), -4);
  EXPECT_EQ(Call(zacCRCError, "f"), -2);
  EXPECT_EQ(opr_.Collected(), "\r\nException in Event handler \"first\" [11]");
  EXPECT_NE(std::find(trace.begin(), trace.end(),
                      "Trace: [CALLBACK Exception sent] Exception in Event handler \"first\" [11]"),
            trace.end());
}
