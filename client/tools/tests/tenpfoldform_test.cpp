// The attachment-folder window: what it lists, the warning before every
// opening, the preview and the page view, deletion, the kept size and the
// page view's size.
#include <QImage>
#include <QListWidget>
#include <functional>
#include <vector>
#include <QTest>
#include <QTextDocument>

#include "client/tools/tenpfoldform.h"
#include "client/tools/tests/desktoptools_fixture.h"
#include "platform/codepage.h"

using namespace toolstest;

namespace {

const QString kWarning = QStringLiteral(
    "信頼できるファイルですか？ この選択が削除のためなら問題ありませんが、\r\n"
    "実行する場合はウイルス（知らない人からのメールは特に注意）に注意して下さい。 \r\n"
    "ウイルスはViewTypeもあります。HTML形式にも注意！\r\n\r\n"
    "「いいえ」でキャンセルします。");

class TenpFoldFormTest : public ToolsTest {
 protected:
  void TearDown() override {
    if (TenpFoldFormLoaded()) TenpFoldForm().Unload();
    ToolsTest::TearDown();
  }
  QString attachment(const QString& name) const { return path(QStringLiteral("添付フォルダ/") + name); }
  void attach(const QString& name, const QByteArray& bytes) { writeFile(QStringLiteral("添付フォルダ/") + name, bytes); }
  void attachPicture(const QString& name, QColor colour) {
    QImage img(40, 30, QImage::Format_RGB32);
    img.fill(colour);
    ASSERT_TRUE(img.save(attachment(name), "PNG"));
  }
  QStringList listed() {
    QStringList names;
    for (int i = 0; i < TenpFoldForm().File1->count(); ++i) names << TenpFoldForm().File1->item(i)->text();
    return names;
  }
  // A click on the named file, the warning answered as given.
  void click(const QString& name, int answer) {
    forms::TenpFoldForm& f = TenpFoldForm();
    const auto items = f.File1->findItems(name, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    f.File1->setCurrentItem(items[0]);
    answers.push_back(answer);
    f.File1_Click();
  }
  QString page() { return TenpFoldForm().WebBrowser1->document()->toPlainText(); }
};

}  // namespace

TEST_F(TenpFoldFormTest, OnlyThePlainFilesOfTheAttachmentFolderAreListed) {
  attach(QStringLiteral("b.txt"), "b");
  attach(QStringLiteral("A写真.jpg"), "a");
  attach(QStringLiteral(".hidden"), "h");
  QDir(path(QStringLiteral("添付フォルダ"))).mkpath(QStringLiteral(".partial/piece"));
  QDir(path(QStringLiteral("添付フォルダ"))).mkpath(QStringLiteral("sub"));
  forms::TenpFoldForm& f = TenpFoldForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("添付フォルダの状況"));
  EXPECT_EQ(listed(), (QStringList{QStringLiteral("A写真.jpg"), QStringLiteral("b.txt")}));
  EXPECT_EQ(f.Text1->text(), QStringLiteral("2"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
  EXPECT_EQ(f.File1->Path(), path(QStringLiteral("添付フォルダ")));
  // The hidden lists cannot lead it elsewhere.
  f.Drive1_Change();
  f.Dir1->setText(dir.path());
  EXPECT_EQ(f.File1->Path(), path(QStringLiteral("添付フォルダ")));
  for (QWidget* w : {static_cast<QWidget*>(f.Dir1), static_cast<QWidget*>(f.Drive1), static_cast<QWidget*>(f.Text2),
                     static_cast<QWidget*>(f.Text3), static_cast<QWidget*>(f.Text4)})
    EXPECT_FALSE(w->isVisibleTo(&f)) << w->objectName().toStdString();
}

TEST_F(TenpFoldFormTest, AMissingAttachmentFolderListsNothing) {
  QDir(path(QStringLiteral("添付フォルダ"))).removeRecursively();
  forms::TenpFoldForm& f = TenpFoldForm();
  EXPECT_EQ(f.File1->count(), 0);
  EXPECT_EQ(f.Text1->text(), QStringLiteral("0"));
  EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("添付フォルダ"))));
}

TEST_F(TenpFoldFormTest, EveryOpeningIsPrecededByTheWarning) {
  attachPicture(QStringLiteral("p.png"), Qt::red);
  click(QStringLiteral("p.png"), seams::vbNo);
  forms::TenpFoldForm& f = TenpFoldForm();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, kWarning);
  EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
  // No: nothing opened, but the file stays selected.
  EXPECT_TRUE(f.Image1->pixmap().isNull());
  EXPECT_EQ(f.Text4->text(), QStringLiteral("1"));
  EXPECT_EQ(f.Text3->text(), attachment(QStringLiteral("p.png")));
}

TEST_F(TenpFoldFormTest, APictureGoesToThePreviewAndOtherFilesToThePageView) {
  attachPicture(QStringLiteral("p.png"), Qt::red);
  attach(QStringLiteral("memo.txt"), cp932::encode(QStringLiteral("こんにちは")).c_str());
  attach(QStringLiteral("page.htm"),
         QByteArray("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\"></head>"
                    "<body><p>") +
             cp932::encode(QStringLiteral("添付の頁")).c_str() + "</p></body></html>");
  attach(QStringLiteral("prog.exe"), QByteArray("MZ\0\0\x90\0", 6));
  forms::TenpFoldForm& f = TenpFoldForm();
  click(QStringLiteral("p.png"), seams::vbYes);
  ASSERT_FALSE(f.Image1->pixmap().isNull());
  EXPECT_EQ(f.Image1->pixmap().toImage().pixel(5, 5), QColor(Qt::red).rgb());
  EXPECT_TRUE(f.Image1->hasScaledContents());
  EXPECT_TRUE(f.Text2->text().isEmpty());

  click(QStringLiteral("memo.txt"), seams::vbYes);
  EXPECT_EQ(page(), QStringLiteral("こんにちは"));
  EXPECT_EQ(f.Text2->text(), attachment(QStringLiteral("memo.txt")));
  EXPECT_EQ(f.Text3->text(), attachment(QStringLiteral("memo.txt")));
  // The page view leaves the last picture in the preview.
  EXPECT_EQ(f.Image1->pixmap().toImage().pixel(5, 5), QColor(Qt::red).rgb());

  click(QStringLiteral("page.htm"), seams::vbYes);
  EXPECT_TRUE(page().contains(QStringLiteral("添付の頁")));

  click(QStringLiteral("prog.exe"), seams::vbYes);
  EXPECT_TRUE(page().contains(QStringLiteral("prog.exe")));
  EXPECT_TRUE(started.empty());
}

TEST_F(TenpFoldFormTest, APageTakesItsPicturesOnlyFromPlainFilesBesideIt) {
  attachPicture(QStringLiteral("pic.png"), Qt::blue);
  attach(QStringLiteral("page.html"),
         "<html><body><img src=\"pic.png\"><img src=\"/dev/zero\"><img src=\"http://example.org/x.png\">"
         "</body></html>");
  forms::TenpFoldForm& f = TenpFoldForm();
  click(QStringLiteral("page.html"), seams::vbYes);
  auto* view = static_cast<attachments::PageView*>(f.WebBrowser1);
  EXPECT_FALSE(view->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic.png"))).isNull());
  EXPECT_TRUE(view->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(QStringLiteral("/dev/zero"))).isNull());
  EXPECT_TRUE(view->loadResource(QTextDocument::ImageResource, QUrl(QStringLiteral("http://example.org/x.png"))).isNull());
}

TEST_F(TenpFoldFormTest, DeletingTheClickedFileAfterANoToTheWarning) {
  attach(QStringLiteral("a.txt"), "a");
  attach(QStringLiteral("b.txt"), "b");
  click(QStringLiteral("b.txt"), seams::vbNo);
  forms::TenpFoldForm& f = TenpFoldForm();
  answers.push_back(seams::vbYes);
  f.Command1->click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, QStringLiteral("選択したファイルを削除しますか？ \r\n\r\nb.txt"));
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_FALSE(QFileInfo::exists(attachment(QStringLiteral("b.txt"))));
  EXPECT_EQ(listed(), QStringList{QStringLiteral("a.txt")});
  EXPECT_EQ(f.Text1->text(), QStringLiteral("1"));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
  // Deleting the last file leaves the count at 0.
  click(QStringLiteral("a.txt"), seams::vbNo);
  answers.push_back(seams::vbYes);
  f.Command1->click();
  EXPECT_EQ(f.Text1->text(), QStringLiteral("0"));
  EXPECT_EQ(f.File1->count(), 0);
}

TEST_F(TenpFoldFormTest, TheFileReachedWithTheKeysIsTheOneDeleted) {
  for (const char* name : {"a.txt", "b.txt", "c.txt"}) attach(QString::fromLatin1(name), name);
  forms::TenpFoldForm& f = TenpFoldForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  // A mouse click on the first file, the warning answered No.
  answers.push_back(seams::vbNo);
  QTest::mouseClick(f.File1->viewport(), Qt::LeftButton, {}, f.File1->visualItemRect(f.File1->item(0)).center());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(f.Text3->text(), attachment(QStringLiteral("a.txt")));
  // Down and End move the highlight; each move asks as a click does.
  answers.push_back(seams::vbNo);
  QTest::keyClick(f.File1, Qt::Key_Down);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, kWarning);
  EXPECT_EQ(f.Text3->text(), attachment(QStringLiteral("b.txt")));
  answers.push_back(seams::vbNo);
  QTest::keyClick(f.File1, Qt::Key_End);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(f.File1->currentItem()->text(), QStringLiteral("c.txt"));
  EXPECT_TRUE(f.File1->currentItem()->isSelected());
  // The file highlighted is the one named and deleted.
  answers.push_back(seams::vbYes);
  QTest::mouseClick(f.Command1, Qt::LeftButton);
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[3].prompt, QStringLiteral("選択したファイルを削除しますか？ \r\n\r\nc.txt"));
  EXPECT_EQ(listed(), (QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}));
}

TEST_F(TenpFoldFormTest, DeletionNeedsASelectionAndAYes) {
  attach(QStringLiteral("a.txt"), "a");
  forms::TenpFoldForm& f = TenpFoldForm();
  f.Command1->click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("ファイルが選択されていません。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(boxes[0].title, QStringLiteral("RuvoMail"));
  click(QStringLiteral("a.txt"), seams::vbNo);
  answers.push_back(seams::vbNo);
  f.Command1->click();
  EXPECT_TRUE(QFileInfo::exists(attachment(QStringLiteral("a.txt"))));
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
}

TEST_F(TenpFoldFormTest, AFileThatCannotBeDeletedIsReportedAndStaysSelected) {
  attach(QStringLiteral("a.txt"), "a");
  attach(QStringLiteral("gone.txt"), "g");
  click(QStringLiteral("gone.txt"), seams::vbNo);
  QFile::remove(attachment(QStringLiteral("gone.txt")));  // gone behind the window's back
  forms::TenpFoldForm& f = TenpFoldForm();
  answers.push_back(seams::vbYes);
  f.Command1->click();
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[2].prompt, QStringLiteral("削除出来ないファイルです。エクスプローラで削除して下さい。"));
  EXPECT_EQ(boxes[2].buttons, seams::vbOKOnly);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("1"));
  EXPECT_EQ(listed(), QStringList{QStringLiteral("a.txt")});  // refreshed all the same
  EXPECT_EQ(f.Text1->text(), QStringLiteral("1"));
}

TEST_F(TenpFoldFormTest, TheSizeIsKeptInItsTwoKeys) {
  forms::TenpFoldForm& f = TenpFoldForm();
  // Nothing kept: the design client area in the frame.
  const QSize extra = ui::frameExtra(&f);
  EXPECT_EQ(f.Width(), 10605 + ui::tw(extra.width()));
  EXPECT_EQ(f.Height(), 7530 + ui::tw(extra.height()));
  f.Unload();
  setKey("NUMBER21", QStringLiteral("9000"));
  setKey("NUMBER22", QStringLiteral("6000"));
  forms::TenpFoldForm& g = TenpFoldForm();
  EXPECT_EQ(g.Width(), 9000);
  EXPECT_EQ(g.Height(), 6000);
  g.setHeight(6600);
  g.Unload();
  EXPECT_EQ(key("NUMBER21"), 9000);
  EXPECT_EQ(key("NUMBER22"), 6600);
}

TEST_F(TenpFoldFormTest, TheCcListsSwitchInTheSharedKeyIsNoHeight) {
  setKey("NUMBER21", QStringLiteral("9000"));
  for (const char* sw : {"0", "1"}) {
    setKey("NUMBER22", QString::fromLatin1(sw));
    forms::TenpFoldForm& f = TenpFoldForm();
    EXPECT_EQ(f.Height(), 7530 + ui::tw(ui::frameExtra(&f).height())) << sw;
    EXPECT_EQ(f.Width(), 9000);
    f.Unload();
  }
}

TEST_F(TenpFoldFormTest, ThePageViewFollowsTheWindowAbove3500) {
  forms::TenpFoldForm& f = TenpFoldForm();
  f.Show();
  f.setWidth(9000);
  f.setHeight(6000);
  // (the rule's sizes, stopped at the edges of the client area)
  auto inClient = [&](int pixels, int room) { return std::min(pixels, room); };
  EXPECT_EQ(f.WebBrowser1->height(), inClient(ui::px(5500), f.client()->height() - f.WebBrowser1->y()));
  EXPECT_EQ(f.WebBrowser1->width(), inClient(ui::px(9000 - 3015 - 200), f.client()->width() - f.WebBrowser1->x()));
  const QSize before = f.WebBrowser1->size();
  f.setHeight(3495);  // 3500 and below adjust nothing
  f.setWidth(6000);
  EXPECT_EQ(f.WebBrowser1->size(), before.boundedTo(f.client()->size() - QSize(f.WebBrowser1->x(), f.WebBrowser1->y())));
  f.setWidth(3495);   // a narrow window above 3500 high: the height only
  f.setHeight(5010);
  EXPECT_EQ(f.WebBrowser1->height(), inClient(ui::px(4510), f.client()->height() - f.WebBrowser1->y()));
  EXPECT_EQ(f.WebBrowser1->width(), inClient(before.width(), f.client()->width() - f.WebBrowser1->x()));
}

// Every road of the mouse: the file highlighted is the file the window
// names in its question and deletes.
TEST_F(TenpFoldFormTest, EveryMouseButtonAndDragKeepsTheHighlightedFileTheOneDeleted) {
  struct Case {
    const char* what;
    std::function<void(QListWidget*)> gesture;  // after a left click on a.txt
    int expected;                               // the file chosen afterwards (row)
  };
  auto centre = [](QListWidget* l, int row) { return l->visualItemRect(l->item(row)).center(); };
  const std::vector<Case> cases = {
      {"right click", [&](QListWidget* l) { QTest::mouseClick(l->viewport(), Qt::RightButton, {}, centre(l, 2)); }, 0},
      {"middle click", [&](QListWidget* l) { QTest::mouseClick(l->viewport(), Qt::MiddleButton, {}, centre(l, 1)); }, 0},
      {"right double click", [&](QListWidget* l) { QTest::mouseDClick(l->viewport(), Qt::RightButton, {}, centre(l, 1)); }, 0},
      {"press on one file, release on another",
       [&](QListWidget* l) {
         QTest::mousePress(l->viewport(), Qt::LeftButton, {}, centre(l, 1));
         QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, centre(l, 2));
       },
       1},
      {"press on one file, drag to another",
       [&](QListWidget* l) {
         QTest::mousePress(l->viewport(), Qt::LeftButton, {}, centre(l, 1));
         QTest::mouseMove(l->viewport(), centre(l, 2));
         QTest::mouseRelease(l->viewport(), Qt::LeftButton, {}, centre(l, 2));
       },
       2},
      {"ctrl click on the file chosen",
       [&](QListWidget* l) { QTest::mouseClick(l->viewport(), Qt::LeftButton, Qt::ControlModifier, centre(l, 0)); }, 0},
      {"click below the files",
       [&](QListWidget* l) { QTest::mouseClick(l->viewport(), Qt::LeftButton, {}, QPoint(5, l->viewport()->height() - 3)); }, 0},
  };
  const QStringList names = {QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("c.txt")};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const QString& n : names) attach(n, n.toLatin1());
    forms::TenpFoldForm& f = TenpFoldForm();
    f.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.Dir1_Change();
    ASSERT_EQ(listed(), names);
    boxes.clear();
    answers = {seams::vbNo};
    QTest::mouseClick(f.File1->viewport(), Qt::LeftButton, {}, centre(f.File1, 0));
    ASSERT_EQ(f.Text3->text(), attachment(names[0]));
    answers = {seams::vbNo, seams::vbNo};
    c.gesture(f.File1);
    ASSERT_NE(f.File1->currentItem(), nullptr);
    const auto sel = f.File1->selectedItems();
    ASSERT_EQ(sel.size(), 1);
    EXPECT_EQ(sel[0]->text(), names[c.expected]);
    EXPECT_EQ(f.Text3->text(), attachment(names[c.expected]));
    answers = {seams::vbYes};
    const std::size_t before = boxes.size();
    QTest::mouseClick(f.Command1, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), before + 1);
    EXPECT_EQ(boxes.back().prompt, QStringLiteral("選択したファイルを削除しますか？ \r\n\r\n") + names[c.expected]);
    QStringList left = names;
    left.removeAt(c.expected);
    EXPECT_EQ(listed(), left);
    f.Unload();
  }
}

TEST_F(TenpFoldFormTest, ANoToTheDeletionLeavesNothingHighlighted) {
  attach(QStringLiteral("a.txt"), "a");
  attach(QStringLiteral("b.txt"), "b");
  forms::TenpFoldForm& f = TenpFoldForm();
  f.Show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  answers = {seams::vbNo};
  QTest::mouseClick(f.File1->viewport(), Qt::LeftButton, {}, f.File1->visualItemRect(f.File1->item(1)).center());
  answers = {seams::vbNo};
  QTest::mouseClick(f.Command1, Qt::LeftButton);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
  EXPECT_TRUE(f.File1->selectedItems().isEmpty());
  QTest::mouseClick(f.Command1, Qt::LeftButton);
  EXPECT_EQ(boxes.back().prompt, QStringLiteral("ファイルが選択されていません。"));
  EXPECT_EQ(listed().size(), 2);
}
