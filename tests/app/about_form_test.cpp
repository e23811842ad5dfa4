#include "app/about_form.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "app/widgets.h"
#include "platform/version_resource.h"

using app::TAboutForm;

namespace {

std::string Version2_3_0_17() { return platform::MakeVersionRecord({2, 3, 0, 17}); }

TEST(AboutFormTest, LayoutTextsAndTheVersionInTheTitleLine) {
  TAboutForm form(nullptr, Version2_3_0_17);
  EXPECT_EQ(form.windowTitle(), "Сведения о программе");
  EXPECT_EQ(form.size(), QSize(387, 322));
  EXPECT_EQ(form.minimumSize(), form.maximumSize());  // not sizeable
  EXPECT_EQ(form.Panel->geometry(), QRect(8, 8, 371, 273));
  EXPECT_EQ(form.ProgramIcon->geometry(), QRect(36, 8, 300, 83));
  EXPECT_EQ(form.ProductName->text(), "Велторин (версия v2.3.0.17)");
  EXPECT_TRUE(form.ProductName->font().bold());
  EXPECT_EQ(form.ProductName->geometry().center().x(), QRect(46, 104, 288, 13).center().x());
  EXPECT_EQ(form.Mail->toolTip(), "Эл. почта службы техподдержки");
  EXPECT_EQ(form.Site->toolTip(), "Сайт разработчика");
  EXPECT_EQ(form.Site->text(), "vorlanex.example");
  for (QWidget* link :
       {static_cast<QWidget*>(form.Mail), static_cast<QWidget*>(form.Site), static_cast<QWidget*>(form.ProgramIcon)})
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);
  EXPECT_TRUE(form.Mail->font().underline());
  EXPECT_EQ(form.OKButton->text(), "OK");
  EXPECT_TRUE(form.OKButton->isDefault());
  EXPECT_EQ(form.OKButton->geometry(), QRect(156, 289, 75, 25));
  // The picture is the project's JPEG, decoded at its laid-out size.
  ASSERT_FALSE(form.ProgramIcon->pixmap().isNull());
  EXPECT_EQ(form.ProgramIcon->pixmap().size(), QSize(300, 83));
}

TEST(AboutFormTest, UnreadableVersionLeavesTheVersionEmpty) {
  TAboutForm empty(nullptr, [] { return std::string(); });
  EXPECT_EQ(empty.ProductName->text(), "Велторин (версия )");
  TAboutForm failing(nullptr, []() -> std::string { throw std::runtime_error("no resource"); });
  EXPECT_EQ(failing.GetFileVersionText(), "");
  // The program's own record carries the project version.
  TAboutForm own;
  EXPECT_TRUE(own.GetFileVersionText().startsWith("v"));
}

TEST(AboutFormTest, MailSiteAndPictureOpenTheirLinks) {
  TAboutForm form(nullptr, Version2_3_0_17);
  QStringList opened;
  form.OpenLink = [&](const QString& link) { opened << link; };
  EXPECT_EQ(form.MailLink(), "mailto:support@vorlanex.example?subject=Велторин (версия: v2.3.0.17)&body=Здравствуйте.");
  form.show();
  QTest::mouseClick(form.Mail, Qt::LeftButton);
  QTest::mouseClick(form.Site, Qt::LeftButton);
  QTest::mouseClick(form.ProgramIcon, Qt::LeftButton);
  QTest::mouseClick(form.Site, Qt::RightButton);  // not a click
  EXPECT_EQ(opened, QStringList({form.MailLink(), "https://vorlanex.example", "https://vorlanex.example"}));
}

TEST(AboutFormTest, OkAndEnterCloseWithResultOk) {
  TAboutForm form(nullptr, Version2_3_0_17);
  form.show();
  form.OKButton->click();
  EXPECT_EQ(form.result(), 1);
  EXPECT_FALSE(form.isVisible());

  TAboutForm again(nullptr, Version2_3_0_17);
  again.show();
  QApplication::setActiveWindow(&again);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&again));
  QTest::keyClick(&again, Qt::Key_Return);
  EXPECT_EQ(again.result(), 1);
  EXPECT_FALSE(again.isVisible());
}

}  // namespace
