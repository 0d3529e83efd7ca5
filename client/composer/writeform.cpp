#include "client/composer/writeform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QAbstractItemView>
#include <QScreen>
#include <QStyle>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>

#include "client/composer/composer.h"
#include "client/composer/composerhelp.h"
#include "client/composer/writeformparts.h"
#include "client/composer/writeneighbours.h"
#include "client/history/editorcommands.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/settings.h"
#include "platform/vbstring.h"

namespace writeform {

void setBackColor(QWidget* w, const QColor& c) { ui::setBackColor(w, c); }

QColor backColor(const QWidget* w) {
  const QVariant v = w->property("backColor");
  if (v.isValid()) return v.value<QColor>();
  return w->palette().color(QPalette::Base);
}

void setForeColor(QWidget* w, const QColor& c) {
  QPalette p = w->palette();
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  w->setPalette(p);
}

QColor foreColor(const QWidget* w) { return w->palette().color(QPalette::WindowText); }

QString countText(int n) { return QString::number(n); }

}  // namespace writeform

using namespace writeform;

namespace {

ui::Accessor<forms::WriteForm>& accessor() {
  static ui::Accessor<forms::WriteForm> a;
  return a;
}

// Design size of the window (outer, twips).
constexpr int kDesignWidth = 9700;
constexpr int kDesignHeight = 7500;
// Width of the left-hand part (the body and the strips above it).
constexpr int kLeftWidth = 7000;
// The rows above the body (To, subject, greeting, attachments), the send
// buttons below them and the body (twips).
constexpr int kFirstRowTop = 400;
constexpr int kRowHeight = 375;
constexpr int kTextBoxHeight = 330;
constexpr int kSendRowTop = 1900;
constexpr int kBodyTop = 2330;

const char kDragMime[] = "application/x-ruvomail-control";

QString q(const char16_t* s) { return QString::fromUtf16(s); }

// The pane's list: the row click runs after the list has taken the press
// (so that the clicked row is the selected one).
class PaneList : public QListWidget {
 public:
  using QListWidget::QListWidget;
  std::function<void()> onPress;

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    QListWidget::mousePressEvent(e);
    if (onPress && e->button() == Qt::LeftButton) onPress();
  }
};

QFrame* strip(QWidget* parent, const QString& name, int l, int t, int w, int h) {
  auto* f = ui::control<QFrame>(parent, name, l, t, w, h);
  f->setFrameShape(QFrame::NoFrame);
  return f;
}

using ui::button, ui::label, ui::textBox;

using ui::setFontSize;

// ---- hover-help texts ----
const char16_t kHelpSend[] = u"送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。";
using composerhelp::kHelpStop;
const char16_t kHelpOpen[] =
    u"このフォーム（新規作成）が拡張され、登録したメールアドレスの名称が一覧（リスト）に現れます。送信したい名称をクリックすると、"
    u"メールアドレスが自動的に入力されます。";
const char16_t kHelpClose[] = u"アドレス帳を含むサイズから、元のサイズに戻します。";
using composerhelp::kHelpAdd;
const char16_t kHelpClear[] = u"宛先、件名、本文他、設定等が初期状態に戻せます。";
using composerhelp::kHelpDeleteHeld;
using composerhelp::kHelpHold;
using composerhelp::kHelpList;
const char16_t* const kHelpListHeld = composerhelp::kHelpRecallHeld;
const char16_t kHelpToggle[] =
    u"「後で送信（保留）」、「保留分の呼出」で非表示になったアドレスを再度呼び出します。この操作は「アドレス開」でも行えます。";
const char16_t kHelpFortune[] = u"コンピュータがアトランダムにチョイスする占いを本文後に添付します。";

using composerhelp::helpFaceMarks;

QString helpAttach() {
  return q(u"各種ファイルを添付して送信できます。１個の添付ファイルの際に使用します。") + kCrLf +
         q(u"２個目からは「追加」ボタンをクリックして下さい。一覧リストが表示されます。送信メール１件について１０個までの送信が"
           u"可能です。") +
         kCrLf + q(u"添付ファイルを中止したい時は「取り消し」ボタンをクリック！") + kCrLf +
         q(u"添付ファイルを複数選択した際に表示される一覧リストが邪魔なときは「リスト」をクリックして下さい。一覧リストの一時的な"
           u"表示・非表示が出来ます。表示・非表示を行うだけで、選択したファイルが取り消される訳ではありません。");
}

QString helpSendToAll() {
  return q(u"アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。") + kCrLf + kCrLf +
         q(u"件名、本文入力完了後、送信ボタンをクリックして下さい。");
}

QString helpTyped() {
  return q(u"件名、本文が同様の内容のメールを、複数の人に送信します。メールアドレスは手動で入力します。") + kCrLf + kCrLf +
         q(u"「手動で入力」をクリックして下さい。");
}

QString helpFromBook() {
  return q(u"件名、本文が同様の内容のメールを、複数の人に送信します。メールアドレスは「新規作成画面のアドレス帳」をクリックして"
           u"入力します。") +
         kCrLf + kCrLf + q(u"「アドレス帳から入力」をクリックして下さい。");
}

const char16_t* const kGreetings[] = {
    u"御社益々ご清祥の事とお慶び申し上げます。",
    u"平素のご愛顧誠にありがとうございます。",
    u"平素は格別のご愛顧を賜り深謝申し上げます。",
    u"いつもお世話になっております。",
    u"メールありがとうございました。確かに受け取りました。",
    u"はじめまして、突然のメールで恐縮です。",
    u"こんにちわ。はじめてメールいたします。",
    u"こんにちわ。お変わりなく、お元気ですか？",
};

}  // namespace

forms::WriteForm& WriteForm() { return accessor()(); }
bool WriteFormLoaded() { return accessor().isLoaded(); }

namespace forms {

WriteForm::WriteForm() : ui::Form(QStringLiteral("WriteForm")), AttachCommonDialog(this), CommonDialog1(this) {
  setCaption(QStringLiteral("新規作成・送信 （フォームのストレッチ、最大化が可能です）"));
  QWidget* c = client();
  {
    // The window background; the boxes keep their own white.
    QPalette p = c->palette();
    p.setColor(QPalette::Window, QColor(224, 224, 224));
    c->setPalette(p);
    c->setAutoFillBackground(true);
  }

  buildToolbar();

  // The strips above the body: To, subject, greeting, attachments.
  Picture2.resize(4);
  Label1.resize(3);
  Label2.resize(5);
  Label4.resize(2);
  for (int i = 0; i < 4; ++i)
    Picture2[static_cast<std::size_t>(i)] =
        strip(c, QStringLiteral("Picture2_%1").arg(i), 0, kFirstRowTop + kRowHeight * i, kLeftWidth, kRowHeight);

  QWidget* s0 = Picture2[0];
  Label2[3] = label(s0, QStringLiteral("Label2_3"), QStringLiteral("宛先"), 60, 60, 520, 255);
  ToText = textBox(s0, QStringLiteral("ToText"), 600, 20, 4300, kTextBoxHeight);
  Label1[0] = label(s0, QStringLiteral("Label1_0"), QStringLiteral("文字Size"), 5000, 60, 700, 255);
  Text10 = textBox(s0, QStringLiteral("Text10"), 5700, 20, 375, 300);
  settings::guardEntry(Text10);  // written to ini.ini as it stands
  HScroll1 = ui::control<QScrollBar>(s0, QStringLiteral("HScroll1"), 6100, 40, 850, 255, Qt::Horizontal);
  HScroll1->setRange(8, 24);
  HScroll1->setValue(9);

  QWidget* s1 = Picture2[1];
  Label2[1] = label(s1, QStringLiteral("Label2_1"), QStringLiteral("件名"), 60, 60, 520, 255);
  SubjectText = textBox(s1, QStringLiteral("SubjectText"), 600, 20, 4300, kTextBoxHeight);
  Check1 = ui::control<QCheckBox>(s1, QStringLiteral("Check1"), 5000, 40, 255, 255);
  Label2[2] = label(s1, QStringLiteral("Label2_2"), QStringLiteral("占い添付"), 5280, 60, 900, 255);
  Check2 = ui::control<QCheckBox>(s1, QStringLiteral("Check2"), 6300, 40, 600, 255, QStringLiteral("Check2"));
  Check2->hide();

  QWidget* s2 = Picture2[2];
  Label2[0] = label(s2, QStringLiteral("Label2_0"), QStringLiteral("首記例"), 60, 60, 520, 255);
  Combo1 = ui::control<QComboBox>(s2, QStringLiteral("Combo1"), 600, 20, 4300, 330);
  Combo1->setEditable(true);
  Combo1->setInsertPolicy(QComboBox::NoInsert);
  Command8 = button(s2, QStringLiteral("Command8"), QStringLiteral("顔・絵文字"), 5000, 15, 1000, 345);
  Command12 = button(s2, QStringLiteral("Command12"), QStringLiteral("HELP"), 6050, 15, 900, 345);

  QWidget* s3 = Picture2[3];
  AttachCommand = button(s3, QStringLiteral("AttachCommand"), QStringLiteral("添付File"), 60, 15, 900, 345);
  AttachText = textBox(s3, QStringLiteral("AttachText"), 1000, 20, 3300, 330);
  Command9 = button(s3, QStringLiteral("Command9"), QStringLiteral("追加"), 4350, 15, 650, 345);
  Command10 = button(s3, QStringLiteral("Command10"), QStringLiteral("取り消し"), 5050, 15, 900, 345);
  Command16 = button(s3, QStringLiteral("Command16"), QStringLiteral("リスト"), 6000, 15, 950, 345);

  // The send buttons.
  Picture4 = strip(c, QStringLiteral("Picture4"), 0, kSendRowTop, kLeftWidth, 420);
  Command1 = button(Picture4, QStringLiteral("Command1"), QStringLiteral("  送信"), 30, 30, 800, 360);
  Command3 = button(Picture4, QStringLiteral("Command3"), QStringLiteral("      送信中止"), 850, 30, 1250, 360);
  Command11 = button(Picture4, QStringLiteral("Command11"), QStringLiteral("クリア"), 2120, 30, 750, 360);
  Command13 = button(Picture4, QStringLiteral("Command13"), QStringLiteral("後で送信（保留）"), 2890, 30, 1650, 360);
  Command14 = button(Picture4, QStringLiteral("Command14"), QStringLiteral("保留分の呼出"), 4560, 30, 1200, 360);
  Command15 = button(Picture4, QStringLiteral("Command15"), QStringLiteral("保留分の削除"), 5780, 30, 1200, 360);

  // The body.
  rtfEd = ui::control<QTextEdit>(c, QStringLiteral("rtfEd"), 0, kBodyTop, kLeftWidth - 200, 3510);
  rtfEd->setAcceptRichText(false);
  rtfEd->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 9));

  // The attachment list floats over the body, below the send buttons it
  // must not cover, under the attachment box.
  List2 = ui::control<QListWidget>(c, QStringLiteral("List2"), 1000, kBodyTop, 3300, 1200);

  // The help box.
  Text14 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text14"), 600, 3600, 5800, 1700);
  Text14->setReadOnly(true);
  setBackColor(Text14, QColor(255, 255, 192));
  Text14->hide();

  // The send modes.
  Frame4 = ui::control<QFrame>(c, QStringLiteral("Frame4"), 0, kDesignHeight - 1600, kLeftWidth, 390);
  Frame4->setFrameShape(QFrame::StyledPanel);
  Option1 = ui::control<QRadioButton>(Frame4, QStringLiteral("Option1"), 60, 60, 255, 255);
  Label1[2] = label(Frame4, QStringLiteral("Label1_2"), QStringLiteral("取消"), 330, 70, 500, 255);
  Option2 = ui::control<QRadioButton>(Frame4, QStringLiteral("Option2"), 900, 60, 255, 255);
  Label1[1] = label(Frame4, QStringLiteral("Label1_1"), QStringLiteral("一括送信"), 1170, 70, 900, 255);
  for (QRadioButton* o : {Option1, Option2}) o->setAutoExclusive(false);
  Label2[4] = label(Frame4, QStringLiteral("Label2_4"), QStringLiteral("Cc"), 2200, 70, 300, 255);
  Label5 = label(Frame4, QStringLiteral("Label5"), QStringLiteral("         手動で入力"), 2500, 50, 1900, 300);
  Label6 = label(Frame4, QStringLiteral("Label6"), QStringLiteral("    アドレス帳から入力"), 4400, 50, 2500, 300);
  for (QLabel* l : {Label5, Label6}) {
    l->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    l->setCursor(Qt::PointingHandCursor);
  }

  // The status strip.
  Picture6 = strip(c, QStringLiteral("Picture6"), 0, kDesignHeight - 1200, kLeftWidth, 375);
  Label7 = label(Picture6, QStringLiteral("Label7"), QString(), 60, 60, 6880, 255);

  // The right-hand panel: the address pane.
  Picture5 = strip(c, QStringLiteral("Picture5"), kDesignWidth - 2600, 0, 2300, kDesignHeight - 800);
  Command4 = button(Picture5, QStringLiteral("Command4"), QStringLiteral("アドレス開"), 0, 0, 1100, 345);
  Command6 = button(Picture5, QStringLiteral("Command6"), QStringLiteral("アドレス閉"), 1150, 0, 1100, 345);
  Label4[1] = label(Picture5, QStringLiteral("Label4_1"), QStringLiteral("アドレス帳"), 0, 420, 1100, 255);
  Label4[0] = label(Picture5, QStringLiteral("Label4_0"), QStringLiteral("件数"), 1150, 420, 450, 255);
  Text1 = textBox(Picture5, QStringLiteral("Text1"), 1600, 390, 650, 300);
  Command17 = button(Picture5, QStringLiteral("Command17"), QStringLiteral("アドレス呼出"), 0, 760, 2250, 345);
  auto* pane = new PaneList(Picture5);
  pane->setObjectName(QStringLiteral("List1"));
  ui::place(pane, 0, 1150, 2250, kDesignHeight - 2400 - 345);
  pane->onPress = [this] { List1_MouseDown(); };
  // While the pane feeds the Cc list a press adds the address there, an
  // action of its own that moving through the list must not repeat.
  ui::clickOnKeyboardRowChange(pane, [this] {
    if (MultiSendMode != 1 || MailListKind == 10) List1_MouseDown();
  });
  pane->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);  // rows are full-width fields
  pane->setTextElideMode(Qt::ElideNone);
  List1 = pane;

  // Boxes beyond the 9700-twip width.
  Text2 = textBox(c, QStringLiteral("Text2"), 9840, 480, 615, 375);
  Text3 = textBox(c, QStringLiteral("Text3"), 9840, 960, 615, 375);
  // (the two markers are the program's own: a wide window shows neither, nor
  // lets the marker lie over the address pane)
  Text2->hide();
  Text3->hide();
  Command2 = button(c, QStringLiteral("Command2"), QStringLiteral("貼付け"), 10080, 3960, 1200, 375);
  Text4 = textBox(c, QStringLiteral("Text4"), 10080, 4395, 2295, 375);
  // (the paste box is the program's own store for the clipboard's text: it
  // stays unseen, also where a stretched or maximised window reaches it)
  Text4->hide();

  List2->raise();
  Text14->raise();

  buildMenus();
  Move(1200, 900, kDesignWidth, kDesignHeight);

  // Handlers.
  connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
  connect(Command11, &QPushButton::clicked, this, [this] { Command11_Click(); });
  connect(Command12, &QPushButton::clicked, this, [this] { Command12_Click(); });
  connect(Command13, &QPushButton::clicked, this, [this] { Command13_Click(); });
  connect(Command14, &QPushButton::clicked, this, [this] { Command14_Click(); });
  connect(Command15, &QPushButton::clicked, this, [this] { Command15_Click(); });
  connect(Command17, &QPushButton::clicked, this, [this] { Command17_Click(); });
  connect(AttachCommand, &QPushButton::clicked, this, [this] { AttachCommand_Click(); });
  connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });
  connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
  connect(Command16, &QPushButton::clicked, this, [this] { Command16_Click(); });
  connect(Option1, &QRadioButton::clicked, this, [this] {
    setOption1(true);
    Option1_Click();
  });
  connect(Option2, &QRadioButton::clicked, this, [this] {
    setOption2(true);
    Option2_Click();
  });
  for (QWidget* w : std::initializer_list<QWidget*>{Label5, Label6, Label7, Combo1}) w->installEventFilter(this);
  connect(Combo1, &QComboBox::activated, this, [this] { greetingChosen_ = true; });
  connect(Combo1->lineEdit(), &QLineEdit::textEdited, this, [this] { greetingChosen_ = true; });

  // Hover help.
  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({c, Command1, Command3, Command4, Command6, Command8, Command9, Command11, Command13, Command14,
               Command15, Command16, Command17, AttachCommand, Check1, Label2[0], Label2[1], Label2[2], Label2[3],
               Label2[4], Option2, Label5, Label6, SubjectText, Picture2[0], Picture2[1], Picture2[2], Picture2[3],
               Picture4, Picture5, Picture6, Frame4});
  help->watch(rtfEd->viewport(), rtfEd);

  // The help box can be dragged aside and dropped on the window background.
  Text14->viewport()->installEventFilter(this);
  c->setAcceptDrops(true);
  // Captions a little wider than their controls at the fonts installed here
  // take a smaller size, so that they show whole.
  ui::fitLabel(Label1[0]);
  ui::fitLabel(Label2[0]);
  // The strips keep their places below 9400 twips of width: the window is
  // never made smaller than they need (the address pane lies beyond them):
  // as wide as the plain composer's 7100 twips, which hold every button of
  // the strips, and as high as the lowest strip.
  client()->setMinimumSize(ui::px(7100) - ui::frameExtra(this).width(), Picture6->geometry().bottom() + 1);
}

void WriteForm::buildToolbar() {
  tbToolBar = BuildEditorToolbar(*this, kLeftWidth, [this](const QString& key) { tbToolBar_ButtonClick(key); });
}

void WriteForm::buildMenus() {
  auto add = [](QMenu* m, const char* name, const QString& caption) {
    QAction* a = m->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  auto separator = [](QMenu* m, const char* name) { m->addSeparator()->setObjectName(QString::fromLatin1(name)); };
  auto menu = [this](const char* name, const QString& caption) {
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  mnuFile = menu("mnuFile", QStringLiteral("ファイル(&F)"));
  mnew = add(mnuFile, "mnew", QStringLiteral("新規作成"));
  mopen = add(mnuFile, "mopen", QStringLiteral("開く"));
  msave = add(mnuFile, "msave", QStringLiteral("名前を付けて保存"));
  mprint = add(mnuFile, "mprint", QStringLiteral("印刷"));
  separator(mnuFile, "mline");
  mend = add(mnuFile, "mend", QStringLiteral("終了"));

  mnuEdit = menu("mnuEdit", QStringLiteral("編集"));
  mall = add(mnuEdit, "mall", QStringLiteral("全て選択"));
  matamajump = add(mnuEdit, "matamajump", QStringLiteral("文頭へジャンプ"));
  mbunmatujump = add(mnuEdit, "mbunmatujump", QStringLiteral("文末へジャンプ"));
  separator(mnuEdit, "mline2");
  mcut = add(mnuEdit, "mcut", QStringLiteral("切り取り"));
  mcopy = add(mnuEdit, "mcopy", QStringLiteral("コピー"));
  mpaste = add(mnuEdit, "mpaste", QStringLiteral("貼り付け"));

  mnuMain = menu("mnuMain", QStringLiteral("Main(&M)"));
  msouhin = add(mnuMain, "msouhin", QStringLiteral("送信"));
  mstop = add(mnuMain, "mstop", QStringLiteral("送信中止"));
  separator(mnuMain, "mline3");
  maddress = add(mnuMain, "maddress", QStringLiteral("アドレス帳開"));
  mmotosize = add(mnuMain, "mmotosize", QStringLiteral("アドレス帳閉"));
  separator(mnuMain, "mline21");
  mclire = add(mnuMain, "mclire", QStringLiteral("クリア"));

  mnuSub = menu("mnuSub", QStringLiteral("Sub(&S)"));
  mato = add(mnuSub, "mato", QStringLiteral("後で送信（保留）"));
  myobidasi = add(mnuSub, "myobidasi", QStringLiteral("保留分呼び出し"));
  msakujyo = add(mnuSub, "msakujyo", QStringLiteral("保留分削除"));
  separator(mnuSub, "mline22");
  mkao = add(mnuSub, "mkao", QStringLiteral("顔・絵文字"));

  mnuHelp = menu("mnuHelp", QStringLiteral("HELP(&H)"));
  mhelpsetu = add(mnuHelp, "mhelpsetu", QStringLiteral("取り扱い説明"));

  BindEditorMenuItems(*this, rtfEd, CommonDialog1,
                      {mnew, mprint, mall, matamajump, mbunmatujump, mcut, mcopy, mpaste});
  connect(mopen, &QAction::triggered, this, [] { OpenWriteText(); });
  connect(msave, &QAction::triggered, this, [this] { SaveAsWithHeader(QStringLiteral("From:")); });
  connect(mend, &QAction::triggered, this, [this] { Unload(); });
  connect(msouhin, &QAction::triggered, this, [this] { Command1_Click(); });
  connect(mstop, &QAction::triggered, this, [this] { Command3_Click(); });
  connect(maddress, &QAction::triggered, this, [this] { Command4_Click(); });
  connect(mmotosize, &QAction::triggered, this, [this] { Command6_Click(); });
  connect(mclire, &QAction::triggered, this, [this] { Command11_Click(); });
  connect(mato, &QAction::triggered, this, [this] { Command13_Click(); });
  connect(myobidasi, &QAction::triggered, this, [this] { Command14_Click(); });
  connect(msakujyo, &QAction::triggered, this, [this] { Command15_Click(); });
  connect(mkao, &QAction::triggered, this, [this] { Command8_Click(); });
  connect(mhelpsetu, &QAction::triggered, this, [] { writeneighbours::showHelp(); });
}

bool WriteForm::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::MouseMove:
      if (watched == Text14->viewport()) {
        auto* me = static_cast<QMouseEvent*>(event);
        if (dragSource_ == Text14 && (me->buttons() & Qt::LeftButton)) startDrag(Text14, me->pos());
      }
      break;
    case QEvent::MouseButtonPress:
      if (watched == Text14->viewport() && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        const QPoint p = static_cast<QMouseEvent*>(event)->pos();
        dragSource_ = Text14;
        DragOffsetX = static_cast<float>(ui::tw(p.x()));
        DragOffsetY = static_cast<float>(ui::tw(p.y()));
      }
      break;
    case QEvent::MouseButtonRelease:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        auto* w = qobject_cast<QWidget*>(watched);
        const QPoint p = static_cast<QMouseEvent*>(event)->pos();
        const bool inside = w && w->rect().contains(p);
        if (watched == Label5 && inside) Label5_Click();
        else if (watched == Label6 && inside) Label6_Click();
      }
      break;
    case QEvent::MouseButtonDblClick:
      if (watched == Label7) Label7_DblClick();
      break;
    case QEvent::FocusIn:
    case QEvent::FocusOut:
      // Opening the drop-down list or switching to another program is no
      // entering or leaving of the list.
      if (watched == Combo1 && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason &&
          static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) {
        if (event->type() == QEvent::FocusIn) greetingChosen_ = false;
        else Combo1_LostFocus();
      }
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
      if (watched == client()) {
        auto* de = static_cast<QDropEvent*>(event);
        if (de->mimeData()->hasFormat(QString::fromLatin1(kDragMime)) && dragSource_) {
          de->acceptProposedAction();
          return true;
        }
      }
      break;
    case QEvent::Drop:
      if (watched == client() && dragSource_) {
        auto* de = static_cast<QDropEvent*>(event);
        const QPoint p = de->position().toPoint();
        Form_DragDrop(dragSource_, static_cast<float>(ui::tw(p.x())), static_cast<float>(ui::tw(p.y())));
        de->acceptProposedAction();
        return true;
      }
      break;
    default:
      break;
  }
  return ui::Form::eventFilter(watched, event);
}

void WriteForm::startDrag(QWidget* w, const QPoint& grab) {
  if ((grab - QPoint(ui::px(static_cast<int>(DragOffsetX)), ui::px(static_cast<int>(DragOffsetY)))).manhattanLength() <
      QApplication::startDragDistance())
    return;
  auto* drag = new QDrag(w);
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(kDragMime), w->objectName().toUtf8());
  drag->setMimeData(mime);
  drag->setPixmap(w->grab());
  drag->setHotSpot(QPoint(ui::px(static_cast<int>(DragOffsetX)), ui::px(static_cast<int>(DragOffsetY))));
  drag->exec(Qt::MoveAction);
  dragSource_ = nullptr;
}

void WriteForm::Form_DragDrop(QWidget* source, float x, float y) {
  if (!source || source->parentWidget() != client()) return;
  source->move(ui::px(static_cast<int>(x - DragOffsetX)), ui::px(static_cast<int>(y - DragOffsetY)));
}

void WriteForm::hover(QWidget* control) {
  auto show = [this](const QString& text) {
    ui::showFitted(Text14, text);
    Text14->raise();
  };
  auto plainLabels = [this] {
    for (QLabel* l : {Label5, Label6}) {
      setFontSize(l, 9);
      setForeColor(l, qb(0));
    }
  };
  if (control == Command1) show(q(kHelpSend));
  else if (control == Command3) show(q(kHelpStop));
  else if (control == Command4) show(q(kHelpOpen));
  else if (control == Command6) show(q(kHelpClose));
  else if (control == Command9) show(q(kHelpAdd));
  else if (control == Command11) show(q(kHelpClear));
  else if (control == Command13) show(q(kHelpHold));
  else if (control == Command14) show(q(kHelpListHeld));
  else if (control == Command15) show(q(kHelpDeleteHeld));
  else if (control == Command16) show(q(kHelpList));
  else if (control == Command17) show(q(kHelpToggle));
  else if (control == Command8) show(helpFaceMarks());
  else if (control == AttachCommand) show(helpAttach());
  else if (control == Check1 || std::find(Label2.begin(), Label2.end(), control) != Label2.end())
    show(q(kHelpFortune));
  else if (control == Option2) show(helpSendToAll());
  else if (control == Label5) {
    setFontSize(Label5, 10);
    setForeColor(Label5, qb(12));
    setFontSize(Label6, 9);
    setForeColor(Label6, qb(0));
    show(helpTyped());
  } else if (control == Label6) {
    setFontSize(Label6, 10);
    setForeColor(Label6, qb(12));
    setFontSize(Label5, 9);
    setForeColor(Label5, qb(0));
    show(helpFromBook());
  } else if (control == SubjectText) {
    plainLabels();
  } else if (control == rtfEd) {
    Text14->hide();
  } else if (control == client() || control == Picture4 || control == Picture5 || control == Picture6 ||
             control == Frame4 || std::find(Picture2.begin(), Picture2.end(), control) != Picture2.end()) {
    // The window background (the strips and panels are part of it).
    Text14->hide();
    plainLabels();
  }
}

void WriteForm::Form_Load() {
  // 1. The To box and the pane usable and white; no rows yet.
  setBackColor(List1, white());
  setBackColor(ToText, white());
  ToText->setEnabled(true);
  List1->setEnabled(true);
  RecordNumbers.assign(1, 0);

  // 2. The greeting templates.
  Combo1->clear();
  for (const char16_t* g : kGreetings) Combo1->addItem(q(g));
  // The list opens as wide as its longest greeting, none of them cut (the
  // box itself keeps its width).
  {
    const QFontMetrics fm(Combo1->view()->font());
    int widest = 0;
    for (int i = 0; i < Combo1->count(); ++i) widest = std::max(widest, fm.horizontalAdvance(Combo1->itemText(i)));
    Combo1->view()->setTextElideMode(Qt::ElideNone);
    Combo1->view()->setMinimumWidth(widest + 2 * Combo1->view()->frameWidth() +
                                    Combo1->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 24);
  }
  Combo1->setCurrentIndex(-1);
  Combo1->setEditText(QString());

  // 3. The size kept from the last closing (nothing kept: the design size).
  const int w = settings::readNumber(settings::key::WriteWidth);
  const int h = settings::readNumber(settings::key::WriteHeight);
  if (w > 0) setWidth(w);
  if (h > 0) setHeight(h);

  // 4. to 5. The help box in view or out of sight, by the main window's switch.
  Option2->setEnabled(true);
  switch (writeneighbours::hoverHelpSwitch()) {
    case 1: setTopTw(Text14, 3600); break;
    case 0: setTopTw(Text14, -4000); break;
    default: break;
  }

  // 6. The font size, brought into the scroll bar's range.
  Text10->setText(QString::number(settings::readNumber(settings::key::WriteFontSize)));
  const int size = static_cast<int>(vb::Val(Text10->text()));
  const int clamped = std::clamp(size, HScroll1->minimum(), HScroll1->maximum());
  if (HScroll1->value() != clamped) HScroll1->setValue(clamped);
  else HScroll1_Change();

  // 7. Single mode, nothing attached, the fortune switch off.
  setOption2(false);
  Text3->hide();
  Command2->hide();
  List2->hide();
  Command2->setEnabled(false);
  Command9->setEnabled(false);
  Check1->setChecked(false);
  Check2->setChecked(false);

  // 8. No Cc list; the viewer lists nothing of its own now.
  MultiSendMode = 0;
  Option2->setEnabled(true);
  MailListKind = 1000;
  setBackColor(List1, white());

  // 9. The width with the address pane.
  setWidth(kDesignWidth);

  // 10. The pane lists the address book.
  listAddressNames(false);
  setBackColor(Command17, toggleGrey());
  Command17->setText(QStringLiteral("保留分呼出"));
  Form_Resize();
}

void WriteForm::Form_Unload(int& cancel) {
  (void)cancel;
  MultiSendMode = 0;
  Option2->setEnabled(true);
  settings::writeText(settings::key::WriteFontSize, Text10->text());
  setBackColor(List1, white());
  MailListKind = 1000;
  settings::writeNumber(settings::key::WriteWidth, Width());
  settings::writeNumber(settings::key::WriteHeight, Height());
}

void WriteForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  // The strips end at the right edge of a composer narrower than they are
  // (the plain composer's 7100 twips), not a pixel or two beyond it.
  const int strip = std::min(ui::px(kLeftWidth), client()->width());
  std::vector<QWidget*> strips(Picture2.begin(), Picture2.end());
  strips.insert(strips.end(), {tbToolBar, Picture4, Frame4});
  for (QWidget* w : strips) w->resize(strip, w->height());
  // The plain composer (7140 / 7100 twips) keeps its design layout.
  if (W < 9400) return;
  setWidthTw(rtfEd, W - twW(Picture5) - 600);
  setLeftTw(Picture5, W - 2500);
  setTopTw(Picture6, H - 1200);
  setWidthTw(Picture6, twW(rtfEd));
  setWidthTw(Label7, std::max(0, twW(Picture6) - 120));
  setHeightTw(Picture5, H - 800);
  setLeftTw(Picture5, W - 2600);
  // Maximised, the panel stands a little below the window's top, which is
  // then the top of its screen; restored, it is back at its design top (the
  // window's place at the moment of the change does not count: the window
  // manager may move it before or after it sizes it).
  setTopTw(Picture5, WindowState() == 2 ? 100 : 0);
  setHeightTw(Picture5, H - 800 - twT(Picture5));  // its lower edge where it is at the top
  setTopTw(Frame4, H - 1600);
  if (H > 4500) {
    // The body fills the height between the strips above it and the mode
    // switches below it; the pane list runs down the right-hand panel.
    setHeightTw(rtfEd, std::max(0, twT(Frame4) - 60 - twT(rtfEd)));
    setHeightTw(List1, H - 2400 - twH(Command17));
  }
}

void WriteForm::HScroll1_Change() {
  const int v = HScroll1->value();
  for (QWidget* w : std::initializer_list<QWidget*>{Text14, ToText, SubjectText}) setFontSize(w, v);
  QFont f = rtfEd->font();
  f.setPointSize(v);
  rtfEd->setFont(f);
  Text10->setText(QString::number(v));
  fitTextRows();
}

void WriteForm::fitTextRows() {
  // The To and subject rows grow with the font so that their boxes show the
  // text whole; the rows below them, the send buttons, the attachment list
  // and the top of the body move down by as much.
  const int box = std::max(kTextBoxHeight, ui::tw(QFontMetrics(ToText->font()).height() + 8));
  int top = kFirstRowTop;
  for (int i = 0; i < 4; ++i) {
    QWidget* row = Picture2[static_cast<std::size_t>(i)];
    const int h = i < 2 ? std::max(kRowHeight, box + 45) : kRowHeight;
    setTopTw(row, top);
    setHeightTw(row, h);
    top += h;
  }
  setHeightTw(ToText, box);
  setHeightTw(SubjectText, box);
  const int shift = top - (kFirstRowTop + 4 * kRowHeight);
  setTopTw(Picture4, kSendRowTop + shift);
  setTopTw(List2, kBodyTop + shift);
  const int bottom = twT(rtfEd) + twH(rtfEd);
  setTopTw(rtfEd, kBodyTop + shift);
  setHeightTw(rtfEd, std::max(0, bottom - twT(rtfEd)));
}

void WriteForm::Combo1_LostFocus() {
  if (!greetingChosen_) return;
  greetingChosen_ = false;
  const QString greeting = Combo1->currentText();
  if (greeting.isEmpty()) return;  // an emptied list is no greeting
  // One edit of the body, so that Undo brings the old text back.
  QTextCursor c(rtfEd->document());
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.insertText(greeting);
  c.endEditBlock();
}

void WriteForm::Command11_Click() {
  unsentToAll_.reset();
  ToText->clear();
  SubjectText->clear();
  SetEditorText(rtfEd, QString());
  AttachText->clear();
  setOption2(false);
  List2->clear();
  List2->hide();
  Command9->setEnabled(false);
  Command10->setEnabled(false);
  AttachCommand->setEnabled(true);
  Check1->setChecked(false);
  setBackColor(List1, white());
  setBackColor(ToText, white());
}

void WriteForm::Command3_Click() {
  writeneighbours::ccUnload();
  Unload();
}

void WriteForm::Command8_Click() { writeneighbours::showFaceMarks(); }
void WriteForm::Command12_Click() { writeneighbours::showHelp(); }

void WriteForm::Command2_Click() { Text4->setText(QApplication::clipboard()->text()); }

void WriteForm::Label7_DblClick() {
  if (ToText->text() != QLatin1String("zorf")) return;
  setHeight(8955);
  Command2->show();
  Command2->setEnabled(true);
}

void WriteForm::setOption1(bool on) {
  Option1->setChecked(on);
  if (on) Option2->setChecked(false);
}

void WriteForm::setOption2(bool on) {
  Option2->setChecked(on);
  if (on) Option1->setChecked(false);
}

void WriteForm::tbToolBar_ButtonClick(const QString& key) {
  EditorToolbarCommand(*this, rtfEd, CommonDialog1, key, [] { OpenWriteText(); }, [this] { SaveAsWithHeader(QStringLiteral("To:")); });
}

void WriteForm::SaveAsWithHeader(const QString& headerWord) {
  const QString two = QStringLiteral("  ");
  const QString text = QStringLiteral("Subject:") + two + SubjectText->text() + kCrLf + headerWord + two +
                       ToText->text() + kCrLf + QStringLiteral("Date:") + two + writeneighbours::dateTimeText() +
                       kCrLf + QStringLiteral("Body:") + two + EditorText(rtfEd);
  PutSaveAsHeader(rtfEd, text);
  SaveWriteTextAs();
}

}  // namespace forms
