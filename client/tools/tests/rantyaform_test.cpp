// The launcher: reading r.cfg, the captions it sets, and the programs the
// buttons start.
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>

#include "client/tools/rantyaform.h"
#include "client/tools/tests/desktoptools_fixture.h"
#include "platform/codepage.h"

using namespace toolstest;

namespace {

using seamtest::sjis;

// n entries "名前k","/usr/bin/prog k", one a line.
QByteArray entries(int n) {
  QByteArray b;
  for (int k = 0; k < n; ++k) b += sjis(QStringLiteral("\"名前%1\",\"/usr/bin/prog%1 --x\"\r\n").arg(k));
  return b;
}

launcher::ReadResult read(const QByteArray& b) {
  return launcher::readEntries(std::string_view(b.constData(), static_cast<std::size_t>(b.size())));
}

class RantyaFormTest : public ToolsTest {
 protected:
  void TearDown() override {
    if (RantyaFormLoaded()) RantyaForm().Unload();
    ToolsTest::TearDown();
  }
  void writeList(const QByteArray& b) { writeFile(QStringLiteral("★MailData/r.cfg"), b); }
  QStringList captions() {
    QStringList c;
    for (QPushButton* b : RantyaForm().Command1) c << b->text();
    return c;
  }
  const QStringList design{QStringLiteral("ファイ"), QStringLiteral("ルが見"), QStringLiteral("つかり")};
};

}  // namespace

TEST(LauncherList, FieldsAndEntries) {
  const struct {
    const char* name;
    QByteArray bytes;
    int count;
    bool ok;
  } cases[] = {
      {"empty file", "", 0, true},
      {"two entries", entries(2), 2, true},
      {"eleven entries fill the table", entries(11), 11, true},
      {"a twelfth entry is an error", entries(12), 11, false},
      {"last entry without a command", entries(2) + "\"third\"\r\n", 2, false},
      {"last entry without a line end", entries(1) + "\"a\",\"b\"", 2, true},
      {"blank lines at the end", entries(2) + "\r\n\r\n  \r\n", 2, true},
      {"bare LF and bare CR line ends", "\"a\",\"b\"\n\"c\",\"d\"\r\"e\",\"f\"", 3, true},
      {"fields on lines of their own", "\"a\"\r\n\"b\"\r\n", 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const launcher::ReadResult r = read(c.bytes);
    EXPECT_EQ(r.count, c.count);
    EXPECT_EQ(r.ok, c.ok);
  }
}

TEST(LauncherList, QuotedFieldsKeepCommasAndUnquotedFieldsLoseOuterBlanks) {
  const launcher::ReadResult r = read(sjis(QStringLiteral("\"メモ, 帳\",\"/usr/bin/a \"\"b\"\"\"\r\n"
                                                          "  plain caption  , /usr/bin/c -x  \r\n"
                                                          "\"q\" junk ,\"/bin/d\"\r\n")));
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.count, 3);
  EXPECT_EQ(r.entries[0].caption, QStringLiteral("メモ, 帳"));
  EXPECT_EQ(r.entries[1].caption, QStringLiteral("plain caption"));
  EXPECT_EQ(r.entries[1].command, QStringLiteral("/usr/bin/c -x"));
  EXPECT_EQ(r.entries[2].caption, QStringLiteral("q"));  // what follows the closing quote does not count
  EXPECT_EQ(r.entries[2].command, QStringLiteral("/bin/d"));
}

TEST_F(RantyaFormTest, CommandLinesBecomeProgramAndArguments) {
  const QString sh = QStandardPaths::findExecutable(QStringLiteral("sh"));
  ASSERT_FALSE(sh.isEmpty());
  const struct {
    QString line;
    QString program;
    QStringList arguments;
  } cases[] = {
      {QStringLiteral("/usr/bin/env a b"), QStringLiteral("/usr/bin/env"), {QStringLiteral("a"), QStringLiteral("b")}},
      {QStringLiteral("\"/opt/my tools/run\" \"one arg\""), QStringLiteral("/opt/my tools/run"), {QStringLiteral("one arg")}},
      {QStringLiteral("sh -c true"), sh, {QStringLiteral("-c"), QStringLiteral("true")}},
      {QStringLiteral("\\★MailData\\DATA\\Bdata\\Puckslide"), path(QStringLiteral("★MailData/DATA/Bdata/Puckslide")), {}},
      {QString(), QString(), {}},
      {QStringLiteral("   "), QString(), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line.toStdString());
    const launcher::Command cmd = launcher::parseCommandLine(c.line);
    EXPECT_EQ(cmd.program, c.program);
    EXPECT_EQ(cmd.arguments, c.arguments);
  }
}

TEST_F(RantyaFormTest, WithoutAListTheButtonsSayFileNotFoundAndStartNothing) {
  forms::RantyaForm& f = RantyaForm();
  EXPECT_EQ(f.Caption(), QStringLiteral("ランチャー"));
  EXPECT_EQ(captions(), design);
  for (QPushButton* b : f.Command1) EXPECT_EQ(b->font().pointSizeF(), f.font().pointSizeF());  // its own size
  EXPECT_EQ(f.client()->palette().color(QPalette::Window), QColor(Qt::black));
  EXPECT_EQ(f.Command1[1]->geometry(), QRect(ui::px(970), ui::px(240), ui::px(855), ui::px(375)));
  for (QPushButton* b : f.Command1) b->click();
  EXPECT_TRUE(started.empty());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(RantyaFormTest, TwoEntriesNameTwoButtonsAndTheThirdDoesNothing) {
  writeList(entries(2));
  forms::RantyaForm& f = RantyaForm();
  EXPECT_EQ(captions(), (QStringList{QStringLiteral("名前0"), QStringLiteral("名前1"), QStringLiteral("つかり")}));
  f.Command1[2]->click();
  EXPECT_TRUE(started.empty());
  f.Command1[1]->click();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, QStringLiteral("/usr/bin/prog1"));
  EXPECT_EQ(started[0].arguments, QStringList{QStringLiteral("--x")});
  EXPECT_EQ(started[0].workingDir, QDir::currentPath());
}

TEST_F(RantyaFormTest, FiveEntriesNameAllThreeButtons) {
  writeList(entries(5));
  RantyaForm();
  EXPECT_EQ(captions(), (QStringList{QStringLiteral("名前0"), QStringLiteral("名前1"), QStringLiteral("名前2")}));
}

TEST_F(RantyaFormTest, LongCaptionsShowWholeInTheSmallButtons) {
  const QString names[3] = {QStringLiteral("テキストエディタ"), QStringLiteral("Mail reader"),
                            QStringLiteral("とても長い名前のプログラムを起動するためのボタンです")};
  QByteArray list;
  for (const QString& n : names) list += sjis(QStringLiteral("\"%1\",\"/bin/true\"\r\n").arg(n));
  writeList(list);
  forms::RantyaForm& f = RantyaForm();
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    QPushButton* b = f.Command1[i];
    EXPECT_EQ(b->size(), QSize(ui::px(855), ui::px(375)));  // the buttons keep their size
    QStyleOptionButton opt;
    opt.initFrom(b);
    const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b);
    const QFontMetrics fm(b->font());
    const QStringList lines = b->text().split(u'\n');
    EXPECT_LE(lines.size(), 2);
    EXPECT_LE(lines.size() * fm.height(), room.height());
    for (const QString& line : lines) EXPECT_LE(fm.horizontalAdvance(line), room.width()) << line.toStdString();
    EXPECT_GE(b->font().pointSizeF(), 6);
    if (i < 2) {
      // Whole, broken at the blank where there is one.
      EXPECT_EQ(lines.join(u' ').remove(u' '), QString(names[i]).remove(u' '));
      EXPECT_TRUE(b->toolTip().isEmpty());
    } else {
      // Too long for any size: cut, and whole in the tool tip.
      EXPECT_TRUE(lines.back().endsWith(u'…'));
      EXPECT_EQ(b->toolTip(), names[i]);
    }
  }
}

TEST_F(RantyaFormTest, AListThatCannotBeReadWholeChangesNoCaptionAndStartsNothing) {
  for (const QByteArray& list : {entries(12), entries(2) + "\"no command\"\r\n"}) {
    writeList(list);
    forms::RantyaForm& f = RantyaForm();
    EXPECT_EQ(captions(), design);
    for (QPushButton* b : f.Command1) b->click();
    EXPECT_TRUE(started.empty());
    f.Unload();
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(RantyaFormTest, AProgramThatDoesNotStartIsPassedOverSilently) {
  writeList(sjis(QStringLiteral("\"無い\",\"/nonexistent/program\"\r\n")));
  startSucceeds = false;
  RantyaForm().Command1[0]->click();
  EXPECT_EQ(started.size(), 1u);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(RantyaFormTest, ReopeningReadsTheListAgain) {
  writeList(entries(1));
  EXPECT_EQ(captions()[0], QStringLiteral("名前0"));
  RantyaForm().Unload();
  writeList(sjis(QStringLiteral("\"新しい\",\"/bin/true\"\r\n")));
  EXPECT_EQ(captions()[0], QStringLiteral("新しい"));
}
