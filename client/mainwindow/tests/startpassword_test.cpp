// The start-up password: the prompt before the main window and the window
// that sets it.
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>

#include "client/mainwindow/form1.h"
#include "client/mainwindow/kidouform.h"
#include "client/mainwindow/kojinform.h"
#include "client/mainwindow/receivemail.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/startpassword.h"
#include "client/mainwindow/tests/mainform_fixture.h"

using namespace mainformtest;

namespace {

class StartPasswordTest : public MainFormTest {
 protected:
  std::vector<int> answers;  // what the next boxes answer (OK when none is left)

  void SetUp() override {
    MainFormTest::SetUp();
    seamtest::recordMsgBoxes(boxes, answers, seamtest::alwaysOk);
  }

  // Starts the program as main() does: the main window shows unless the
  // start-up keeps it behind the prompt.
  forms::MainForm& launch(const QStringList& iniLines) {
    writeIni(iniLines);
    forms::MainForm& f = MainForm();
    if (!f.startHidden()) f.Show();
    return f;
  }

  // Types into a box as the user does (through its entry rule).
  static void type(QLineEdit* box, const QString& text) {
    box->clear();
    box->insert(text);
  }
};

}  // namespace

TEST_F(StartPasswordTest, PromptTable) {
  struct Case {
    const char* name;
    QStringList ini;
    bool prompt;
    QStringList wrong;  // refused entries, each answered with the message
    QString right;
  } cases[] = {
      {"NAME10 missing: the secret default", {QStringLiteral("NAME8=x")}, true,
       {QStringLiteral("qzvkmutel"), QString(), QStringLiteral("QzvKmuTel ")}, QStringLiteral("QzvKmuTel")},
      {"NAME10 empty: no password", {QStringLiteral("NAME10=")}, false, {}, QString()},
      {"case counts", {QStringLiteral("NAME10=Secret")}, true, {QStringLiteral("secret"), QStringLiteral("SECRET")},
       QStringLiteral("Secret")},
      {"width counts", {QStringLiteral("NAME10=ｐａｓｓ")}, true, {QStringLiteral("pass")}, QStringLiteral("ｐａｓｓ")},
      {"a stored trailing blank must be typed", {QStringLiteral("NAME10=\"abc \"")}, true, {QStringLiteral("abc")},
       QStringLiteral("abc ")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    forms::MainForm& f = launch(c.ini);
    EXPECT_EQ(StartPasswordPending(), c.prompt);
    EXPECT_EQ(f.isVisible(), !c.prompt);
    if (c.prompt) {
      forms::KidouForm& k = KidouForm();
      EXPECT_TRUE(k.isVisible());
      EXPECT_FALSE(f.Label14->isEnabled());
      for (const QString& w : c.wrong) {
        type(k.Text1, w);
        k.Command1_Click();
        EXPECT_FALSE(f.isVisible()) << w.toStdString();
        EXPECT_TRUE(k.isVisible());
        EXPECT_TRUE(k.Text1->text().isEmpty());
      }
      ASSERT_EQ(boxes.size(), c.wrong.size());
      for (const seams::MsgBoxCall& b : boxes) {
        EXPECT_EQ(b.prompt, QStringLiteral("パスワードが違います。"));
        EXPECT_EQ(b.buttons, seams::vbOKOnly);
        EXPECT_EQ(b.title, seams::defaultTitle());
      }
      type(k.Text1, c.right);
      k.Command1_Click();
      EXPECT_TRUE(f.isVisible());
      EXPECT_FALSE(k.isVisible());
      EXPECT_TRUE(KidouFormLoaded()) << "hidden, not closed";
      EXPECT_FALSE(StartPasswordPending());
      EXPECT_FALSE(f.startHidden());
    } else {
      EXPECT_FALSE(KidouFormLoaded());
      EXPECT_TRUE(boxes.empty());
    }
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(StartPasswordTest, PromptPutsTheMascotAway) {
  forms::MainForm& f = start();
  f.Label13_Click();
  ASSERT_TRUE(Form1Loaded());
  // The prompt's start-up step as the start-up runs it.
  f.Text13->setText(QStringLiteral("pw"));
  showStartPasswordPrompt();
  f.Label14_Click();
  EXPECT_FALSE(Form1Loaded());
  type(KidouForm().Text1, QStringLiteral("pw"));
  KidouForm().Command1_Click();
  EXPECT_FALSE(StartPasswordPending());
}

TEST_F(StartPasswordTest, CanselOrClosingThePromptEndsTheProgram) {
  for (int closeBox = 0; closeBox < 2; ++closeBox) {
    SCOPED_TRACE(closeBox ? "closed" : "Cansel");
    ends = 0;
    forms::MainForm& f = launch({QStringLiteral("NAME10=pw"), QStringLiteral("NAME8=名前")});
    ASSERT_TRUE(StartPasswordPending());
    const QByteArray before = fileBytes(ini());
    if (closeBox) EXPECT_THROW(KidouForm().close(), ui::EndCalled);
    else EXPECT_THROW(KidouForm().Command2_Click(), ui::EndCalled);
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(f.isVisible());
    EXPECT_EQ(fileBytes(ini()), before);
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(StartPasswordTest, NoMailCheckBehindThePrompt) {
  forms::MainForm& f = launch({QStringLiteral("NAME10=pw"), QStringLiteral("NUMBER16=1")});
  ASSERT_TRUE(StartPasswordPending());
  EXPECT_TRUE(startPasswordPending()) << "the mail check sees the prompt";
  QElapsedTimer t;
  t.start();
  ReceiveMail();
  for (int i = 0; i < 120; ++i) AutoCheckTick();  // two minutes of ticks
  EXPECT_LT(t.elapsed(), 2000) << "no check ran (it would end in the three-second note)";
  EXPECT_TRUE(boxes.empty());
  EXPECT_FALSE(f.isVisible());
  EXPECT_FALSE(SetForm().isVisible());
  type(KidouForm().Text1, QStringLiteral("pw"));
  KidouForm().Command1_Click();
  EXPECT_FALSE(startPasswordPending());
}

TEST_F(StartPasswordTest, SetAndConfirm) {
  forms::MainForm& f = start();
  forms::KojinForm& k = KojinForm();
  EXPECT_EQ(k.Caption(), QStringLiteral("個人用パスワード"));
  EXPECT_TRUE(k.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(k.Text1->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(k.Text2->echoMode(), QLineEdit::Password);
  EXPECT_TRUE(f.Label13->isEnabled());
  EXPECT_FALSE(f.Label14->isEnabled());

  // Entries that differ (case counts): the message, the confirmation emptied.
  type(k.Text1, QStringLiteral("Neko"));
  type(k.Text2, QStringLiteral("neko"));
  k.Command1_Click();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("入力間違いです。同じパスワードが入らなければいけません。\r\n"
                                            "確認をしてもう一度入力し直して下さい。"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(k.Text1->text(), QStringLiteral("Neko"));
  EXPECT_TRUE(k.Text2->text().isEmpty());
  EXPECT_EQ(iniValue("NAME10"), QStringLiteral(""));

  // Equal, answered No: both emptied, nothing written, the window stays.
  type(k.Text2, QStringLiteral("Neko"));
  answers = {seams::vbNo};
  k.Command1_Click();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].buttons, seams::vbYesNo | seams::vbQuestion);
  EXPECT_EQ(boxes[1].title, QStringLiteral("確認"));
  EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("設定をしてよろしいですか？　")));
  EXPECT_TRUE(k.Text1->text().isEmpty());
  EXPECT_TRUE(k.Text2->text().isEmpty());
  EXPECT_TRUE(KojinFormLoaded());
  EXPECT_EQ(iniValue("NAME10"), QStringLiteral(""));
  EXPECT_EQ(iniValue("NAME11"), QStringLiteral("<none>"));

  // Equal, answered Yes: both keys written, the window closed; the running
  // client keeps the password it read at start.
  type(k.Text1, QStringLiteral("Neko 1"));
  type(k.Text2, QStringLiteral("Neko 1"));
  answers = {seams::vbYes};
  k.Command1_Click();
  EXPECT_FALSE(KojinFormLoaded());
  EXPECT_EQ(iniValue("NAME10"), QStringLiteral("Neko 1"));
  EXPECT_EQ(iniValue("NAME11"), QStringLiteral("Neko 1"));
  EXPECT_TRUE(f.Text13->text().isEmpty());

  // "Cansel": emptied and closed, nothing written.
  forms::KojinForm& again = KojinForm();
  type(again.Text1, QStringLiteral("x"));
  type(again.Text2, QStringLiteral("x"));
  again.Command2_Click();
  EXPECT_FALSE(KojinFormLoaded());
  EXPECT_EQ(iniValue("NAME10"), QStringLiteral("Neko 1"));
}

TEST_F(StartPasswordTest, StoredPasswordsReadBackAsTyped) {
  // Each password set in the window is the one the next start asks for.
  const QString longest = QString(127, QChar(u'あ')) + u'x';  // 255 bytes
  const QStringList passwords = {QStringLiteral("plain"), QStringLiteral(" lead"), QStringLiteral("trail "),
                                 QStringLiteral("\"quoted\""), QStringLiteral("'q'"), QStringLiteral("a=b;c"),
                                 QStringLiteral("   "), longest, QString()};
  for (const QString& pw : passwords) {
    SCOPED_TRACE(pw.toStdString());
    start();
    forms::KojinForm& k = KojinForm();
    type(k.Text1, pw);
    type(k.Text2, pw);
    ASSERT_EQ(k.Text1->text(), pw);
    answers = {seams::vbYes};
    k.Command1_Click();
    destroyWindows();
    startup::releaseInstanceLock();
    // The next start.
    forms::MainForm& f = MainForm();
    EXPECT_EQ(f.Text13->text(), pw);
    EXPECT_EQ(StartPasswordPending(), !pw.isEmpty());
    if (!pw.isEmpty()) {
      type(KidouForm().Text1, pw);
      KidouForm().Command1_Click();
      EXPECT_TRUE(f.isVisible());
    }
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(StartPasswordTest, EntryTakesAtMost255Bytes) {
  start();
  forms::KojinForm& k = KojinForm();
  struct Case {
    const char* name;
    QString typed;
    QString kept;
  } cases[] = {
      {"255 half-width", QString(255, u'a'), QString(255, u'a')},
      {"256 half-width", QString(256, u'a'), QString(255, u'a')},
      {"no half of a double-byte character", QString(254, u'a') + QStringLiteral("あ"), QString(254, u'a')},
      {"127 full-width and one more", QString(128, QChar(u'漢')), QString(127, QChar(u'漢'))},
      // Refused whole (and told of): the box keeps what it had.
      {"characters without a CP932 form", QStringLiteral("ab\u00e9c\U0001F600d"), QString()},
  };
  for (const Case& c : cases) {
    for (QLineEdit* box : {k.Text1, k.Text2}) {
      type(box, c.typed);
      EXPECT_EQ(box->text(), c.kept) << c.name;
    }
  }
  // Typing into a full box adds nothing; what stood before and after stays.
  type(k.Text1, QString(255, u'a'));
  k.Text1->setCursorPosition(3);
  k.Text1->insert(QStringLiteral("zz"));
  EXPECT_EQ(k.Text1->text(), QString(255, u'a'));
  type(k.Text1, QString(250, u'a') + QStringLiteral("bc"));
  k.Text1->setCursorPosition(250);
  k.Text1->insert(QStringLiteral("XYZW"));
  EXPECT_EQ(k.Text1->text(), QString(250, u'a') + QStringLiteral("XYZ") + QStringLiteral("bc"));
}

TEST_F(StartPasswordTest, LineBreaksPastedIntoTheStoredBoxesAreRefused) {
  forms::MainForm& f = start();
  forms::KojinForm& k = KojinForm();
  forms::SetForm& s = SetForm();
  f.Show();
  k.Show();
  s.Show();
  for (QLineEdit* box : {k.Text1, k.Text2, s.IdText, s.PassText, f.Text1}) {
    SCOPED_TRACE(box->objectName().toStdString());
    box->setText(QStringLiteral("pa"));
    box->end(false);
    boxes.clear();
    QApplication::clipboard()->setText(QStringLiteral("ss\r\n"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCoreApplication::processEvents();
    EXPECT_EQ(box->text(), QStringLiteral("pa"));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("この欄には改行を入力できません。"));
    QApplication::clipboard()->setText(QStringLiteral("ss"));
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(box->text(), QStringLiteral("pass"));
  }
  // What the boxes hold is written on one line each.
  s.Check3->setChecked(true);
  QTest::mouseClick(s.Command6, Qt::LeftButton);
  answers = {seams::vbYes};
  QTest::mouseClick(k.Command1, Qt::LeftButton);
  ASSERT_FALSE(KojinFormLoaded());
  closeMain();
  EXPECT_EQ(fileBytes(path(settings::kIdPassFile)), QByteArray("[EXEINI]\r\nNAME=pass\r\nNAME2=pass\r\nNAME3=1\r\n"));
  EXPECT_EQ(iniValue("NAME8"), QStringLiteral("pass"));
  EXPECT_EQ(iniValue("NAME10"), QStringLiteral("pass"));
  EXPECT_EQ(iniValue("NAME11"), QStringLiteral("pass"));
  for (const QByteArray& line : fileBytes(ini()).split('\n'))
    EXPECT_TRUE(line.isEmpty() || line.endsWith('\r')) << line.toStdString();
}

// "OK" with a password that cannot be written: the message, the window stays
// with what was typed, and the old password stays in force. By a folder in
// place of the settings file and by a read-only file.
TEST_F(StartPasswordTest, OkThatCannotStoreThePasswordSaysSoAndStaysOpen) {
  for (int readOnly = 0; readOnly < 2; ++readOnly) {
    SCOPED_TRACE(readOnly ? "read-only file" : "folder in its place");
    boxes.clear();
    start({QStringLiteral("NAME8=x")});
    const QByteArray before = fileBytes(ini());
    if (readOnly) {
      ASSERT_TRUE(QFile::setPermissions(ini(), QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    } else {
      ASSERT_TRUE(QFile::remove(ini()));
      ASSERT_TRUE(QDir().mkdir(ini()));
    }
    forms::KojinForm& k = KojinForm();
    k.Show();
    k.Text1->setFocus();
    QTest::keyClicks(k.Text1, QStringLiteral("Neko"));
    QTest::keyClicks(k.Text2, QStringLiteral("Neko"));
    answers = {seams::vbYes};
    QTest::mouseClick(k.Command1, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
    EXPECT_TRUE(boxes[1].prompt.startsWith(QStringLiteral("パスワードを保存できませんでした。"))) << boxes[1].prompt.toStdString();
    EXPECT_TRUE(KojinFormLoaded());
    EXPECT_EQ(k.Text1->text(), QStringLiteral("Neko"));
    EXPECT_EQ(k.Text2->text(), QStringLiteral("Neko"));
    if (readOnly) {
      QFile::setPermissions(ini(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
      EXPECT_EQ(fileBytes(ini()), before);
      // Writable again, the next "OK" stores it and closes.
      answers = {seams::vbYes};
      QTest::mouseClick(k.Command1, Qt::LeftButton);
      EXPECT_FALSE(KojinFormLoaded());
      EXPECT_EQ(iniValue("NAME10"), QStringLiteral("Neko"));
    } else {
      EXPECT_TRUE(QDir(ini()).isEmpty());
      QDir().rmdir(ini());
    }
    destroyWindows();
    startup::releaseInstanceLock();
  }
}
