#include "client/composer/kaoform.h"

#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTextCursor>
#include <QTextEdit>
#include <algorithm>

#include "client/composer/backform.h"
#include "client/composer/writeform.h"
#include "client/history/editorcommands.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

ui::Accessor<forms::KaoForm>& accessor() {
  static ui::Accessor<forms::KaoForm> a;
  return a;
}

constexpr int kClientWidth = 8700;
constexpr int kClientHeight = 7095;
constexpr int kHeadHeight = 300;  // one row of tab heads, in twips

// The tabs: caption, box, file name, and the numbers of the buttons
// "新規作成本文に挿入", "返事を書く本文に挿入", "お気に入りに追加" (0: none),
// "追加（貼付）".
struct TabSpec {
  const char16_t* caption;
  const char* box;
  const char* file;
  int newMail, reply, favourite, paste;
};
constexpr TabSpec kTabSpecs[forms::KaoForm::kTabs] = {
    {u"顔文字", "Kao1", "Kao1.txt", 1, 37, 27, 2},
    {u"飾りライン・抽象画", "Text1", "Text1.txt", 4, 38, 28, 3},
    {u"顔", "Text2", "Text2.txt", 5, 36, 29, 6},
    {u"春夏秋冬、年中行事", "Text3", "Text3.txt", 7, 40, 30, 8},
    {u"干支、星座、その他", "Text4", "Text4.txt", 10, 39, 31, 9},
    {u"乗り物、機械、昆虫、花", "Text5", "Text5.txt", 11, 41, 32, 12},
    {u"飲物、食べ物", "Text6", "Text6.txt", 14, 47, 33, 13},
    {u"衣料、雑貨、ゲーム、スポーツ", "Text7", "Text7.txt", 15, 46, 34, 16},
    {u"SF、場所、音楽", "Text8", "Text8.txt", 18, 45, 35, 17},
    {u"その他", "Text9", "Text9.txt", 19, 43, 25, 20},
    {u"動物、その他", "Text10", "Text10.txt", 22, 42, 26, 21},
    {u"○お気に入り", "Text11", "Text11.txt", 23, 44, 0, 24},
};

const char16_t* const kInstruction =
    u"本文に挿入したい部分をマウスで選択（青色反転）し、「新規作成本文に挿入」をクリック！";
const char16_t* const kNote =
    u"追加・削除、編集自由自在。自動で保存されます。県名や電話番号、氏名をあなた用に変更して下さい。";

// The box's text as it goes to its file: lines ending in CR LF.
QString withCrLf(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
  return text;
}

// The selected text of a box with CR LF line ends.
QString selectedText(const QPlainTextEdit* box) {
  QString s = box->textCursor().selectedText();
  s.replace(QChar(0x2029), QStringLiteral("\r\n"));
  s.replace(QChar(0x2028), QStringLiteral("\r\n"));
  return s;
}

// Replaces the selection of an editor (with nothing selected: inserts at the
// caret); the caret then stands behind the text.
template <class Editor>
void replaceSelection(Editor* editor, const QString& text) {
  QTextCursor c = editor->textCursor();
  c.beginEditBlock();
  c.removeSelectedText();
  c.insertText(text);
  c.endEditBlock();
  editor->setTextCursor(c);
}

}  // namespace

forms::KaoForm& KaoForm() { return accessor()(); }
bool KaoFormLoaded() { return accessor().isLoaded(); }

namespace forms {

// ---------------------------------------------------------------------------
// SSTab

SSTab::SSTab(const QStringList& captions, int tabsPerRow, int headHeightTwips, QWidget* parent)
    : QWidget(parent), group_(new QButtonGroup(this)), perRow_(tabsPerRow), headHeight_(headHeightTwips) {
  group_->setExclusive(true);
  for (int i = 0; i < captions.size(); ++i) {
    auto* p = new QWidget(this);
    p->setObjectName(QStringLiteral("SSTab1_page%1").arg(i));
    p->setVisible(false);
    pages_.push_back(p);
  }
  for (int i = 0; i < captions.size(); ++i) {
    auto* h = new QPushButton(captions.at(i), this);
    h->setObjectName(QStringLiteral("SSTab1_tab%1").arg(i));
    h->setCheckable(true);
    h->setFocusPolicy(Qt::TabFocus);
    group_->addButton(h, i);
    heads_.push_back(h);
  }
  connect(group_, &QButtonGroup::idClicked, this, [this](int id) { setTab(id); });
  setTab(0);
}

void SSTab::setTab(int tab) {
  if (tab < 0 || tab >= Tabs()) return;
  current_ = tab;
  for (int i = 0; i < Tabs(); ++i) pages_[static_cast<std::size_t>(i)]->setVisible(i == tab);
  heads_[static_cast<std::size_t>(tab)]->setChecked(true);
}

QString SSTab::TabCaption(int tab) const { return heads_.at(static_cast<std::size_t>(tab))->text(); }

void SSTab::layoutHeads() {
  const int rows = (Tabs() + perRow_ - 1) / perRow_;
  const int w = width() / perRow_;
  const int h = ui::px(headHeight_);
  for (int i = 0; i < Tabs(); ++i) {
    const int row = i / perRow_;
    const int col = i % perRow_;
    heads_[static_cast<std::size_t>(i)]->setGeometry(col * w, row * h, col == perRow_ - 1 ? width() - col * w : w, h);
    heads_[static_cast<std::size_t>(i)]->raise();
  }
  for (QWidget* p : pages_) p->setGeometry(0, 0, width(), height());
  (void)rows;
}

void SSTab::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  layoutHeads();
}

// ---------------------------------------------------------------------------
// KaoForm

QString KaoForm::loadPath(int tab) {
  return QStringLiteral("\\顔文字データ\\") + QString::fromLatin1(kTabSpecs[tab].file);
}

QString KaoForm::savePath(int tab) {
  // Saved under the lower-case spelling; names match without regard to
  // case, so an existing file keeps its own name.
  QString name = QString::fromLatin1(kTabSpecs[tab].file);
  if (name.startsWith(u'T')) name[0] = u't';
  return QStringLiteral("\\顔文字データ\\") + name;
}

KaoForm::KaoForm() : ui::Form(QStringLiteral("KaoForm")) {
  setCaption(QStringLiteral("絵・顔文字"));
  ui::fixedSingleBorder(this);
  setFixedSize(ui::px(kClientWidth), ui::px(kClientHeight));

  QStringList captions;
  for (const TabSpec& t : kTabSpecs) captions << QString::fromUtf16(t.caption);
  SSTab1 = new SSTab(captions, 3, kHeadHeight, client());
  SSTab1->setObjectName(QStringLiteral("SSTab1"));
  ui::place(SSTab1, 120, 0, 8655, 6735);

  QPushButton* buttons[48] = {};
  auto button = [&](int number, QWidget* page, int left, int top, int width, const QString& caption) {
    QPushButton* b = ui::control<QPushButton>(page, QStringLiteral("Command%1").arg(number), left, top, width, 375,
                                              caption);
    buttons[number] = b;
    return b;
  };
  QPlainTextEdit** boxes[kTabs] = {&Kao1, &Text1, &Text2, &Text3, &Text4, &Text5,
                                   &Text6, &Text7, &Text8, &Text9, &Text10, &Text11};
  const QFont boxFont = ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 10);
  for (int i = 0; i < kTabs; ++i) {
    const TabSpec& t = kTabSpecs[i];
    QWidget* page = SSTab1->page(i);
    const int wide = i == 3 ? 2295 : 2775;
    Page& p = pages_[static_cast<std::size_t>(i)];
    p.newMail = button(t.newMail, page, 240, 1320, wide, QStringLiteral("新規作成本文に挿入"));
    p.paste = button(t.paste, page, 240, 1695, wide, QStringLiteral("追加（貼付）"));
    p.reply = button(t.reply, page, 240 + wide + 105, 1320, 2160, QStringLiteral("返事を書く本文に挿入"));
    if (t.favourite) p.favourite = button(t.favourite, page, 240 + wide + 105, 1695, 2160, QStringLiteral("お気に入りに追加"));
    QLabel* l = ui::control<QLabel>(page, QStringLiteral("Label3_%1").arg(i), 5640, 1320, 2415, 615,
                                    QString::fromUtf16(kInstruction));
    l->setWordWrap(true);
    QFont lf = l->font();
    lf.setPointSizeF(std::min(lf.pointSizeF(), 8.0));
    l->setFont(lf);
    Label3[static_cast<std::size_t>(i)] = l;
    QPlainTextEdit* b = ui::control<QPlainTextEdit>(page, QString::fromLatin1(t.box), 240, i >= 9 ? 2040 : 1980,
                                                    i == 0 ? 8175 : 8055, 4215);
    b->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    b->setLineWrapMode(QPlainTextEdit::NoWrap);
    b->setFont(boxFont);
    p.box = b;
    *boxes[i] = b;

    connect(p.newMail, &QPushButton::clicked, this, [this, i] { InsertIntoNewMail(i); });
    connect(p.reply, &QPushButton::clicked, this, [this, i] { InsertIntoReply(i); });
    if (p.favourite) connect(p.favourite, &QPushButton::clicked, this, [this, i] { AddToFavourites(i); });
    connect(p.paste, &QPushButton::clicked, this, [this, i] { PasteIntoBox(i); });
  }
  QPushButton** named[48] = {nullptr,    &Command1,  &Command2,  &Command3,  &Command4,  &Command5,  &Command6,
                             &Command7,  &Command8,  &Command9,  &Command10, &Command11, &Command12, &Command13,
                             &Command14, &Command15, &Command16, &Command17, &Command18, &Command19, &Command20,
                             &Command21, &Command22, &Command23, &Command24, &Command25, &Command26, &Command27,
                             &Command28, &Command29, &Command30, &Command31, &Command32, &Command33, &Command34,
                             &Command35, &Command36, &Command37, &Command38, &Command39, &Command40, &Command41,
                             &Command42, &Command43, &Command44, &Command45, &Command46, &Command47};
  for (int n = 1; n <= 47; ++n) *named[n] = buttons[n];

  Label4 = ui::control<QLabel>(client(), QStringLiteral("Label4"), 120, 6840, 8175, 255, QString::fromUtf16(kNote));
  QFont nf = Label4->font();
  nf.setPointSizeF(std::min(nf.pointSizeF(), 8.0));
  Label4->setFont(nf);
}

void KaoForm::Form_Load() {
  for (int i = 0; i < kTabs; ++i) {
    Loaded& l = loaded_[static_cast<std::size_t>(i)];
    l = Loaded{};
    const QString path = paths::resolve(loadPath(i));
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = f.readAll();
      l.bytes.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
      f.close();
    } else if (QFileInfo::exists(path)) {
      // Kept as it is at the unload unless the user writes into the box.
      l.unreadable = true;
    }
    QPlainTextEdit* b = box(i);
    b->setPlainText(cp932::decode(l.bytes));
    l.text = b->toPlainText();
  }
  SSTab1->setTab(kTabShownAtLoad);

  // Centred on the screen.
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect area = s->availableGeometry();
    const QSize outer = size() + ui::frameExtra(this);
    move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
  }
}

void KaoForm::Form_Unload(int& cancel) {
  const QStringList failed = saveFiles();
  if (failed.isEmpty()) return;
  // The boxes hold the only copy of the edits: the chooser stays open
  // unless the user gives them up.
  const int answer = seams::MsgBox(QStringLiteral("顔文字データを保存できませんでした。\r\n") +
                                       failed.join(QStringLiteral("、")) + QStringLiteral("\r\n\r\n") +
                                       QStringLiteral("編集した内容を保存せずに閉じますか？"),
                                   seams::vbYesNo | seams::vbExclamation | seams::vbDefaultButton2);
  if (answer != seams::vbYes) cancel = 1;
}

QStringList KaoForm::saveFiles() {
  QStringList failed;
  const QString folder = paths::ensureFolder(QStringLiteral("\\顔文字データ"));
  for (int i = 0; i < kTabs; ++i) {
    const Loaded& l = loaded_[static_cast<std::size_t>(i)];
    const QString text = box(i)->toPlainText();
    const bool unchanged = text == l.text;
    if (unchanged && l.unreadable) continue;  // never replace a file that could not be read by nothing
    // An untouched box goes back as the bytes it was read from.
    const std::string bytes = unchanged ? l.bytes : cp932::encode(withCrLf(text));
    const QString path = paths::resolve(savePath(i));
    if (folder.isEmpty() || !WriteWholeFile(path, bytes)) failed << QFileInfo(path).fileName();
  }
  return failed;
}

QString KaoForm::takeSelection(int tab) {
  QPlainTextEdit* b = box(tab);
  QTextCursor c = b->textCursor();
  const int end = c.hasSelection() ? c.selectionEnd() : 0;
  const QString selected = c.hasSelection() ? selectedText(b) : QString();
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(selected);
  c.setPosition(end);
  b->setTextCursor(c);
  b->setFocus();
  // The text to insert is the selection itself, whatever became of the
  // clipboard.
  return vb::Trim(selected);
}

void KaoForm::InsertIntoNewMail(int tab) {
  const QString text = takeSelection(tab);
  replaceSelection(::WriteForm().rtfEd, text);
  Unload();
}

void KaoForm::InsertIntoReply(int tab) {
  const QString text = takeSelection(tab);
  replaceSelection(::BackForm().rtfEd, text);
  Unload();
}

void KaoForm::AddToFavourites(int tab) {
  const QString text = takeSelection(tab);
  replaceSelection(Text11, text);
}

void KaoForm::PasteIntoBox(int tab) {
  replaceSelection(box(tab), vb::Trim(QApplication::clipboard()->text()));
}

}  // namespace forms
