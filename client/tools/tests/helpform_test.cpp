// The help window: the chapter buttons and their pages, links between the
// pages, the kept size and the browser's size at every window size.
#include <QTextDocument>

#include "client/tools/helpform.h"
#include "client/tools/tests/desktoptools_fixture.h"

using namespace toolstest;

namespace {

class HelpFormTest : public ToolsTest {
 protected:
  void SetUp() override {
    ToolsTest::SetUp();
    for (const char* n : {"index", "index2", "index3", "index4", "index8", "index9"}) {
      const QString name = QString::fromLatin1(n);
      writeFile(QStringLiteral("help/%1.htm").arg(name),
                QStringLiteral("<html><head><meta charset=\"utf-8\"></head><body><h1 id=\"top\">頁 %1</h1>"
                               "<a href=\"index3.htm\">初期設定へ</a> <a href=\"https://example.org/\">外</a>"
                               "</body></html>")
                    .arg(name)
                    .toUtf8());
    }
  }
  void TearDown() override {
    if (HelpFormLoaded()) HelpForm().Unload();
    ToolsTest::TearDown();
  }
  QString pageName() { return HelpForm().CurrentPage().fileName(); }
  QString pageText() { return HelpForm().WebBrowser1->document()->toPlainText(); }
};

}  // namespace

TEST_F(HelpFormTest, EachChapterButtonShowsItsPage) {
  forms::HelpForm& f = HelpForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("HELP"));
  EXPECT_EQ(pageName(), QStringLiteral("index.htm"));
  EXPECT_TRUE(pageText().contains(QStringLiteral("頁 index")));
  const struct {
    QPushButton* button;
    const char16_t* caption;
    int left;
    const char* page;
  } cases[] = {
      {f.Command1, u"始めに", 0, "index.htm"},       {f.Command2, u"解凍", 1320, "index2.htm"},
      {f.Command3, u"初期設定", 2640, "index3.htm"}, {f.Command4, u"メールを使用", 3960, "index4.htm"},
      {f.Command7, u"フォルダ操作", 5280, "index8.htm"}, {f.Command6, u"送信あれこれ", 6600, "index9.htm"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.page);
    EXPECT_EQ(c.button->text(), QString::fromUtf16(c.caption));
    EXPECT_EQ(c.button->geometry(), QRect(ui::px(c.left), 0, ui::px(1335), ui::px(300)));
    c.button->click();
    EXPECT_EQ(pageName(), QString::fromLatin1(c.page));
    EXPECT_TRUE(f.CurrentPage().isLocalFile());
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpFormTest, LinksLeadToLocalPagesOnlyAndASecondOpeningKeepsThePage) {
  forms::HelpForm& f = HelpForm();
  f.Show();
  emit f.WebBrowser1->anchorClicked(QUrl(QStringLiteral("index3.htm")));
  EXPECT_EQ(pageName(), QStringLiteral("index3.htm"));
  emit f.WebBrowser1->anchorClicked(QUrl(QStringLiteral("https://example.org/")));
  EXPECT_EQ(pageName(), QStringLiteral("index3.htm"));
  ::HelpForm().Show();  // as the composer opens it
  EXPECT_EQ(&::HelpForm(), &f);
  EXPECT_EQ(pageName(), QStringLiteral("index3.htm"));
}

TEST_F(HelpFormTest, AMissingPageShowsANoticeInTheBrowserAndNoMessage) {
  QFile::remove(path(QStringLiteral("help/index9.htm")));
  forms::HelpForm& f = HelpForm();
  f.Command6->click();
  EXPECT_TRUE(pageText().contains(QStringLiteral("ページが見つかりません")));
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HelpFormTest, TheSizeIsKeptAcrossOpenings) {
  forms::HelpForm& f = HelpForm();
  // Nothing kept: the design client area in the frame.
  const QSize extra = ui::frameExtra(&f);
  EXPECT_EQ(f.Width(), 10770 + ui::tw(extra.width()));
  EXPECT_EQ(f.Height(), 6270 + ui::tw(extra.height()));
  f.Unload();
  setKey("NUMBER11", QStringLiteral("9000"));
  setKey("NUMBER12", QStringLiteral("6000"));
  forms::HelpForm& g = HelpForm();
  EXPECT_EQ(g.Width(), 9000);
  EXPECT_EQ(g.Height(), 6000);
  g.setWidth(8400);
  g.Unload();
  EXPECT_EQ(key("NUMBER11"), 8400);
  EXPECT_EQ(key("NUMBER12"), 6000);
}

TEST_F(HelpFormTest, TheBrowserFollowsTheWidthAlwaysAndTheHeightAbove3500) {
  forms::HelpForm& f = HelpForm();
  f.Show();
  f.setWidth(9000);
  f.setHeight(6000);
  EXPECT_EQ(f.WebBrowser1->width(), ui::px(8820));
  // (the rule's height, stopped at the lower edge of the client area)
  EXPECT_EQ(f.WebBrowser1->height(), std::min(ui::px(6000 - 300 - 500), f.client()->height() - f.WebBrowser1->y()));
  const int height = f.WebBrowser1->height();
  f.setHeight(3495);  // 3500 and below leave the height
  f.setWidth(9600);
  EXPECT_EQ(f.Height(), 3495);
  EXPECT_EQ(f.WebBrowser1->height(), std::min(height, f.client()->height() - f.WebBrowser1->y()));
  EXPECT_EQ(f.WebBrowser1->width(), ui::px(9408));
  // No narrower than the row of buttons along the top.
  f.setWidth(4500);
  EXPECT_EQ(f.client()->width(), f.Command6->geometry().right() + 1);
}
