// The main window's menu bar and its two popups: the tree, and the entries
// with actions of their own.
#include <QElapsedTimer>
#include <QMenuBar>
#include <QThread>

#include "client/composer/writeform.h"
#include "client/mainwindow/form1.h"
#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/kojinform.h"
#include "client/mainwindow/menus.h"
#include "client/mainwindow/setform.h"
#include "client/mainwindow/tests/mainform_fixture.h"

using namespace mainformtest;

namespace {

// One line per entry: its name and caption, submenu entries indented by two
// blanks, separators as "name -".
void dump(const QMenu* m, const QString& indent, QStringList& out) {
  for (const QAction* a : m->actions()) {
    if (a->menu()) {
      out << indent + a->menu()->objectName() + u' ' + a->menu()->title();
      dump(a->menu(), indent + QStringLiteral("  "), out);
    } else if (a->isSeparator()) {
      out << indent + a->objectName() + QStringLiteral(" -");
    } else {
      out << indent + a->objectName() + u' ' + a->text();
    }
  }
}

QStringList tree(const QMenu* m) {
  QStringList out{m->objectName() + u' ' + m->title()};
  dump(m, QStringLiteral("  "), out);
  return out;
}

const char16_t* const kBar = uR"(mfile ファイル(&F)
  mdesk デスクトップにショートカット
  mnuline19 -
  mshinkida 新規作成
    mshinki 新規作成（アドレス帳閉）
    mnushikiadores2 新規作成（アドレス帳開）
  mnuline20 -
  mjyushin 受信
  mline -
  mtyakushin 着信履歴
  mkinkoda 金庫
    mnukin 金の金庫（開く）
    mnugin 銀の金庫（開く）
    mnudou 銅の金庫（開く）
  mnuline16 -
  msouhin 送信履歴
  mline5 -
  mnutenpfold 添付フォルダ操作
  maddress アドレス帳
  mnuline18 -
  mend 終了
msettei 設定(&T)
  mset 各種設定
  mnuspam Spam/迷惑メール撃退
  mnukojin 個人用パスワード
  mnuline21 -
  mrantya2 ランチャー起動
  mline9 -
  mtime アナログ時計
  mflipset フリプセ
  mnuair エアホッケー
  mkarenda カレンダー
  mline30 -
  mfinwisp フィンウィスプ成育状態を見る
  mfinwispresset フィンウィスプ成育のリセット
  mline10 -
  mnutask タスクトレイに常駐
  mline2 -
  msmall Small
massyuku 圧縮・解凍(&A)
  mfassyuku フォルダの圧縮
  mline7 -
  mfkaito フォルダの解凍
mhelo HELP(&H)
  mtorisetu 取り扱い（HELP）)";

const char16_t* const kRacePopup = uR"(mpopup Popup
  mshinki2 新規作成
    mpopupshinki 新規作成（アドレス帳閉）
    mpopupshinkiadrress 新規作成（アドレス帳開）
  mline14 -
  mpopupjyushin 受信
  mline13 -
  mpopuptyakushin 着信履歴
  mkinko 金庫
    mnukin2 金の金庫（開く）
    mnugin2 銀の金庫（開く）
    mnudou2 銅の金庫（開く）
  mnuline17 -
  mpopupsoushin 送信履歴
  mline17 -
  mtenpfold 添付フォルダ操作
  mpopset 設定
  mline15 -
  mtask2 タスクトレイに常駐)";

const char16_t* const kTrayPopup = uR"(mnuPopup popup
  mnu_Popup_0 メイン画面表示
  mnu_Popup_1 -
  mnu_Popup_2 新規作成
  mnu_Popup_3 受信
  mnu_Popup_4 -
  mnu_Popup_5 着信履歴
  mnu_Popup_6 送信履歴
  mnu_Popup_7 -
  mnu_Popup_8 設定)";

QStringList lines(const char16_t* text) { return QString::fromUtf16(text).split(u'\n'); }

class MenusTest : public MainFormTest {
 protected:
  std::vector<int> answers;
  std::vector<seams::StartCall> starts;
  QTemporaryDir home;

  void SetUp() override {
    MainFormTest::SetUp();
    seamtest::recordMsgBoxes(boxes, answers, seamtest::alwaysOk);
    seams::setStartHandler([this](const seams::StartCall& c) {
      starts.push_back(c);
      return true;
    });
  }
  void TearDown() override {
    seams::setStartHandler([](const seams::StartCall&) { return true; });
    qunsetenv("XDG_CONFIG_HOME");
    MainFormTest::TearDown();
  }

  // Points the XDG desktop folder at folder (written into a user-dirs.dirs
  // of a configuration folder of the test's own).
  void desktopAt(const QString& folder) {
    writeFile(home.path() + QStringLiteral("/config/user-dirs.dirs"),
              QStringLiteral("XDG_DESKTOP_DIR=\"%1\"\n").arg(folder).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toUtf8());
  }
};

}  // namespace

TEST_F(MenusTest, TreeOfTheBarAndThePopups) {
  forms::MainForm& f = start();
  QStringList bar;
  const QList<QAction*> top = f.menuBar()->actions();
  ASSERT_EQ(top.size(), 4);
  for (const QAction* a : top) bar += tree(a->menu());
  EXPECT_EQ(bar, lines(kBar));
  EXPECT_EQ(tree(f.mpopup), lines(kRacePopup));
  EXPECT_EQ(tree(f.mnuPopup), lines(kTrayPopup));

  // No shortcut keys, no check marks, everything enabled; the popups are
  // not in the bar.
  std::function<void(const QMenu*)> plain = [&](const QMenu* m) {
    for (const QAction* a : m->actions()) {
      EXPECT_TRUE(a->shortcut().isEmpty()) << a->objectName().toStdString();
      EXPECT_FALSE(a->isCheckable()) << a->objectName().toStdString();
      EXPECT_TRUE(a->isEnabled()) << a->objectName().toStdString();
      if (a->menu()) plain(a->menu());
    }
  };
  for (const QMenu* m : {f.mfile, f.msettei, f.massyuku, f.mhelo, f.mpopup, f.mnuPopup}) plain(m);
  for (const QAction* a : top) EXPECT_NE(a->menu(), f.mpopup);
  for (const QAction* a : top) EXPECT_NE(a->menu(), f.mnuPopup);
}

TEST_F(MenusTest, NewMailFromTheBarLeavesTheMascotTheRacePopupPutsItAway) {
  struct Case {
    const char* entry;
    bool away;
    int width;
  } cases[] = {
      {"mshinki", false, 7140},
      {"mnushikiadores2", true, 9700},
      {"mpopupshinki", true, 7140},
      {"mpopupshinkiadrress", true, 9700},
  };
  forms::MainForm& f = start();
  for (const Case& c : cases) {
    f.Label13_Click();
    ASSERT_TRUE(Form1Loaded());
    f.findChild<QAction*>(QString::fromLatin1(c.entry))->trigger();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(Form1Loaded(), !c.away) << c.entry;
    EXPECT_EQ(f.Label13->isEnabled(), c.away) << c.entry;
    EXPECT_TRUE(WriteForm().isVisible()) << c.entry;
    EXPECT_NEAR(WriteForm().Width(), c.width, 15) << c.entry;
    f.Label14_Click();
  }
}

TEST_F(MenusTest, WindowsTheEntriesShow) {
  forms::MainForm& f = start();
  f.Label13_Click();
  f.mnuspam->trigger();
  EXPECT_TRUE(GekitaiForm().isVisible());
  EXPECT_TRUE(Form1Loaded()) << "the spam window leaves the mascot out";
  f.mnukojin->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(KojinForm().isVisible());
  EXPECT_FALSE(Form1Loaded());
  EXPECT_TRUE(f.Label13->isEnabled());
  EXPECT_FALSE(f.Label14->isEnabled());
  f.mset->trigger();
  EXPECT_TRUE(SetForm().isVisible());
}

TEST_F(MenusTest, EndStopsAtOnceWithoutSaving) {
  forms::MainForm& f = start({QStringLiteral("NAME8=元")});
  f.Text1->setText(QStringLiteral("新"));
  const QByteArray before = fileBytes(ini());
  EXPECT_THROW(f.mend->trigger(), ui::EndCalled);
  EXPECT_EQ(ends, 1);
  EXPECT_EQ(fileBytes(ini()), before);
}

TEST_F(MenusTest, AccessoriesStartByTheirPaths) {
  forms::MainForm& f = start();
  struct Case {
    QAction* entry;
    const char* path;
  } cases[] = {
      {f.mflipset, "/★MailData/DATA/Adata/Flipset"},
      {f.mnuair, "/★MailData/DATA/Bdata/Puckslide"},
      {f.mfinwisp, "/★MailData/DATA/Ddata/finwisp"},
  };
  for (const Case& c : cases) {
    starts.clear();
    c.entry->trigger();
    ASSERT_EQ(starts.size(), 1u) << c.path;
    EXPECT_EQ(starts[0].program, dir.path() + QString::fromUtf8(c.path));
    EXPECT_TRUE(starts[0].arguments.isEmpty());
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MenusTest, AStandInAccessoryRecordsItsStart) {
  forms::MainForm& f = start();
  // The real program start: a stand-in at Flipset's path notes its folder and
  // its arguments.
  seams::setStartHandler(nullptr);
  const QString program = dir.path() + QStringLiteral("/★MailData/DATA/Adata/Flipset");
  const QString note = dir.path() + QStringLiteral("/started.txt");
  writeFile(program, QStringLiteral("#!/bin/sh\necho \"$# $(pwd)\" > '%1.part' && mv '%1.part' '%1'\n").arg(note).toUtf8());
  QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  f.mflipset->trigger();
  QElapsedTimer t;
  t.start();
  while (!QFile::exists(note) && t.elapsed() < 10000) QThread::msleep(20);
  ASSERT_TRUE(QFile::exists(note));
  EXPECT_EQ(QString::fromUtf8(fileBytes(note)).trimmed(),
            QStringLiteral("0 ") + QFileInfo(program).absolutePath());
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MenusTest, AMissingAccessoryIsNamedAndTheClientGoesOn) {
  forms::MainForm& f = start();
  seams::setStartHandler(nullptr);  // the real start: nothing lies at the paths
  f.mnuair->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.contains(QStringLiteral("Puckslide")));
  EXPECT_TRUE(boxes[0].prompt.contains(dir.path() + QStringLiteral("/★MailData/DATA/Bdata/Puckslide")));
  EXPECT_EQ(ends, 0);
  // A file that may not be executed counts as missing too.
  writeFile(dir.path() + QStringLiteral("/★MailData/DATA/Adata/Flipset"), "not a program");
  f.mflipset->trigger();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(boxes[1].prompt.contains(QStringLiteral("Flipset")));
  EXPECT_EQ(ends, 0);
  EXPECT_TRUE(MainFormLoaded());
}

TEST_F(MenusTest, CountReset) {
  const QString copy = QStringLiteral("\\★MailData\\DATA\\Ddata\\DATA\\ini.ini");
  struct Case {
    const char* name;
    int answer;
    bool copyBefore;  // the accessory's copy exists before the reset
  } cases[] = {
      {"No", seams::vbNo, true},
      {"Yes", seams::vbYes, true},
      {"Yes without a copy", seams::vbYes, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    boxes.clear();
    forms::MainForm& f = start({QStringLiteral("NUMBER28=42"), QStringLiteral("NAME8=名前")});
    if (c.copyBefore) writeFile(path(copy), "[EXEINI]\r\nNUMBER28=41\r\n");
    else QFile::remove(path(copy));
    ASSERT_EQ(f.Text14->text(), QStringLiteral("42"));
    const QByteArray iniBefore = fileBytes(ini());
    const QByteArray copyBefore = fileBytes(path(copy));
    answers = {c.answer};
    f.mfinwispresset->trigger();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].prompt, QStringLiteral("フィンウィスプを幼魚に戻します。処理を続けますか? 処理は次回起動より反映されます。"));
    EXPECT_EQ(boxes[0].buttons, seams::vbYesNo | seams::vbQuestion);
    EXPECT_EQ(boxes[0].title, QStringLiteral("確認"));
    if (c.answer == seams::vbNo) {
      EXPECT_EQ(fileBytes(ini()), iniBefore);
      EXPECT_EQ(fileBytes(path(copy)), copyBefore);
      EXPECT_EQ(f.Text14->text(), QStringLiteral("42"));
    } else {
      EXPECT_EQ(iniValue("NUMBER28"), QStringLiteral("0"));
      EXPECT_EQ(iniValue("NAME8"), QStringLiteral("名前"));
      EXPECT_EQ(fileBytes(path(copy)), fileBytes(ini()));
      EXPECT_EQ(f.Text14->text(), QStringLiteral("0")) << "the running total starts again";
    }
    destroyWindows();
    startup::releaseInstanceLock();
  }
}

TEST_F(MenusTest, DesktopShortcut) {
  forms::MainForm& f = start();
  const QString desk = home.path() + QStringLiteral("/デスクトップ");
  desktopAt(desk);
  ASSERT_EQ(menus::desktopFolder(), desk);
  f.mdesk->trigger();
  const QString file = desk + QStringLiteral("/ルボちゃん.desktop");
  ASSERT_TRUE(QFile::exists(file));
  EXPECT_TRUE(QFileInfo(file).isExecutable());
  const QStringList text = QString::fromUtf8(fileBytes(file)).split(u'\n', Qt::SkipEmptyParts);
  EXPECT_EQ(text.value(0), QStringLiteral("[Desktop Entry]"));
  EXPECT_TRUE(text.contains(QStringLiteral("Type=Application")));
  EXPECT_TRUE(text.contains(QStringLiteral("Name=ルボちゃん")));
  EXPECT_TRUE(text.contains(QStringLiteral("Exec=\"%1/RuvoMail\"").arg(dir.path())));
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].prompt, QStringLiteral("可愛いっい！！　ルボちゃんメール！　を\r\nデスクトップに作成しました"));
  EXPECT_EQ(boxes[0].buttons, seams::vbOKOnly);
  EXPECT_EQ(boxes[0].title, seams::defaultTitle());

  // Made again: the shortcut is replaced.
  f.mdesk->trigger();
  EXPECT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1].prompt, boxes[0].prompt);
}

TEST_F(MenusTest, ShortcutThatCannotBeWrittenIsAFailure) {
  forms::MainForm& f = start();
  // The desktop "folder" is a file: nothing can be written there.
  const QString blocked = home.path() + QStringLiteral("/Desktop");
  writeFile(blocked, "a file");
  desktopAt(blocked);
  f.mdesk->trigger();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(boxes[0].prompt.startsWith(QStringLiteral("デスクトップにショートカットを作成できませんでした。")));
  EXPECT_FALSE(boxes[0].prompt.contains(QStringLiteral("作成しました")));
  EXPECT_EQ(ends, 0);
}

TEST(ShortcutText, ExecQuotesAndEscapesThePath) {
  struct Case {
    QString program;
    QString exec;
  } cases[] = {
      {QStringLiteral("/opt/RuvoMail/RuvoMail"), QStringLiteral("Exec=\"/opt/RuvoMail/RuvoMail\"")},
      {QStringLiteral("/home/u/My Mail/RuvoMail"), QStringLiteral("Exec=\"/home/u/My Mail/RuvoMail\"")},
      {QStringLiteral("/a$b/100%/RuvoMail"), QStringLiteral("Exec=\"/a\\\\$b/100%%/RuvoMail\"")},
      {QStringLiteral("/q\"/RuvoMail"), QStringLiteral("Exec=\"/q\\\\\"/RuvoMail\"")},
  };
  for (const Case& c : cases)
    EXPECT_TRUE(menus::shortcutText(c.program).split(u'\n').contains(c.exec)) << c.program.toStdString();
}

TEST_F(MenusTest, ReceiveFromThePopupCountsAfterwards) {
  forms::MainForm& f = start();
  // The no-mail note's wait runs on a clock that hurries.
  std::int64_t clock = 0;
  seams::setTickCount([&clock] { return clock += 1000; });
  f.Label13_Click();
  writeFile(dir.path() + QStringLiteral("/★MailData/xqmdata2.data"), QByteArray(2 * 32284, ' '));
  f.mjyushin->trigger();
  EXPECT_EQ(f.Label5->text(), QStringLiteral("メールを受信します。"));
  EXPECT_EQ(f.Text3->text(), QStringLiteral("0")) << "the bar's entry leaves the count";
  EXPECT_TRUE(Form1Loaded()) << "and the mascot";
  f.mpopupjyushin->trigger();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_EQ(f.Text3->text(), QStringLiteral("2"));
  EXPECT_FALSE(Form1Loaded());
}
