#include "colwrite/form1.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <climits>
#include <cmath>

#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/seams.h"

namespace {

// The top of the first cell of every column.
constexpr int kTop = colwrite::kCellDrop;

class ColwriteForm1 : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    paths::setProgramFolder(dir_.path());
    ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
    seams::setMsgBoxHandler([this](const seams::MsgBoxCall& c) {
      boxes_.push_back(c);
      return int(seams::vbOK);
    });
    seams::setColorDialogHandler([this](const seams::ColorDialogCall& c) {
      dialogs_.push_back(c);
      return answer_;
    });
  }
  void TearDown() override {
    if (loaded_) Form1().Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ui::setEndHook(nullptr);
    seams::setColorDialogHandler([](const seams::ColorDialogCall&) { return std::optional<std::uint32_t>(); });
    paths::setProgramFolder(QString());
  }

  void writeFile(const QString& name, const QByteArray& bytes) {
    QFile f(dir_.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  void writeText(const QString& text) {
    const std::string b = cp932::encode(text);
    writeFile(QStringLiteral("test.txt"), QByteArray(b.data(), static_cast<qsizetype>(b.size())));
  }
  void writeIni(int fore, int back) {
    writeFile(QStringLiteral("ini.ini"),
              QStringLiteral("[EXEINI]\r\nNUMBER=%1\r\nNUMBER2=%2\r\n").arg(fore).arg(back).toLatin1());
  }
  QString ini(const QString& key) {
    return profile::GetPrivateProfileString(QStringLiteral("EXEINI"), key, QStringLiteral("(none)"),
                                            dir_.filePath(QStringLiteral("ini.ini")));
  }
  // Loads the window; the 500 ms timer is stopped so that only the test paints.
  forms::Form1& form() {
    forms::Form1& f = Form1();
    loaded_ = true;
    f.Timer1->stop();
    return f;
  }
  // Sets the window so that its outer height is H twips and runs the resize rule.
  void setOuterHeight(forms::Form1& f, int H) {
    f.resize(f.width(), H / 15 - forms::Form1::kFrameAllowancePixels);
    ASSERT_EQ(f.OuterHeight(), H);
    f.Form_Resize();
  }

  QTemporaryDir dir_;
  std::vector<seams::MsgBoxCall> boxes_;
  std::vector<seams::ColorDialogCall> dialogs_;
  std::optional<std::uint32_t> answer_;
  bool loaded_ = false;
};

bool sameBlock(const QImage& a, int ax, int ay, const QImage& b, int bx, int by, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (a.pixel(ax + x, ay + y) != b.pixel(bx + x, by + y)) return false;
  return true;
}

bool filled(const QImage& img, QRgb colour, QRect r = QRect()) {
  if (r.isNull()) r = img.rect();
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFFu) != colour) return false;
  return true;
}

}  // namespace

TEST_F(ColwriteForm1, DesignControlsAndStartState) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("あ"));
  forms::Form1& f = form();
  EXPECT_EQ(f.Caption(), QStringLiteral("縦書き文字。フォームのストレッチ、最大化が可能です。"));
  EXPECT_EQ(f.ScaleWidth(), 8325);
  EXPECT_EQ(f.ScaleHeight(), 7575);
  struct {
    QWidget* w;
    const char* name;
    const char* caption;
    QRect px;
  } controls[] = {
      {f.Command3, "Command3", "L Quick", QRect(0, 0, 80, 25)},
      {f.Command2, "Command2", "←", QRect(80, 0, 128, 25)},  // (ending where Command1 begins)
      {f.Command1, "Command1", "→", QRect(208, 0, 130, 25)},
      {f.Command4, "Command4", "R Quick", QRect(338, 0, 80, 25)},
      {f.Command5, "Command5", "文字色", QRect(417, 0, 60, 25)},
      {f.Command6, "Command6", "背景色", QRect(478, 0, 60, 25)},
      {f.Picture3, "Picture3", nullptr, QRect(8, 463, 540, 20)},
      {f.Picture2, "Picture2", nullptr, QRect(8, 480, 540, 26)},
      {f.Label1, "Label1", nullptr, QRect(16, 4, 497, 16)},  // (ending at its band's lower edge)
  };
  for (const auto& c : controls) {
    EXPECT_EQ(c.w->objectName(), QString::fromLatin1(c.name));
    EXPECT_EQ(c.w->geometry(), c.px) << c.name;
    if (c.caption) {
      EXPECT_EQ(static_cast<QPushButton*>(c.w)->text(), QString::fromUtf8(c.caption)) << c.name;
    }
  }
  EXPECT_EQ(f.Label1->text(),
            QStringLiteral("文字、背景色の変更は自動保存され、次回より有効。次回より、記号等の表示不具合を自動修正。"));
  EXPECT_EQ(f.Text1->text(), QStringLiteral("500"));
  EXPECT_EQ(f.Timer1->interval(), 500);
  EXPECT_EQ(f.IniPath, dir_.filePath(QStringLiteral("ini.ini")));
}

TEST_F(ColwriteForm1, ColoursComeFromIniIni) {
  writeIni(255, 65280);  // red text on green
  writeText(QStringLiteral("あ"));
  forms::Form1& f = form();
  EXPECT_EQ(f.Text4->text(), QStringLiteral("255"));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("65280"));
  EXPECT_EQ(f.ForeColor(), 255);
  EXPECT_EQ(f.BackColor(), 65280);
  EXPECT_EQ(f.Picture1.fore, 0xFF0000u);
  EXPECT_EQ(f.Picture1.back, 0x00FF00u);
  EXPECT_EQ(f.Picture1.image.pixel(0, 21) & 0xFFFFFFu, 0x00FF00u);
  f.Refresh();
  EXPECT_EQ(f.canvas().pixel(300, 300) & 0xFFFFFFu, 0x00FF00u);
  EXPECT_FALSE(filled(f.canvas(), 0x00FF00u, QRect(500, kTop, 22, 22)));  // "あ" in red
}

TEST_F(ColwriteForm1, MissingIniGivesBlackOnBlack) {
  writeText(QStringLiteral("あ"));
  forms::Form1& f = form();
  EXPECT_EQ(f.Text4->text(), QStringLiteral("0"));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("0"));
  EXPECT_EQ(f.BackColor(), 0);
}

TEST_F(ColwriteForm1, TextColourIsChosenAndWrittenBack) {
  writeIni(255, 16761024);
  writeText(QStringLiteral("あ「"));
  forms::Form1& f = form();
  const QImage stripBefore = f.Picture1.image.copy();
  answer_ = 0x123456;
  f.Command5->click();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].parent, &f);
  for (std::uint32_t c : dialogs_[0].custom) EXPECT_EQ(c, 0xFFFFFFu);
  EXPECT_EQ(f.ColorFont, 0x123456);
  EXPECT_EQ(f.Text4->text(), QStringLiteral("1193046"));
  EXPECT_EQ(ini(QStringLiteral("NUMBER")), QStringLiteral("1193046"));
  EXPECT_EQ(f.Picture1.image, stripBefore);  // the marks keep their colour until the next start
  f.Refresh();
  EXPECT_EQ(f.canvas().pixelColor(500 + 11, kTop + 8).isValid(), true);
  bool newColour = false;
  for (int y = kTop; y < kTop + 22; ++y)
    for (int x = 500; x < 522; ++x) newColour |= (f.canvas().pixel(x, y) & 0xFFFFFFu) == 0x563412u;
  EXPECT_TRUE(newColour);
}

TEST_F(ColwriteForm1, CancelWritesTheStoredValueAgain) {
  writeIni(255, 16761024);
  writeText(QString());
  forms::Form1& f = form();
  writeIni(7, 8);  // changed behind the window's back
  answer_.reset();
  f.Command5->click();
  EXPECT_EQ(f.ColorFont, -1);
  EXPECT_EQ(ini(QStringLiteral("NUMBER")), QStringLiteral("255"));
  f.Command6->click();
  EXPECT_EQ(f.ColorBack, -1);
  EXPECT_EQ(ini(QStringLiteral("NUMBER2")), QStringLiteral("16761024"));
  EXPECT_EQ(f.BackColor(), 16761024);
}

TEST_F(ColwriteForm1, BackgroundColourClearsWindowAndStrip) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("あ「"));
  forms::Form1& f = form();
  f.Refresh();
  answer_ = 0x0000FF;  // red
  f.Command6->click();
  ASSERT_EQ(dialogs_.size(), 1u);
  EXPECT_EQ(dialogs_[0].parent, &f);
  EXPECT_EQ(f.Text3->text(), QStringLiteral("255"));
  EXPECT_EQ(ini(QStringLiteral("NUMBER2")), QStringLiteral("255"));
  EXPECT_TRUE(filled(f.canvas(), 0xFF0000u));
  EXPECT_TRUE(filled(f.Picture1.image, 0xFF0000u));
  // The next tick draws the text again; the mark is an empty cell now.
  f.Timer1_Timer();
  EXPECT_FALSE(filled(f.canvas(), 0xFF0000u, QRect(500, kTop, 22, 22)));
  EXPECT_TRUE(filled(f.canvas(), 0xFF0000u, QRect(500, kTop + 22, 22, 22)));
}

TEST_F(ColwriteForm1, ResizeRuleAtTheWindow) {
  writeIni(0, 16761024);
  writeText(QString(40, QChar(u'あ')));
  forms::Form1& f = form();
  struct {
    int H;
    const char* limit;
    int p2, p3;
  } cases[] = {
      {7635, "332.2941", 449, 429},
      {7650, "378", 463, 448},  // tops of 462.5 and 447.5 pixels
      {8085, "401.029411764706", 484, 469},
  };
  for (auto c : cases) {
    setOuterHeight(f, c.H);
    EXPECT_EQ(f.Text2->text(), QString::fromLatin1(c.limit)) << c.H;
    EXPECT_EQ(f.Picture2->y(), c.p2) << c.H;
    EXPECT_EQ(f.Picture3->y(), c.p3) << c.H;
    EXPECT_EQ(f.Picture2->x(), 8);
    EXPECT_EQ(f.canvas().size(), f.size());
  }
  // At 7650 twips a column holds 18 cells, the last one above the band: the
  // 19th is at the top of the next.
  setOuterHeight(f, 7650);
  EXPECT_EQ(f.h, 378);
  EXPECT_FALSE(filled(f.canvas(), 0xC0C0FFu, QRect(500, kTop + 17 * 22, 22, 22)));
  EXPECT_LE(kTop + 18 * 22, f.Picture3->y());
  EXPECT_TRUE(filled(f.canvas(), 0xC0C0FFu, QRect(500, kTop + 18 * 22, 22, 22)));
  EXPECT_FALSE(filled(f.canvas(), 0xC0C0FFu, QRect(478, kTop, 22, 22)));
}

TEST_F(ColwriteForm1, MaximisedWindowUsesTheMaximisedBands) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("あ"));
  forms::Form1& f = form();
  f.Show();
  f.setWindowState(2);
  for (int i = 0; i < 5; ++i) ui::doEvents();
  ASSERT_EQ(f.WindowState(), 2);
  const int H = f.OuterHeight();
  ASSERT_GE(H, 7650);
  const auto want = colwrite::resizeRule(H, true, f.height());
  EXPECT_EQ(f.Text2->text(), want.limitText);
  EXPECT_EQ(f.Picture2->y(), static_cast<int>(std::lround(want.picture2Top)));
  EXPECT_EQ(f.Picture3->y(), static_cast<int>(std::lround(want.picture3Top)));
  EXPECT_EQ(f.canvas().size(), f.size());
}

TEST_F(ColwriteForm1, ShiftButtons) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("「"));
  forms::Form1& f = form();
  f.Refresh();
  struct {
    QPushButton* b;
    int from, to;
  } cases[] = {{f.Command1, 500, 700}, {f.Command2, 700, 500}, {f.Command2, 500, 300},
               {f.Command3, 300, -200}, {f.Command4, -200, 300}};
  for (auto c : cases) {
    c.b->click();
    EXPECT_EQ(f.st, c.to) << c.b->objectName().toStdString();
    EXPECT_EQ(f.Text1->text(), QString::number(c.to));
  }
  // The refresh erased the old place; the mark is at the new one.
  EXPECT_TRUE(filled(f.canvas(), 0xC0C0FFu, QRect(500, kTop, 22, 22)));
  EXPECT_TRUE(sameBlock(f.canvas(), 300, kTop, f.Picture1.image, 22 * 9, 0, 22, 22));
}

TEST_F(ColwriteForm1, ShiftButtonsStopAtTheEndsOfTheRange) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("あい\r\nう"));
  forms::Form1& f = form();
  f.Text1->setText(QString::number(INT_MAX - 600));
  for (int i = 0; i < 3; ++i) f.Command4->click();
  EXPECT_EQ(f.Text1->text(), QString::number(INT_MAX));
  f.Text1->setText(QString::number(INT_MIN + 600));
  for (int i = 0; i < 3; ++i) f.Command3->click();
  EXPECT_EQ(f.Text1->text(), QString::number(INT_MIN));
  f.Command1->click();
  EXPECT_EQ(f.Text1->text(), QString::number(static_cast<long long>(INT_MIN) + 200));
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ColwriteForm1, TickDrawsARewrittenTextOverThePrevious) {
  writeIni(0, 16761024);
  writeText(QStringLiteral("あ"));
  forms::Form1& f = form();
  f.Text2->setText(QStringLiteral("405"));
  f.Refresh();
  const QImage first = f.canvas().copy();
  writeText(QStringLiteral("\r\nい"));
  f.Timer1_Timer();
  EXPECT_TRUE(sameBlock(f.canvas(), 500, kTop, first, 500, kTop, 22, 22));   // "あ" stays
  EXPECT_FALSE(filled(f.canvas(), 0xC0C0FFu, QRect(478, kTop + 22, 22, 22)));  // "い" added
}

TEST_F(ColwriteForm1, MissingTextIsReportedOnceAndEndsWithAFailure) {
  writeIni(0, 16761024);
  forms::Form1& f = form();
  f.Timer1->start();
  try {
    f.Timer1_Timer();
    FAIL() << "the program went on";
  } catch (const ui::EndCalled& e) {
    EXPECT_NE(e.code, 0);
  }
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_TRUE(boxes_[0].prompt.contains(QStringLiteral("test.txt")));
  EXPECT_EQ(boxes_[0].buttons & 0x70, int(seams::vbCritical));
  EXPECT_FALSE(f.Timer1->isActive());
  f.Timer1_Timer();  // a tick already queued reports nothing more
  f.Refresh();
  EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(ColwriteForm1, UnreadableTextIsReported) {
  writeIni(0, 16761024);
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QStringLiteral("test.txt")));
  forms::Form1& f = form();
  EXPECT_THROW(f.Refresh(), ui::EndCalled);
  EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(ColwriteForm1, EveryCellShowsBelowTheButtons) {
  writeIni(0, 16761024);
  // A column broken at the height limit, then one started by a line end.
  writeText(QString(25, QChar(u'あ')) + QStringLiteral("\rいう"));
  forms::Form1& f = form();
  f.Show();
  ui::doEvents();
  QTest::mouseClick(f.Command2, Qt::LeftButton);  // "←": the columns from x = 300
  ASSERT_EQ(f.st, 300);
  const QString text = *colwrite::readHandOff(f.TextPath());
  QWidget* area = f.findChild<QWidget*>(QStringLiteral("Form1_canvas"))->parentWidget();
  const QImage shot = area->grab().toImage().convertToFormat(QImage::Format_RGB32);
  int firstCells = 0;
  for (const colwrite::Cell& c : colwrite::layout(text, f.st, f.h)) {
    const int x = static_cast<int>(c.x), top = static_cast<int>(c.y) + kTop;
    // What the window shows of the cell is what was drawn into it.
    EXPECT_TRUE(sameBlock(shot, x, top, f.canvas(), x, top, 22, 22)) << x << "," << top;
    EXPECT_FALSE(filled(f.canvas(), 0xC0C0FFu, QRect(x, top, 22, 22))) << x << "," << top;
    firstCells += c.y == 0;
  }
  EXPECT_EQ(firstCells, 3);
}
