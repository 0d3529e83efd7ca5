#include "client/composer/backform.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextEdit>
#include <QToolBar>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "client/composer/backparts.h"
#include "client/composer/composer.h"
#include "client/composer/composerhelp.h"
#include "client/composer/kaoform.h"
#include "client/history/editorcommands.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/settings.h"
#include "client/tools/helpform.h"
#include "nmail/nmail.h"
#include "platform/codepage.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

std::int16_t BackAttachListToggleCount = 0;

namespace {

const QString kCrLf = QStringLiteral("\r\n");

// Design size of the client area in twips.
constexpr int kDesignScaleWidth = 9600;
constexpr int kDesignScaleHeight = 7800;
// Smallest kept size that is taken as it is (a smaller one, or none, gives the design size).
constexpr int kSmallestKeptSize = 1500;
// The rows of boxes below the send buttons, and the held-reply pane.
constexpr int kFirstRowTop = 800;
constexpr int kRowBoxHeight = 330;
constexpr int kRowGap = 20;
constexpr int kLeastBoxWidth = 1000;
constexpr int kPaneTop = 390;
constexpr int kPlaceholderTop = 800;
constexpr int kPaneGap = 60;
// Buffer of the mail library's message text.
constexpr int kMessageBufferSize = 8192;

ui::Accessor<forms::BackForm>& accessor() {
  static ui::Accessor<forms::BackForm> a;
  return a;
}

QString q(const char16_t* s) { return QString::fromUtf16(s); }

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int l, int t, int w, int h,
                    const QColor& back) {
  auto* b = ui::button(parent, name, caption, l, t, w, h);
  backparts::setBackColor(b, back);
  return b;
}

using ui::label;

using ui::setHeightTw, ui::setLeftTw, ui::setTopTw, ui::setWidthTw, ui::twH, ui::twL, ui::twT, ui::twW;

// ---- hover texts ----
const char16_t* const kHelpSend = u"送信して来た相手にメールを返信します。";
using composerhelp::kHelpHold;
using composerhelp::kHelpStop;
const char16_t* const kHelpRecall = composerhelp::kHelpRecallHeld;
const char16_t* const kHelpDelete = composerhelp::kHelpDeleteHeld;
const char16_t* const kHelpAttach = u"各種ファイルを添付して送信できます。";
using composerhelp::kHelpAdd;
using composerhelp::kHelpList;
using composerhelp::helpFaceMarks;

// The main window's hover-help switch: 1 on, 0 off, anything else (also no
// main window) leaves the help box where it is.
int hoverHelpSwitch() {
  if (!MainFormLoaded()) return -1;
  const Qt::CheckState s = ::MainForm().Check1->checkState();
  return s == Qt::Checked ? 1 : s == Qt::Unchecked ? 0 : 2;
}

// The main window's date-time text (refreshed every second); the clock's
// text in the same form while there is no main window.
QString mailDateText() {
  if (MainFormLoaded()) return ::MainForm().Text2->text();
  return seams::dateTimeText(seams::now());
}

// A text for the mail library: CP932 bytes ended by a NUL (std::string's own).
std::string libraryText(const QString& s) { return cp932::encode(s); }


}  // namespace

forms::BackForm& BackForm() { return accessor()(); }
bool BackFormLoaded() { return accessor().isLoaded(); }

namespace backparts {

void setBackColor(QWidget* w, const QColor& c) { ui::setBackColor(w, c); }

QString clipboardPass(const QString& text) {
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(text);
  // The text goes on as it was put: a clipboard that another program took
  // over in between, or one that is not available, must not change the reply.
  return text;
}

QString bufferText(const QPlainTextEdit* box) {
  QString s = box->toPlainText();
  s.replace(QLatin1Char('\n'), kCrLf);
  return s;
}

void setBufferText(QPlainTextEdit* box, const QString& text) {
  QString s = text;
  s.replace(kCrLf, QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  box->setPlainText(s);
}

}  // namespace backparts

namespace forms {

BackForm::BackForm() : ui::Form(QStringLiteral("BackForm")) {
  setCaption(QStringLiteral("返事を書く"));
  QWidget* c = client();
  CommonDialog1.setOwner(this);
  AttachCommonDialog.setOwner(this);

  buildToolbar();
  Label1 = label(c, QStringLiteral("Label1"), QStringLiteral("文字Size"), 4520, 90, 620, 255);
  Label1->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 8));
  Text10 = ui::control<QLineEdit>(c, QStringLiteral("Text10"), 5140, 45, 375, 300);
  Text10->setReadOnly(true);
  HScroll1 = ui::control<QScrollBar>(c, QStringLiteral("HScroll1"), 5530, 70, 780, 255, Qt::Horizontal);
  HScroll1->setRange(8, 24);
  HScroll1->setValue(8);
  Command12 = button(c, QStringLiteral("Command12"), QStringLiteral("HELP"), 6330, 30, 560, 330, QColor(192, 192, 192));

  Command2 = button(c, QStringLiteral("Command2"), QStringLiteral("送信"), 0, 420, 800, 330, QColor(128, 128, 255));
  Command3 = button(c, QStringLiteral("Command3"), QStringLiteral("送信中止"), 800, 420, 950, 330, QColor(255, 0, 0));
  Command13 = button(c, QStringLiteral("Command13"), QStringLiteral("後で送信（保留）"), 1750, 420, 1550, 330,
                     QColor(192, 192, 255));
  Command14 = button(c, QStringLiteral("Command14"), QStringLiteral("保留分の呼出"), 3300, 420, 1250, 330,
                     QColor(255, 128, 255));
  Command15 = button(c, QStringLiteral("Command15"), QStringLiteral("保留分の削除"), 4550, 420, 1250, 330,
                     QColor(128, 255, 128));
  Command1 = button(c, QStringLiteral("Command1"), QStringLiteral("顔・絵文字"), 5800, 420, 1100, 330,
                    QColor(192, 192, 192));

  static const char16_t* const rowCaptions[3] = {u"宛先", u"題名", u"添付File"};
  for (int i = 0; i < 3; ++i) {
    QLabel* p = label(c, QStringLiteral("Picture2_%1").arg(i), q(rowCaptions[i]), 0, 800 + 350 * i, 900, 330);
    p->setProperty("Index", i);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    p->setAlignment(Qt::AlignCenter);
    backparts::setBackColor(p, QColor(224, 224, 224));
    Picture2[static_cast<std::size_t>(i)] = p;
  }
  ToText = ui::control<QLineEdit>(c, QStringLiteral("ToText"), 900, 800, 5760, 330);
  SubjectText = ui::control<QLineEdit>(c, QStringLiteral("SubjectText"), 900, 1150, 5760, 330);
  AttachText = ui::control<QLineEdit>(c, QStringLiteral("AttachText"), 900, 1500, 2800, 330);
  AttachCommand = button(c, QStringLiteral("AttachCommand"), QStringLiteral("添付"), 3700, 1500, 700, 330,
                         QColor(224, 224, 224));
  Command9 = button(c, QStringLiteral("Command9"), QStringLiteral("追加"), 4400, 1500, 700, 330, QColor(192, 192, 192));
  Command10 = button(c, QStringLiteral("Command10"), QStringLiteral("取り消し"), 5100, 1500, 900, 330,
                     QColor(255, 0, 0));
  Command6 = button(c, QStringLiteral("Command6"), QStringLiteral("リスト"), 6000, 1500, 700, 330, QColor(192, 192, 192));

  rtfEd = ui::control<QTextEdit>(c, QStringLiteral("rtfEd"), 0, 1870, kDesignScaleWidth, 5500);
  rtfEd->setAcceptRichText(false);
  rtfEd->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 11.25));

  List2 = ui::control<QListWidget>(c, QStringLiteral("List2"), 900, 1850, 2800, 1200);

  Text3 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text3"), 1080, 2600, 4575, 2775);
  Text3->setReadOnly(true);
  backparts::setBackColor(Text3, QColor(192, 255, 192));

  // Held-reply pane and its placeholder.
  Picture3 = ui::control<QFrame>(c, QStringLiteral("Picture3"), 6900, 800, 2640, 900);
  Picture3->setFrameShape(QFrame::Panel);
  Picture3->setFrameShadow(QFrame::Sunken);
  Label3 = label(Picture3, QStringLiteral("Label3"), QStringLiteral("ここに「保留」のメールリストが表示されます"), 60,
                 60, 2520, 780);
  Label3->setWordWrap(true);
  // Only a placeholder: the attachment row's buttons that reach into it at
  // narrow widths stay on top and take their clicks.
  Picture3->lower();
  Picture5 = ui::control<QFrame>(c, QStringLiteral("Picture5"), 6900, 390, 2640, 6200);
  Picture5->setFrameShape(QFrame::Panel);
  Picture5->setFrameShadow(QFrame::Raised);
  backparts::setBackColor(Picture5, QColor(224, 224, 224));
  Command18 = button(Picture5, QStringLiteral("Command18"), QStringLiteral("画面大"), 60, 60, 840, 300,
                     QColor(192, 192, 192));
  Command17 = button(Picture5, QStringLiteral("Command17"), QStringLiteral("画面小"), 900, 60, 840, 300,
                     QColor(192, 192, 192));
  Command16 = button(Picture5, QStringLiteral("Command16"), QStringLiteral("消去"), 1740, 60, 840, 300,
                     QColor(192, 192, 192));
  Label2 = label(Picture5, QStringLiteral("Label2"), QStringLiteral("保留メール"), 120, 450, 1100, 255);
  Label4 = label(Picture5, QStringLiteral("Label4"), QStringLiteral("件数"), 1420, 450, 450, 255);
  Text1 = ui::control<QLineEdit>(Picture5, QStringLiteral("Text1"), 1880, 420, 640, 300);
  Text1->setReadOnly(true);
  List1 = ui::control<QListWidget>(Picture5, QStringLiteral("List1"), 120, 780, 2400, 6200 - 1100);
  List1->setSelectionMode(QAbstractItemView::SingleSelection);
  List1->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 9));

  // Hidden boxes.
  Text2 = ui::control<QLineEdit>(c, QStringLiteral("Text2"), 9720, 420, 375, 300);
  Text2->hide();
  Text4 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text4"), 9720, 800, 375, 300);
  Text4->hide();

  StatusBar1 = new QStatusBar(c);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusPanel = new QLabel(QStringLiteral("返事を書くでは、送信履歴を残しません。"), StatusBar1);
  StatusPanel->setObjectName(QStringLiteral("StatusBar1_Panel1"));
  StatusPanel->setToolTip(StatusPanel->text());
  StatusBar1->addWidget(StatusPanel, 1);
  ui::place(StatusBar1, 0, kDesignScaleHeight - 375, kDesignScaleWidth, 375);

  buildMenus();

  connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  connect(Command13, &QPushButton::clicked, this, [this] { Command13_Click(); });
  connect(Command14, &QPushButton::clicked, this, [this] { Command14_Click(); });
  connect(Command15, &QPushButton::clicked, this, [this] { Command15_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command12, &QPushButton::clicked, this, [this] { Command12_Click(); });
  connect(AttachCommand, &QPushButton::clicked, this, [this] { AttachCommand_Click(); });
  connect(Command9, &QPushButton::clicked, this, [this] { Command9_Click(); });
  connect(Command10, &QPushButton::clicked, this, [this] { Command10_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  connect(Command18, &QPushButton::clicked, this, [this] { Command18_Click(); });
  connect(Command17, &QPushButton::clicked, this, [this] { Command17_Click(); });
  connect(Command16, &QPushButton::clicked, this, [this] { Command16_Click(); });
  connect(List1, &QListWidget::currentRowChanged, this, [this](int row) {
    if (filling_ || row < 0) return;
    // A mouse press makes the row current before it selects it: the click
    // acts on the row pressed.
    if (QListWidgetItem* item = List1->item(row)) item->setSelected(true);
    List1_Click();
  });

  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({c, Command2, Command3, Command13, Command14, Command15, AttachCommand, Command9, Command6, Command1});
  help->watch(rtfEd->viewport(), rtfEd);
  // Captions a little wider than their controls at the fonts installed here
  // take a smaller size, so that they show whole.
  ui::fitLabel(Label1);
  // The rows of buttons along the top keep their places at every size: the
  // window is never made narrower than they need.
  ui::holdControls(this, {Command12, Command1});
}

void BackForm::buildToolbar() {
  tbToolBar = BuildEditorToolbar(*this, 4500, [this](const QString& key) { tbToolBar_ButtonClick(key); });
}

void BackForm::buildMenus() {
  auto add = [](QMenu* m, const char* name, const QString& caption) {
    QAction* a = m->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  auto menu = [this](const char* name, const QString& caption) {
    QMenu* m = menuBar()->addMenu(caption);
    m->setObjectName(QString::fromLatin1(name));
    return m;
  };
  mFile = menu("mFile", QStringLiteral("ファイル(&F)"));
  mnew = add(mFile, "mnew", QStringLiteral("新規作成"));
  mopen = add(mFile, "mopen", QStringLiteral("開く"));
  msave = add(mFile, "msave", QStringLiteral("名前を付けて保存"));
  mprint = add(mFile, "mprint", QStringLiteral("印刷"));
  mFile->addSeparator();
  mend = add(mFile, "mend", QStringLiteral("終了"));
  medit = menu("medit", QStringLiteral("編集"));
  mall = add(medit, "mall", QStringLiteral("全て選択"));
  matamajump = add(medit, "matamajump", QStringLiteral("文頭へジャンプ"));
  mbunmatujump = add(medit, "mbunmatujump", QStringLiteral("文末へジャンプ"));
  medit->addSeparator();
  mcut = add(medit, "mcut", QStringLiteral("切り取り"));
  mcopy = add(medit, "mcopy", QStringLiteral("コピー"));
  mpaste = add(medit, "mpaste", QStringLiteral("貼り付け"));
  mmain = menu("mmain", QStringLiteral("Main(&M)"));
  msoshin = add(mmain, "msoshin", QStringLiteral("送信"));
  mstop = add(mmain, "mstop", QStringLiteral("送信中止"));
  mnusub = menu("mnusub", QStringLiteral("Sub(&S)"));
  mnukao = add(mnusub, "mnukao", QStringLiteral("顔・絵文字"));
  mnusub->addSeparator();
  mnuato = add(mnusub, "mnuato", QStringLiteral("後で送信"));
  mnuhoryu = add(mnusub, "mnuhoryu", QStringLiteral("保留分呼出"));
  mnusakujyo = add(mnusub, "mnusakujyo", QStringLiteral("保留分削除"));
  mnusub->addSeparator();
  mnudai = add(mnusub, "mnudai", QStringLiteral("画面大"));
  mnusyou = add(mnusub, "mnusyou", QStringLiteral("画面小"));
  mnukesu = add(mnusub, "mnukesu", QStringLiteral("消去"));

  BindEditorMenuItems(*this, rtfEd, CommonDialog1,
                      {mnew, mprint, mall, matamajump, mbunmatujump, mcut, mcopy, mpaste});
  connect(mopen, &QAction::triggered, this, [] { OpenBackText(); });
  connect(msave, &QAction::triggered, this, [this] { SaveAsWithHeader(QStringLiteral("to:")); });
  connect(mend, &QAction::triggered, this, [this] { mend_Click(); });
  connect(msoshin, &QAction::triggered, this, [this] { Command2_Click(); });
  connect(mstop, &QAction::triggered, this, [this] { Command3_Click(); });
  connect(mnukao, &QAction::triggered, this, [this] { Command1_Click(); });
  connect(mnuato, &QAction::triggered, this, [this] { Command13_Click(); });
  connect(mnuhoryu, &QAction::triggered, this, [this] { Command14_Click(); });
  connect(mnusakujyo, &QAction::triggered, this, [this] { Command15_Click(); });
  connect(mnudai, &QAction::triggered, this, [this] { mnudai_Click(); });
  connect(mnusyou, &QAction::triggered, this, [this] { mnusyou_Click(); });
  connect(mnukesu, &QAction::triggered, this, [this] { Command16_Click(); });
}

void BackForm::hover(QWidget* control) {
  auto show = [this](const QString& text) {
    backparts::setBufferText(Text3, text);
    ui::showFitted(Text3, Text3->toPlainText());
    Text3->raise();
  };
  if (control == client() || control == rtfEd) Text3->hide();
  else if (control == Command2) show(q(kHelpSend));
  else if (control == Command3) show(q(kHelpStop));
  else if (control == Command13) show(q(kHelpHold));
  else if (control == Command14) show(q(kHelpRecall));
  else if (control == Command15) show(q(kHelpDelete));
  else if (control == AttachCommand) show(q(kHelpAttach));
  else if (control == Command9) show(q(kHelpAdd));
  else if (control == Command6) show(q(kHelpList));
  else if (control == Command1) show(helpFaceMarks());
}

void BackForm::Form_Load() {
  // 1. Help box, pane, attachment box and list.
  Text3->hide();
  Picture5->hide();
  setHeightTw(Picture5, 6200);
  setWidthTw(AttachText, 2800);
  List2->hide();

  // 2. The font size. The bar takes 8 to 24; a kept size outside that range
  // (nothing kept reads 0) is brought into it, and the box shows the bar's
  // value then. A size equal to the bar's value changes nothing.
  Text10->setText(QString::number(settings::readNumber(settings::key::BackFontSize)));
  const double kept = vb::Val(Text10->text());
  HScroll1->setValue(static_cast<int>(std::clamp(kept, 8.0, 24.0)));
  if (kept != HScroll1->value()) Text10->setText(QString::number(HScroll1->value()));

  // 3. The size kept from the last closing; none (or one too small to use)
  // gives the design size.
  const int w = settings::readNumber(settings::key::BackWidth);
  const int h = settings::readNumber(settings::key::BackHeight);
  const QSize extra = ui::frameExtra(this);
  const int menuHeight = menuBar()->sizeHint().height();
  setWidth(w >= kSmallestKeptSize ? w : kDesignScaleWidth + ui::tw(extra.width()));
  setHeight(h >= kSmallestKeptSize ? h : kDesignScaleHeight + ui::tw(extra.height() + menuHeight));

  // 4. The body passes once through the clipboard.
  SetEditorText(rtfEd, vb::Trim(backparts::clipboardPass(EditorText(rtfEd))));

  // 5. The help box in view or out of sight, by the main window's switch.
  switch (hoverHelpSwitch()) {
    case 1: setTopTw(Text3, 2600); break;
    case 0: setTopTw(Text3, -4000); break;
    default: break;
  }
  Form_Resize();
}

void BackForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  setWidthTw(rtfEd, W - 130);
  setWidthTw(ToText, static_cast<int>(W * 0.6));
  setWidthTw(SubjectText, static_cast<int>(W * 0.6));
  setWidthTw(AttachText, static_cast<int>(W * 0.35));
  QLabel* attachLabel = Picture2[2];
  setLeftTw(AttachText, twL(attachLabel) + twW(attachLabel));
  QWidget* previous = AttachText;
  for (QWidget* b : std::initializer_list<QWidget*>{AttachCommand, Command9, Command10, Command6}) {
    setLeftTw(b, twL(previous) + twW(previous));
    previous = b;
  }
  ui::place(StatusBar1, 0, std::max(0, ScaleHeight() - 375), ScaleWidth(), 375);
  if (H > 3500) {
    setHeightTw(rtfEd, H - twH(tbToolBar) - twH(ToText) - twH(SubjectText) - twH(AttachText) - 2000);
    const int paneLeft = W - twW(List1) - 420;
    setLeftTw(Picture3, paneLeft);
    setLeftTw(Picture5, paneLeft);
    setTopTw(Picture5, kPaneTop);
    setHeightTw(Picture5, H - 1200);
    setHeightTw(List1, twH(Picture5) - 1100);
  }
  keepRowsClearOfThePane();
  Picture5->raise();
  Text3->raise();
}

void BackForm::fitTextRows() {
  // The To and subject rows grow with their font so that the boxes show the
  // text whole; the attachment row, its list and the body move down by as
  // much.
  const int box = std::max(kRowBoxHeight, ui::tw(QFontMetrics(ToText->font()).height() + 8));
  int top = kFirstRowTop;
  QWidget* const rows[3][6] = {{Picture2[0], ToText},
                               {Picture2[1], SubjectText},
                               {Picture2[2], AttachText, AttachCommand, Command9, Command10, Command6}};
  for (int i = 0; i < 3; ++i) {
    const int h = i < 2 ? box : kRowBoxHeight;
    for (QWidget* w : rows[i]) {
      if (!w) continue;
      setTopTw(w, top);
      setHeightTw(w, h);
    }
    top += h + kRowGap;
  }
  setTopTw(List2, top);
  const int bottom = twT(rtfEd) + twH(rtfEd);
  setTopTw(rtfEd, top + kRowGap);
  setHeightTw(rtfEd, std::max(0, bottom - twT(rtfEd)));
}

void BackForm::keepRowsClearOfThePane() {
  // The boxes of the rows end before the held-reply pane's column (and its
  // placeholder's), not narrower than a least width; the attachment row's
  // buttons follow their box.
  const int column = twL(Picture5) - kPaneGap;
  for (QWidget* b : {static_cast<QWidget*>(ToText), static_cast<QWidget*>(SubjectText)})
    setWidthTw(b, std::max(kLeastBoxWidth, std::min(twW(b), column - twL(b))));
  const int buttons = twW(AttachCommand) + twW(Command9) + twW(Command10) + twW(Command6);
  setWidthTw(AttachText, std::max(kLeastBoxWidth, std::min(twW(AttachText), column - twL(AttachText) - buttons)));
  QWidget* previous = AttachText;
  for (QWidget* b : std::initializer_list<QWidget*>{AttachCommand, Command9, Command10, Command6}) {
    setLeftTw(b, twL(previous) + twW(previous));
    previous = b;
  }
  // What reaches into the column even so (a narrow window) keeps the pane
  // below it, so that no button or box lies under the pane.
  int top = kPaneTop;
  for (QWidget* w : std::initializer_list<QWidget*>{Command12, HScroll1, Command2, Command3, Command13, Command14,
                                                    Command15, Command1, ToText, SubjectText, AttachText,
                                                    AttachCommand, Command9, Command10, Command6})
    if (twL(w) + twW(w) > twL(Picture5)) top = std::max(top, twT(w) + twH(w) + kRowGap);
  // The pane's lower edge stays where it was.
  if (top != twT(Picture5)) {
    const int bottom = twT(Picture5) + twH(Picture5);
    setTopTw(Picture5, top);
    setHeightTw(Picture5, std::max(1750, bottom - top));
    setHeightTw(List1, std::max(0, twH(Picture5) - 1100));
  }
  setTopTw(Picture3, std::max(kPlaceholderTop, top));
  // Pushed down beside the body, the placeholder lies over it as the pane
  // does, not under it.
  if (Picture3->geometry().intersects(rtfEd->geometry())) Picture3->stackUnder(Picture5);
  else Picture3->lower();
}

void BackForm::Form_Unload(int& cancel) {
  (void)cancel;
  rtfEd->clear();
  settings::writeText(settings::key::BackFontSize, Text10->text());
  settings::writeNumber(settings::key::BackWidth, Width());
  settings::writeNumber(settings::key::BackHeight, Height());
}

void BackForm::HScroll1_Change() {
  const int size = HScroll1->value();
  for (QWidget* w : std::initializer_list<QWidget*>{ToText, SubjectText, rtfEd}) {
    QFont f = w->font();
    f.setPointSize(size);
    w->setFont(f);
  }
  Text10->setText(QString::number(size));
  fitTextRows();
  keepRowsClearOfThePane();
}

void BackForm::Command2_Click() {
  // An address typed with a character Shift-JIS cannot hold would go to
  // another address; subject and body would lose such characters.
  if (!composer::addressCanGo(ToText->text(), QStringLiteral("宛先"))) return;
  if (!composer::textMayLoseCharacters(SubjectText->text() + EditorText(rtfEd), QStringLiteral("送信"))) return;
  // 1. The body passes through the clipboard and the plain-text buffer.
  backparts::setBufferText(Text4, backparts::clipboardPass(EditorText(rtfEd)));
  SetEditorText(rtfEd, backparts::clipboardPass(backparts::bufferText(Text4)));

  // 2.-3. One call, nothing tested beforehand.
  const std::string server = libraryText(SmtpServer);
  const std::string to = libraryText(ToText->text());
  const std::string from = libraryText(FromAddress);
  const std::string subject = libraryText(SubjectText->text());
  const std::string body = libraryText(EditorText(rtfEd));
  const std::string attachments = composer::attachmentArgument(AttachText->text());
  QApplication::setOverrideCursor(Qt::WaitCursor);
  // The window answers while the mail goes, but takes no click meanwhile.
  std::optional<mailwait::SendingWindow> busy(std::in_place, this);
  const int result = NMailSmtpSendMail(server.c_str(), to.c_str(), nullptr, nullptr, from.c_str(), subject.c_str(),
                                       body.c_str(), nullptr, attachments.c_str(), 0);
  busy.reset();
  QApplication::restoreOverrideCursor();

  // 4. A failure shows the library's text. The reply stays in the window
  // (and the viewer stays open), so that it can be sent again or held.
  if (static_cast<std::int16_t>(result) < 0) {
    std::vector<char> buffer(kMessageBufferSize, '\0');
    int size = kMessageBufferSize;
    NMailGetMessage(0, buffer.data(), size);
    buffer.back() = '\0';
    seams::MsgBox(TrimAtNull(cp932::decode(buffer.data())), seams::vbOKOnly, QStringLiteral("送信エラー"));
    return;
  }

  // 5. The viewer closes itself after a reply when its switch is ticked.
  if (TyakuFormLoaded() && ::TyakuForm().Check1->isChecked()) ::TyakuForm().Unload();
  // 6. This window closes.
  Unload();
}

void BackForm::Command3_Click() { Unload(); }

void BackForm::Command18_Click() { setHeightTw(Picture5, 6200); }
void BackForm::Command17_Click() { setHeightTw(Picture5, 1750); }

void BackForm::Command16_Click() {
  Picture5->hide();
  Picture3->show();
}

void BackForm::mnudai_Click() {
  Picture5->show();
  Picture3->hide();
  Command18_Click();
}

void BackForm::mnusyou_Click() {
  Picture5->show();
  Picture3->hide();
  Command17_Click();
}

void BackForm::Command1_Click() {
  ::KaoForm().Show();
}

void BackForm::Command12_Click() { ::HelpForm().Show(); }

void BackForm::mend_Click() { ui::endAtOnce(); }

void BackForm::tbToolBar_ButtonClick(const QString& key) {
  EditorToolbarCommand(*this, rtfEd, CommonDialog1, key, [] { OpenBackText(); }, [this] { SaveAsWithHeader(QStringLiteral("To:")); });
}

void BackForm::SaveAsWithHeader(const QString& headerWord) {
  const QString header = QStringLiteral("Subject:  ") + SubjectText->text() + kCrLf + headerWord +
                         QStringLiteral("  ") + ToText->text() + kCrLf + QStringLiteral("Date:  ") + mailDateText() +
                         kCrLf + QStringLiteral("Body:  ") + EditorText(rtfEd);
  PutSaveAsHeader(rtfEd, header);
  SaveBackTextAs();
}

}  // namespace forms
