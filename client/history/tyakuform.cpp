#include "client/history/tyakuform.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeWidget>

#include "client/history/editorcommands.h"
#include "client/history/listpaint.h"
#include "client/history/mailrows.h"
#include "client/history/neighbours.h"
#include "client/history/openform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/savemail.h"
#include "client/mainwindow/settings.h"
#include "platform/codepage.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Design size of the client area in twips.
constexpr int kDesignScaleWidth = 9375;
constexpr int kDesignScaleHeight = 7380;

using ui::setBackColor;

// The bottom strip's controls are placed from the window's outer height, and
// the boxes of the subject row from its outer width, which count the frame
// and the menu bar; a frame or menu bar taller than the classic one would
// push them past the client's edge. These keep them inside it.
void setTopInside(QWidget* w, int top) {
  const int lowest = ui::tw(w->parentWidget()->height() - w->height());
  ui::setTopTw(w, std::min(top, lowest));
}

void keepRightInside(QWidget* w) {
  const int room = w->parentWidget()->width() - w->x();
  if (w->width() > room) w->resize(std::max(0, room), w->height());
}

// The subject, sender and date boxes: 330 twips high, or as high as their
// font's line needs, so that they show their text whole at every size.
constexpr int kRowBoxHeight = 330;
int rowBoxHeight(const QLineEdit* box) {
  return std::max(kRowBoxHeight, ui::tw(QFontMetrics(box->font()).height() + 8));
}

// The room a one-line box gives its line, in pixels.
int lineRoom(const QLineEdit* box) {
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
  const QMargins m = box->textMargins();
  return box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box).height() - m.top() - m.bottom() - 2;
}

// A box whose height stays (the search box, the copy field) takes the font
// size as far as its line fits it, by half points down to 6.
void fitLineHeight(QLineEdit* box) {
  QFont f = box->font();
  while (QFontMetrics(f).height() > lineRoom(box) && f.pointSizeF() > 6) f.setPointSizeF(f.pointSizeF() - 0.5);
  box->setFont(f);
}

QString help1() {
  return QStringLiteral(
             "本文以外のコピーに使用します。「Subject」「From」「Date」に表示されるデータをコピーします（貼り付けは"
             "メニューバー、ツールバーで出来ます）。Body（本文）はメニューバー、ツールバーからコピー・貼り付けが出来"
             "ます。") +
         kCrLf + kCrLf +
         QStringLiteral(" 本文への貼り付け（あるいは本ソフトでの貼り付け機能がある部分）、他のアプリケーションへの貼り付けが可能です。") +
         kCrLf + kCrLf + QStringLiteral("コピーされる内容は右の欄に反映されます。");
}

const char16_t* const kHelpScroll =
    u"スクロールバーが表示されている場合、本文の行送りを行います。ボタンの上でマウスを軽く左右（上下でも良い）に移動"
    u"させると（クリックではありません！　また、押し下げておく必要もありません。ボタンの上で移動させるだけです）、本"
    u"文の行送りが行えます。マウスを止めると行送り（スクロール）も停止します。長文を読む場合に非常に便利です。↑ひと"
    u"つはスロー送り、ふたつはファースト送りです。リストでメールデータを選択し、本文のスクロールバーまでカーソルを移"
    u"動させる煩わしさから開放されます。";
const char16_t* const kHelpVertical =
    u"受信したメールを「縦書き文字」で表示します。エラーメッセージが表示される場合は、件名に「Re:」が付いている場合が"
    u"殆どですので、この部分「Re:」のみ削除してもう一度実行して下さい。";

QString help4() {
  return QStringLiteral(
             "選択したデータをテキスト形式で本ソフト内の「TextQuickSave」フォルダ内に「Subject」「From」「Date」「Bob"
             "y」で保存します。ファイル名は「Subject」が自動的に当てられます。同名のファイルが既に存在する場合は警告メッ"
             "セージを出します。") +
         kCrLf + kCrLf +
         QStringLiteral(
             "注意：保存されるファイル名は自動的に件名が当てられますが、件名に「Re:」が付いている場合はこの部分のみ削除"
             "して下さい。例　Re:こんにちわ。　→　こんにちわ。");
}

const char16_t* const kHelpAddress = u"受信したメールをアドレス帳に登録します。リストからメールを選択（クリック）してから実行して下さい。";
const char16_t* const kHelpReply = u"受信したメールに返事を出します。リストからメールを選択（クリック）してから実行して下さい。";
const char16_t* const kHelpMove =
    u"リストで選択したデータを金庫（金・銀・銅の３つの金庫）に移します。他のメールとは別の扱いをしたい場合に便利です。";
const char16_t* const kHelpOpenSafe = u"金庫に移されたデータを閲覧します。";
const char16_t* const kHelpDeleteOne =
    u"受信したメールを１件ずつ削除します。リストでメールを選択（クリック）してから実行して下さい。";
const char16_t* const kHelpDeleteAll = u"受信したメール全件削除します。";
const char16_t* const kHelpFind =
    u"検索したい文字を入力し、メニューバーから「検索」「次を検索」を選択し、検索したい文字を本文中(body)から検索します。";
const char16_t* const kHelpAutoClose =
    u"チェックを入れておくと、「返事を書く」操作をした後、この画面を自動消去します。別の相手等に同様に「返事を書く」操作"
    u"をする場合は、チェックを外しておいた方が良いでしょう。";

QString q(const char16_t* s) { return QString::fromUtf16(s); }

using ui::button, ui::label, ui::textBox;

// A mail field longer than its box shows its beginning (the date's weekday,
// the subject's first words), not its end, unless the user is typing in it.
void showFromStart(QLineEdit* box) {
  QObject::connect(box, &QLineEdit::cursorPositionChanged, box, [box](int, int now) {
    if (now != 0 && !box->hasFocus()) box->setCursorPosition(0);
  });
}

using ui::setHeightTw, ui::setLeftTw, ui::setTopTw, ui::setWidthTw, ui::twH, ui::twL, ui::twT, ui::twW;

ui::Accessor<forms::TyakuForm>& accessor() {
  static ui::Accessor<forms::TyakuForm> a;
  return a;
}

// The viewer's boxes are the record buffer from which the mail check's
// records are built (SaveReceivedMail, SaveVipMail).
void installRecordBufferSource() {
  records::setRecordBufferSource([] {
    auto& f = ::TyakuForm();
    // The boxes now hold a mail stored from them, not the row clicked: no
    // row counts as chosen any more, and none stays highlighted.
    f.ShownRow = 0;
    f.Text5->clear();
    f.MailListView->clearSelection();
    return records::ViewerBoxes{f.Text7->text(), f.Text8->text(), f.Text9->text(), EditorText(f.rtfEd)};
  });
}
[[maybe_unused]] const bool sourceInstalled = (installRecordBufferSource(), true);

// A list that grows while it is on show (a mail check stores into it, a
// send records into it) gets the new rows at once: what the viewer lists is
// what its actions act on.
void installGrownNotice() {
  records::RawRecordFile::grownNotice() = [](const QString& realPath) {
    if (!accessor().isLoaded()) return;
    auto& f = accessor()();
    const int kind = f.ShownListKind;
    if (kind < 1 || kind > 6) return;
    if (records::MailFile(history::listFile(kind)).path() != realPath) return;
    history::addNewRows(kind);
  };
}
[[maybe_unused]] const bool grownNoticeInstalled = (installGrownNotice(), true);

}  // namespace

forms::TyakuForm& TyakuForm() {
  if (!records::recordBufferSource()) installRecordBufferSource();
  return accessor()();
}
bool TyakuFormLoaded() { return accessor().isLoaded(); }

QString EditorText(const QTextEdit* box) {
  QString s = box->toPlainText();
  s.replace(QLatin1Char('\n'), kCrLf);
  return s;
}

void SetEditorText(QTextEdit* box, const QString& text) {
  QString s = text;
  s.replace(kCrLf, QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (s == box->toPlainText()) return;  // an unchanged text raises no change
  box->setPlainText(s);
  box->document()->setModified(false);
}

namespace forms {

TyakuForm::TyakuForm() : ui::Form(QStringLiteral("TyakuForm")) {
  QWidget* c = client();
  setBackColor(c, QColor(224, 224, 224));
  CommonDialog1.setOwner(this);

  buildToolbar();

  Label2 = label(c, QStringLiteral("Label2"), QStringLiteral("検索文字"), 5700, 60, 780, 255);
  Text1 = textBox(c, QStringLiteral("Text1"), 6480, 0, 1455, 375);
  Text1->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 12));
  Command11 = button(c, QStringLiteral("Command11"), QStringLiteral("     縦書き文字"), 8040, 20, 1335, 340);

  Command3 = button(c, QStringLiteral("Command3"), QStringLiteral("一件削除"), 0, 400, 870, 315);
  Command4 = button(c, QStringLiteral("Command4"), QStringLiteral("アドレス帳登録"), 870, 400, 1320, 315);
  Command5 = button(c, QStringLiteral("Command5"), QStringLiteral("返事を書く"), 2190, 400, 1000, 315);
  Command6 = button(c, QStringLiteral("Command6"), QStringLiteral("全件削除"), 3190, 400, 890, 315);
  setBackColor(Command6, QColor(255, 0, 0));
  Command7 = button(c, QStringLiteral("Command7"), QStringLiteral("金庫に入れる"), 4080, 400, 1250, 315);
  setBackColor(Command7, QColor(128, 255, 128));
  Command8 = button(c, QStringLiteral("Command8"), QStringLiteral("金庫を開く"), 5330, 400, 950, 315);
  setBackColor(Command8, QColor(128, 255, 255));

  Text10 = textBox(c, QStringLiteral("Text10"), 6920, 500, 375, 270);
  settings::guardEntry(Text10);  // written to ini.ini as it stands
  HScroll1 = ui::control<QScrollBar>(c, QStringLiteral("HScroll1"), 7320, 500, 1815, 255, Qt::Horizontal);
  HScroll1->setRange(8, 24);
  HScroll1->setValue(9);
  Label1 = label(c, QStringLiteral("Label1"), QStringLiteral("文字Size"), 6300, 530, 620, 255);
  Label1->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 8));

  static const char16_t* const arrows[4] = {u"↑", u"↓", u"↑↑", u"↓↓"};
  for (int i = 0; i < 4; ++i) {
    Command10[static_cast<std::size_t>(i)] =
        button(c, QStringLiteral("Command10_%1").arg(i), q(arrows[i]), 375 * i, 720, 375, 300);
    Command10[static_cast<std::size_t>(i)]->setProperty("Index", i);
  }
  Command9 = button(c, QStringLiteral("Command9"), QStringLiteral("STOP"), 1500, 720, 600, 300);
  Command2 = button(c, QStringLiteral("Command2"), QStringLiteral("TextQuickSave"), 2160, 720, 1335, 300);

  Check1 = ui::control<QCheckBox>(c, QStringLiteral("Check1"), 5280, 800, 255, 255);
  Label3 = label(c, QStringLiteral("Label3"), QStringLiteral("返事を出した後、自動画面消去"), 5560, 800, 2700, 255);
  Label4 = label(c, QStringLiteral("Label4"), QStringLiteral("件数"), 8280, 820, 450, 255);
  Text2 = textBox(c, QStringLiteral("Text2"), 8760, 800, 615, 270);
  ui::fitBoxText(Text2, QStringLiteral("99999"));  // a list holds up to 32767 mails

  Text5 = textBox(c, QStringLiteral("Text5"), 9720, 480, 735, 375);
  Text5->hide();
  Text11 = textBox(c, QStringLiteral("Text11"), 9840, 960, 615, 375);
  Text11->hide();

  MailListView = ui::control<QTreeWidget>(c, QStringLiteral("MailListView"), 0, 1060, 9375, 1845);
  MailListView->setRootIsDecorated(false);
  MailListView->setUniformRowHeights(true);
  MailListView->setSelectionMode(QAbstractItemView::SingleSelection);
  MailListView->setSelectionBehavior(QAbstractItemView::SelectRows);
  MailListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  MailListView->setAllColumnsShowFocus(true);
  MailListView->setColumnCount(0);
  MailListView->setHeaderHidden(false);
  MailListView->header()->setStretchLastSection(false);

  const QFont boxFont = ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9.75);
  Text7 = textBox(c, QStringLiteral("Text7"), 0, 2920, 4680, 330);
  Text8 = textBox(c, QStringLiteral("Text8"), 4680, 2920, 2810, 330);
  Text9 = textBox(c, QStringLiteral("Text9"), 7490, 2920, 1870, 330);
  for (QLineEdit* box : {Text7, Text8, Text9}) showFromStart(box);
  for (QLineEdit* e : {Text7, Text8, Text9}) e->setFont(boxFont);

  rtfEd = ui::control<QTextEdit>(c, QStringLiteral("rtfEd"), 0, 3260, 9375, 3400);
  rtfEd->setAcceptRichText(false);
  rtfEd->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));

  Text4 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text4"), 1800, 3600, 5535, 2655);
  Text4->setReadOnly(true);
  setBackColor(Text4, QColor(192, 255, 192));
  Text4->hide();

  lstLst = ui::control<QListWidget>(c, QStringLiteral("lstLst"), 0, 0, 1215, 255);

  StatusBar1 = new QStatusBar(c);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  ui::place(StatusBar1, 0, kDesignScaleHeight - 375, kDesignScaleWidth, 375);
  Command1 = button(c, QStringLiteral("Command1"), QStringLiteral("コピー（Subject/from/Data）"), 1560,
                    kDesignScaleHeight - 375 + 80, 2895, 300);
  setBackColor(Command1, QColor(128, 128, 128));
  Text6 = textBox(c, QStringLiteral("Text6"), 4560, kDesignScaleHeight - 375 + 60, 4680, 270);
  Command1->raise();
  Text6->raise();

  buildMenus();

  // Handlers.
  connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
  connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
  connect(rtfEd, &QTextEdit::textChanged, this, [] { DocumentModified = true; });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command7, &QPushButton::clicked, this, [this] { Command7_Click(); });
  connect(Command8, &QPushButton::clicked, this, [this] { Command8_Click(); });
  connect(Command11, &QPushButton::clicked, this, [this] { Command11_Click(); });
  MailListView->viewport()->installEventFilter(this);
  ui::clickOnKeyboardRowChange(MailListView, [this] { MailListView_ItemClick(); });

  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({Text1, Label3, Text7, Text8, Text9, c, Command1, Command2, Command3, Command4, Command5, Command6,
               Command7, Command8, Command11, Command10[0], Command10[1], Command10[2], Command10[3]});
  help->watch(MailListView->viewport(), MailListView);
  help->watch(rtfEd->viewport(), rtfEd);

  // Captions a little wider than their controls at the fonts installed here
  // take a smaller size, so that they show whole.
  ui::fitLabel(Label1);
  ui::fitCaption(Command8, Command8->text());
  ui::fitCaption(Command2, Command2->text());
  // The row of buttons along the top keeps its place at every size: the
  // window is never made narrower than it needs.
  holdRowsAndALine();
}

void TyakuForm::buildToolbar() {
  tbToolBar = BuildEditorToolbar(*this, 5600, [this](const QString& key) { tbToolBar_ButtonClick(key); });
}

void TyakuForm::buildMenus() {
  auto add = [this](QMenu* m, const char* name, const QString& caption) {
    QAction* a = m->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
  mnuFile->setObjectName(QStringLiteral("mnuFile"));
  mnew = add(mnuFile, "mnew", QStringLiteral("新規作成"));
  mopen = add(mnuFile, "mopen", QStringLiteral("開く"));
  msave = add(mnuFile, "msave", QStringLiteral("名前を付けて保存"));
  mprint = add(mnuFile, "mprint", QStringLiteral("印刷"));
  mnuFile->addSeparator();
  mend = add(mnuFile, "mend", QStringLiteral("終了"));
  mnuEdit = menuBar()->addMenu(QStringLiteral("編集(&E)"));
  mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
  mall = add(mnuEdit, "mall", QStringLiteral("全て選択"));
  matamajump = add(mnuEdit, "matamajump", QStringLiteral("文頭へジャンプ"));
  mbunmatujump = add(mnuEdit, "mbunmatujump", QStringLiteral("文末へジャンプ"));
  mnuEdit->addSeparator();
  mfind = add(mnuEdit, "mfind", QStringLiteral("検索"));
  mfindnext = add(mnuEdit, "mfindnext", QStringLiteral("次を検索"));
  mnuEdit->addSeparator();
  mcut = add(mnuEdit, "mcut", QStringLiteral("切り取り"));
  mcopy = add(mnuEdit, "mcopy", QStringLiteral("コピー"));
  mpaste = add(mnuEdit, "mpaste", QStringLiteral("貼付け"));
  mnuHelp = menuBar()->addMenu(QStringLiteral("HELP(&H)"));
  mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
  mhelp = add(mnuHelp, "mhelp", QStringLiteral("取り扱い(HELP)"));

  BindEditorMenuItems(*this, rtfEd, CommonDialog1,
                      {mnew, mprint, mall, matamajump, mbunmatujump, mcut, mcopy, mpaste});
  connect(mopen, &QAction::triggered, this, [] { OpenTyakuText(); });
  connect(msave, &QAction::triggered, this, [this] { SaveAsWithHeader(); });
  connect(mend, &QAction::triggered, this, [this] { Unload(); });
  connect(mfind, &QAction::triggered, this, [this] { EditFind(); });
  connect(mfindnext, &QAction::triggered, this, [this] { EditFindNext(); });
  connect(mhelp, &QAction::triggered, this, [] { neighbours::showHelp(); });
}

bool TyakuForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == MailListView->viewport()) {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick: {
        // Only the left button chooses a mail: the others leave the
        // highlight where it is, on the mail shown.
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton) return true;
        // A click with Ctrl or Shift is a click: it never takes the
        // highlight off the row it shows.
        mouse->setModifiers(mouse->modifiers() & ~(Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier));
        // A press beside the rows leaves the highlight where it is.
        if (event->type() != QEvent::MouseButtonRelease && !MailListView->itemAt(mouse->position().toPoint()))
          return true;
        if (event->type() == QEvent::MouseButtonRelease) {
          // The row highlighted when the button comes up (also after a
          // press on one row and a release on another) is the one shown.
          const bool handled = ui::Form::eventFilter(watched, event);
          MailListView_ItemClick();
          return handled;
        }
        break;
      }
      default: break;
    }
  }
  return ui::Form::eventFilter(watched, event);
}

void TyakuForm::Form_Load() {
  // 1. Size kept from the last closing; nothing kept gives the design size.
  const int w = settings::readNumber(settings::key::HistoryWidth);
  const int h = settings::readNumber(settings::key::HistoryHeight);
  const QSize extra = ui::frameExtra(this);
  const int menuHeight = menuBar()->sizeHint().height();
  setWidth(w > 0 ? w : kDesignScaleWidth + ui::tw(extra.width()));
  setHeight(h > 0 ? h : kDesignScaleHeight + ui::tw(extra.height() + menuHeight));

  // 2. The help box in view or out of sight, by the main window's switch.
  switch (neighbours::hoverHelpSwitch()) {
    case 1: setTopTw(Text4, 4600); break;
    case 0: setTopTw(Text4, -40000); break;
    default: break;
  }

  // 3. The auto-close switch.
  Check1->setChecked(settings::readSwitch(settings::key::AutoCloseAfterReply, Check1->isChecked() ? 1 : 0) == 1);

  // 4. The columns.
  const int listWidth = MailListView->width();
  MailListView->setColumnCount(3);
  MailListView->setHeaderLabels({QStringLiteral("Subject"), QStringLiteral("From/to"), QStringLiteral("Date")});
  MailListView->setColumnWidth(0, listWidth / 3);
  MailListView->setColumnWidth(1, listWidth / 3);
  MailListView->setColumnWidth(2, listWidth / 4);

  // 5. The painters.
  HookHeader(MailListView);
  HookTyakuList(this);

  // 6. The font size, brought into the scroll bar's range.
  Text10->setText(QString::number(settings::readNumber(settings::key::HistoryFontSize)));
  const int size = static_cast<int>(vb::Val(Text10->text()));
  HScroll1->setValue(std::clamp(size, HScroll1->minimum(), HScroll1->maximum()));
  if (vb::Val(Text10->text()) != HScroll1->value()) Text10->setText(QString::number(HScroll1->value()));

  // 7. The body box.
  ui::place(rtfEd, 20, 3900, twW(rtfEd), twH(rtfEd));

  // 8. The editor document, when one was created since the program started.
  for (int step = 0; step < 5; ++step) {
    bool ok = true;
    switch (step) {
      case 0: lstLst->hide(); break;
      case 1:
        if (!DocumentPath.isEmpty()) {
          const QString text = ReadEditorTextFile(DocumentPath, &ok);
          if (ok) SetEditorText(rtfEd, text);
        }
        break;
      case 2: DocumentModified = false; break;
      case 3: lstLst->hide(); break;
      case 4: rtfEd->show(); break;
    }
    if (!ok) {
      const int answer = seams::MsgBox(QString(), seams::vbOKCancel | seams::vbExclamation,
                                       seams::defaultTitle() + QStringLiteral("  Form_LoadError"));
      if (answer == seams::vbOK) --step;
    }
  }
  Form_Resize();
}

void TyakuForm::Form_QueryUnload(int& cancel, int unloadMode) {
  (void)cancel, (void)unloadMode;
  UnhookHeader(MailListView);
  UnhookTyakuList(this);
}

void TyakuForm::Form_Unload(int& cancel) {
  (void)cancel;
  settings::writeNumber(settings::key::HistoryWidth, Width());
  settings::writeNumber(settings::key::HistoryHeight, Height());
  settings::writeText(settings::key::HistoryFontSize, Text10->text());
  settings::writeText(settings::key::AutoCloseAfterReply, Check1->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

void TyakuForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  Text6->show();
  Command2->show();
  // The status bar stays along the bottom of the window.
  ui::place(StatusBar1, 0, std::max(0, ScaleHeight() - 375), ScaleWidth(), 375);
  setWidthTw(MailListView, W - 130);
  setHeightTw(MailListView, static_cast<int>(H * 0.25));
  const int L = twH(MailListView);
  setTopTw(Text7, L + 1060);
  setTopTw(Text8, L + 1060);
  setTopTw(Text9, L + 1060);
  // The row grows with its font; the body begins as much lower.
  const int box = rowBoxHeight(Text7);
  for (QLineEdit* e : {Text7, Text8, Text9}) setHeightTw(e, box);
  setWidthTw(rtfEd, W - 130);
  setTopTw(rtfEd, L + 1400 + box - kRowBoxHeight);
  setWidthTw(Text7, static_cast<int>(W * 0.5));
  setWidthTw(Text8, static_cast<int>(W * 0.3));
  setWidthTw(Text9, static_cast<int>(W * 0.2));
  setLeftTw(Text7, twL(rtfEd) - 15);
  setLeftTw(Text8, twW(Text7) + twL(Text7) - 15);
  setLeftTw(Text9, static_cast<int>(W * 0.3) + twL(Text8) - 20);
  setWidthTw(Text6, static_cast<int>(W * 0.5));
  setLeftTw(Text6, twL(Command1) + 3000);
  setTopTw(Text6, twT(StatusBar1) + 60);
  setLeftTw(Command1, twL(StatusBar1) + 1560);
  setTopTw(Command1, twT(StatusBar1) + 80);
  if (H > 3500) {
    setHeightTw(rtfEd, H - L - twH(Text7) - 2080);
    if (WindowState() == 2) {
      setTopInside(Text6, H - 720);
      setTopInside(Command1, H - 980);
    }
  }
  for (QWidget* w : std::initializer_list<QWidget*>{MailListView, Text7, Text8, Text9, rtfEd, Text6})
    keepRightInside(w);
  // (the middle box ends where the right-hand one begins, not under it)
  if (Text8->geometry().right() >= Text9->x()) Text8->resize(std::max(0, Text9->x() - Text8->x()), Text8->height());
  // The body ends above the status bar, so that its last line shows (a
  // window too low for any of it keeps the body's height).
  if (rtfEd->y() < StatusBar1->y() && rtfEd->geometry().bottom() >= StatusBar1->y())
    rtfEd->resize(rtfEd->width(), std::max(0, StatusBar1->y() - rtfEd->y()));
  Command1->raise();
  Text6->raise();
  Text4->raise();
}

void TyakuForm::MailListView_ItemClick() {
  Text5->setText(QStringLiteral("1"));
  const int kind = ShownListKind;
  if (kind < 1 || kind > 6) return;
  if (vb::Val(Text2->text()) == 0) {
    seams::MsgBox(QStringLiteral("選択するデータがありません。"), seams::vbOKOnly);
    return;
  }
  QTreeWidgetItem* item = MailListView->currentItem();
  if (!item) return;
  // The row shown is the row highlighted (a Ctrl click may have taken the
  // highlight off it).
  if (!item->isSelected()) {
    MailListView->selectionModel()->select(MailListView->currentIndex(),
                                           QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
  const int n = MailListView->indexOfTopLevelItem(item) + 1;
  records::MailRecord* buffer = records::mailListBuffer(kind);
  records::MailFile file(records::mailListFile(kind));
  if (n < 1 || !buffer || !file.read(n, *buffer)) {
    ShownRow = 0;
    return;
  }
  ShownRow = n;
  Text7->setText(vb::Trim(buffer->Subject));
  Text8->setText(vb::Trim(buffer->FromTo));
  Text9->setText(vb::Trim(buffer->MailDate));
  SetEditorText(rtfEd, vb::Trim(buffer->Body));
  Text11->setText(vb::Trim(buffer->Body));
  setCount(QString::number(MailListView->topLevelItemCount()));
  history::clipboardPass(rtfEd);
}

int TyakuForm::chosenRow() const {
  if (Text5->text().isEmpty() || ShownRow < 1) return 0;
  const QList<QTreeWidgetItem*> highlighted = MailListView->selectedItems();
  if (highlighted.size() != 1) return 0;
  const int row = MailListView->indexOfTopLevelItem(highlighted.front()) + 1;
  return row == ShownRow ? row : 0;
}

void TyakuForm::setCount(const QString& count) {
  {
    const QSignalBlocker block(Text2);
    Text2->setText(count);
  }
  Text2_Change();
}

void TyakuForm::Text2_Change() {
  // The counts as they are, also of a list longer than a list can be (a
  // 16-bit counter would show them wrapped below zero).
  const int received = history::recordCount(records::kReceivedFile);
  LoopCounter = static_cast<std::int16_t>(std::min(received, records::kMaxRecords));
  neighbours::setReceivedCount(QString::number(received));
  const int sent = history::recordCount(records::kSentFile);
  LoopCounter = static_cast<std::int16_t>(std::min(sent, records::kMaxRecords));
  neighbours::setSentCount(QString::number(sent));
  switch (ShownListKind) {
    case 3: ::OpenForm().Text1->setText(Text2->text()); break;
    case 4: ::OpenForm().Text2->setText(Text2->text()); break;
    case 5: ::OpenForm().Text3->setText(Text2->text()); break;
    default: break;
  }
}

void TyakuForm::HScroll1_Change() {
  const int size = HScroll1->value();
  for (QWidget* w : std::initializer_list<QWidget*>{Text4, Text6, Text7, Text8, Text9, Text1}) {
    QFont f = w->font();
    f.setPointSize(size);
    w->setFont(f);
  }
  QFont f = rtfEd->font();
  f.setPointSize(size);
  rtfEd->setFont(f);
  Text10->setText(QString::number(size));
  for (QLineEdit* e : {Text1, Text6}) fitLineHeight(e);
  holdRowsAndALine();
  Form_Resize();
}

void TyakuForm::holdRowsAndALine() {
  // The controls along the top keep their places; below them the window is
  // never made lower than its list, its subject row and one line of the
  // body above the status bar need, at the boxes' font.
  ui::holdControls(this, {Command11, Text2, HScroll1});
  const int extra = ui::tw(menuBar()->sizeHint().height() + ui::frameExtra(this).height());
  const int box = rowBoxHeight(Text7);
  const int line = QFontMetrics(rtfEd->font()).lineSpacing() + 2 * rtfEd->frameWidth() +
                   2 * static_cast<int>(rtfEd->document()->documentMargin());
  int least = client()->minimumHeight();
  auto holds = [&](int scale) {  // the layout's steps at a client height of scale pixels
    const int list = ui::tw(ui::px(static_cast<int>((ui::tw(scale) + extra) * 0.25)));
    const int bodyTop = ui::px(list + 1400 + box - kRowBoxHeight);
    return ui::px(ui::tw(scale) - 375) - bodyTop >= line;
  };
  while (!holds(least)) ++least;
  client()->setMinimumHeight(least);
}

void TyakuForm::hover(QWidget* control) {
  const int H = Height();
  auto showHelp = [this](const QString& text) {
    Text4->show();
    Text4->raise();
    Text4->setPlainText(QString(text).replace(kCrLf, QStringLiteral("\n")));
  };
  if (control == Text1) {
    showHelp(q(kHelpFind));
  } else if (control == Label3) {
    showHelp(q(kHelpAutoClose));
  } else if (control == Text7) {
    Text6->setText(Text7->text());
    setBackColor(Command1, QColor(255, 255, 0));
  } else if (control == Text8) {
    Text6->setText(Text8->text());
    setBackColor(Command1, QColor(0, 0, 255));
  } else if (control == Text9) {
    Text6->setText(Text9->text());
    setBackColor(Command1, QColor(255, 255, 255));
  } else if (control == MailListView) {
    Text4->hide();
    Text4->clear();
    setBackColor(Command1, QColor(128, 128, 128));
    setTopInside(Text6, H - 1020);
    setTopInside(Command1, H - 980);
  } else if (control == rtfEd) {
    Text4->hide();
    setTopInside(Text6, H - 1020);
    setTopInside(Command1, H - 980);
    setBackColor(Command1, QColor(128, 128, 128));
  } else if (control == Command3) {
    showHelp(q(kHelpDeleteOne));
  } else if (control == Command6) {
    showHelp(q(kHelpDeleteAll));
  } else if (control == Command1) {
    showHelp(help1());
  } else if (control == Command11) {
    showHelp(q(kHelpVertical));
  } else if (control == Command2) {
    showHelp(help4());
  } else if (control == Command4) {
    showHelp(q(kHelpAddress));
  } else if (control == Command5) {
    showHelp(q(kHelpReply));
  } else if (control == Command7) {
    showHelp(q(kHelpMove));
  } else if (control == Command8) {
    showHelp(q(kHelpOpenSafe));
  } else if (control == client()) {
    setTopTw(Text6, twT(StatusBar1) + 40);
    setTopTw(Command1, twT(StatusBar1) + 80);
  } else {
    for (int i = 0; i < 4; ++i) {
      if (control != Command10[static_cast<std::size_t>(i)]) continue;
      static const QAbstractSlider::SliderAction actions[4] = {
          QAbstractSlider::SliderSingleStepSub, QAbstractSlider::SliderSingleStepAdd,
          QAbstractSlider::SliderPageStepSub, QAbstractSlider::SliderPageStepAdd};
      rtfEd->verticalScrollBar()->triggerAction(actions[i]);
      showHelp(q(kHelpScroll));
    }
  }
}

QString TyakuForm::headerText() const {
  return QStringLiteral("Subject:  ") + Text7->text() + kCrLf + QStringLiteral("From:  ") + Text8->text() + kCrLf +
         QStringLiteral("Date:  ") + Text9->text() + kCrLf + QStringLiteral("Body:  ") + EditorText(rtfEd);
}

void TyakuForm::tbToolBar_ButtonClick(const QString& key) {
  EditorToolbarCommand(*this, rtfEd, CommonDialog1, key, [] { OpenTyakuText(); }, [this] { SaveAsWithHeader(); });
}

void TyakuForm::SaveAsWithHeader() {
  PutSaveAsHeader(rtfEd, headerText());
  SaveTyakuTextAs();
}

}  // namespace forms
