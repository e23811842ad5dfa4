#include "sorting/output_rules.h"

#include <gtest/gtest.h>

using namespace sorting;

namespace {

struct KptValues : cadastral::TKPTFileInfoData {
  void ReadValues(xml::TXMLSequentialParser&) override {}
};
struct KvzuValues : cadastral::TKvzuFileInfoData {
  void ReadValues(xml::TXMLSequentialParser&) override {}
};

#ifdef _WIN32
const std::string kOut = "D:\\Out";
#else
const std::string kOut = "/home/user/Out";
#endif
const char D = platform::kPathDelimiter;

std::string P(const std::string& rule_style) { return ToPlatformPath(rule_style); }

}  // namespace

TEST(CadNumber, SplitsAtColonsStrictly) {
  TCadNumber n;
  n.SetCadNumber("66:41:0101001:25");
  EXPECT_EQ(n.Region, "66");
  EXPECT_EQ(n.District, "41");
  EXPECT_EQ(n.Block, "01 01 00 1");
  EXPECT_EQ(n.Parcel, "25");

  TCadNumber three;
  three.SetCadNumber("66:41:123456");
  EXPECT_EQ(three.Block, "12 34 56");
  EXPECT_EQ(three.Parcel, "");

  TCadNumber odd;
  odd.SetCadNumber(" 66::7:1:extra");
  EXPECT_EQ(odd.Region, " 66");
  EXPECT_EQ(odd.District, "");
  EXPECT_EQ(odd.Block, "7");
  EXPECT_EQ(odd.Parcel, "1");

  TCadNumber empty;
  empty.SetCadNumber("");
  EXPECT_EQ(empty.Region + empty.District + empty.Block + empty.Parcel, "");
}

TEST(OutputRules, SplitStringFollowsTheListRule) {
  std::vector<std::string> parts{"stale"};
  SplitString(':', "a:", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"a", ""}));
  SplitString(':', ":a::b", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"", "a", "", "b"}));
  SplitString(':', "\"x:\"\"y\":z", parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"x:\"y", "z"}));
  SplitString(':', "\"open", parts);  // an unclosed quote keeps the whole rest
  EXPECT_EQ(parts, (std::vector<std::string>{"open"}));
  SplitString(':', "", parts);
  EXPECT_TRUE(parts.empty());
}

TEST(OutputRules, FormatBlockNumberCountsCharactersNotBytes) {
  EXPECT_EQ(FormatBlockNumber("0101001"), "01 01 00 1");
  EXPECT_EQ(FormatBlockNumber("7"), "7");
  EXPECT_EQ(FormatBlockNumber("АБВ"), "АБ В");
  EXPECT_EQ(FormatBlockNumber(" 1"), "1");
  EXPECT_EQ(FormatBlockNumber(""), "");
}

TEST(OutputRules, JoinPathEndsEveryPieceWithOneDelimiter) {
  EXPECT_EQ(JoinPath({"D:\\Out", "{Номер региона}"}), "D:\\Out\\{Номер региона}\\");
  EXPECT_EQ(JoinPath({"D:\\Out\\", ""}), "D:\\Out\\\\");
  EXPECT_EQ(JoinPath({std::string("/out") + D, "r"}), std::string("/out") + D + "r\\");
  EXPECT_EQ(JoinPath({}), "");
}

TEST(OutputRules, WorkedExampleUnderBothDefaultRules) {
  KptValues kpt;
  kpt.CadastralNumber = "66:41:0101001";
  kpt.CoordSystemName = "МСК-66 зона 1";
  kpt.CertificationDocDate = "2015-03-12";
  EXPECT_EQ(GetKptTargetFolder(kpt, kOut, kDefaultKptRule),
            P(kOut + "\\МСК-66 зона 1\\66\\41\\01 01 00 1\\2015-03-12\\"));

  // A plan of territory under the land-plot rule: no parcel, "_" as registration date.
  EXPECT_EQ(GetKptTargetFolder(kpt, kOut, kDefaultKvzuRule), P(kOut + "\\МСК-66 зона 1\\66\\41\\01 01 00 1\\\\_\\"));

  KvzuValues kvzu;
  kvzu.CadastralNumber = "66:41:0101001:25";
  kvzu.CoordSystemName = "МСК-66 зона 1";
  kvzu.DateCreated = "2009-11-05";
  const std::string folder = GetKvzuTargetFolder(kvzu, kOut + D, kDefaultKvzuRule);
  EXPECT_EQ(folder, P(kOut + "\\МСК-66 зона 1\\66\\41\\01 01 00 1\\25\\2009-11-05\\"));
  EXPECT_EQ(folder.back(), D);

  // Empty values leave empty levels; an empty rule files into the output folder.
  KvzuValues bare;
  EXPECT_EQ(GetKvzuTargetFolder(bare, kOut, "{Номер региона}\\x"), P(kOut + "\\\\x\\"));
  EXPECT_EQ(GetKvzuTargetFolder(bare, kOut, ""), P(kOut + "\\\\"));
}

TEST(OutputRules, ApplyRuleMatchesEveryOccurrenceInAnyCase) {
  TCadNumber n;
  n.SetCadNumber("66:41:0101001:25");
  EXPECT_EQ(ApplyRule("{НОМЕР РЕГИОНА}-{номер региона}-{Номер Района}", n, "", "", ""), "66-66-41");
  // The output folder text is part of the template.
  EXPECT_EQ(ApplyRule("C:\\{Номер региона}\\{Номер участка}", n, "", "", ""), "C:\\66\\25");
  // A value holding a later placeholder's text gets substituted by that later step,
  TCadNumber tricky;
  tricky.SetCadNumber("{Номер района}:41");
  EXPECT_EQ(ApplyRule("{Номер региона}", tricky, "", "", ""), "41");
  // but never by its own step.
  TCadNumber self;
  self.SetCadNumber("{Номер региона}");
  EXPECT_EQ(ApplyRule("{Номер региона}", self, "", "", ""), "{Номер региона}");
  // A date value holding the coordinate-system placeholder: step 6 comes after step 5.
  EXPECT_EQ(ApplyRule("{Дата постановки}", n, "{Система координат}", "", "МСК"), "МСК");
  EXPECT_EQ(ApplyRule("{Система координат}", n, "", "{Дата постановки}", ""), "");
  EXPECT_EQ(ApplyRule("{Система координат}", n, "", "", "{Дата удостоверения}"), "");
  // Unknown braces stay literal text.
  EXPECT_EQ(ApplyRule("{Номер}", n, "", "", ""), "{Номер}");
}

TEST(OutputRules, EditCorrectionUsesTheRightSetPerEdit) {
  const auto rule = CorrectEditText("{Номер региона}.a/b<>*?\"|", 5, kRuleForbiddenChars);
  EXPECT_EQ(rule.text, "{Номер региона}_a_b______");
  EXPECT_EQ(rule.caret, 5);
  EXPECT_TRUE(rule.changed);
  EXPECT_FALSE(CorrectEditText("{Номер региона}\\x:", 3, kRuleForbiddenChars).changed);

#ifdef _WIN32
  const std::string folder = "C:\\Users\\i.ivanov\\Downloads";
#else
  const std::string folder = "/home/user/v1.2";
#endif
  const auto kept = CorrectEditText(folder, 0, kFolderForbiddenChars);
  EXPECT_FALSE(kept.changed);
  EXPECT_EQ(kept.text, folder);
  EXPECT_EQ(CorrectEditText("a*b?c\"d|e<f>", 2, kFolderForbiddenChars).text, "a_b_c_d_e_f_");

  EXPECT_EQ(ReplaceChars("а.б", ".", "--"), "а--б");
  EXPECT_EQ(ReplaceChars("ёж", "ж", "_"), "ё_");
}

TEST(OutputRules, EveryValueBecomesOneFolderNameFragment) {
  KptValues kpt;
  kpt.CadastralNumber = "..:..:0101001";
  kpt.CoordSystemName = "../../../x";
  kpt.CertificationDocDate = "..\\..\\x";
  // The number's parts ".." become "_", the others keep their dots but lose
  // their delimiters: every value stays one level below the output folder.
  EXPECT_EQ(GetKptTargetFolder(kpt, kOut, kDefaultKptRule), P(kOut + "\\.._.._.._x\\_\\_\\01 01 00 1\\.._.._x\\"));

  // Absolute Windows paths, a drive, a share and the characters Windows refuses.
  kpt.CadastralNumber = "66:41:0101001";
  kpt.CoordSystemName = "C:\\Windows";
  kpt.CertificationDocDate = "\\\\host\\share";
  EXPECT_EQ(GetKptTargetFolder(kpt, kOut, kDefaultKptRule),
            P(kOut + "\\C__Windows\\66\\41\\01 01 00 1\\__host_share\\"));
  kpt.CoordSystemName = "a<b>c\"d|e?f*g\th";
  kpt.CertificationDocDate = "C:";
  EXPECT_EQ(GetKptTargetFolder(kpt, kOut, "{Система координат}\\{Дата удостоверения}"),
            P(kOut + "\\a_b_c_d_e_f_g_h\\C_\\"));
}

TEST(OutputRules, LevelsHoldingAValueLoseTrailingDotsAndBlanks) {
  TCadNumber n;
  n.SetCadNumber("66:41");
  EXPECT_EQ(ApplyRule("{Система координат}", n, "", "", "."), "_");
  EXPECT_EQ(ApplyRule("{Система координат}", n, "", "", " . . "), "_");
  EXPECT_EQ(ApplyRule("{Система координат}", n, "", "", "МСК. "), "МСК");
  EXPECT_EQ(ApplyRule("a{Система координат}\\b", n, "", "", ".."), "a\\b");
  // A value completing a level typed in the rule: the level counts as a value's.
  EXPECT_EQ(ApplyRule("x{Номер региона}.", n, "", "", ""), "x66");
  // Empty values still leave empty levels; levels typed in the rule stay as typed.
  EXPECT_EQ(ApplyRule("{Номер участка}\\..\\.x. \\{Номер района}", n, "", "", ""), "\\..\\.x. \\41");
}

TEST(OutputRules, LiesInsideResolvesDotsAsWritten) {
  const std::string out = kOut + D;
  EXPECT_TRUE(LiesInside(kOut, kOut));
  EXPECT_TRUE(LiesInside(out + "a" + D + "b" + D, kOut));
  EXPECT_TRUE(LiesInside(out + "a" + D + ".." + D + "b", out));
  EXPECT_TRUE(LiesInside(out + "." + D + D + "b", kOut));
  EXPECT_FALSE(LiesInside(out + ".." + D + "x", kOut));
  EXPECT_FALSE(LiesInside(out + "a" + D + ".." + D + ".." + D + "Out" + D + "x", kOut + "x"));
  EXPECT_FALSE(LiesInside(kOut + "2" + D + "x", kOut));
  EXPECT_FALSE(LiesInside(out + ".." + D, kOut));

  // A rule that climbs out keeps its meaning and is caught here.
  KptValues kpt;
  kpt.CadastralNumber = "66:41:0101001";
  const std::string target = GetKptTargetFolder(kpt, kOut, "..\\..\\x");
  EXPECT_EQ(target, P(kOut + "\\..\\..\\x\\"));
  EXPECT_FALSE(LiesInside(target, kOut));
}
