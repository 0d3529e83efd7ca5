#include "client/composer/ccform.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>

#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailrecord.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/settings.h"
#include "client/tools/helpform.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

ui::Accessor<forms::CcForm>& accessor() {
  static ui::Accessor<forms::CcForm> a;
  return a;
}

constexpr int kClientWidth = 5535;
constexpr int kClientHeight = 5415;

// The help box: in view over the lower part of the window, or far above it.
constexpr int kHelpLeft = 120;
constexpr int kHelpTopShown = 2640;
constexpr int kHelpTopHidden = -4000;
constexpr int kHelpWidth = 5295;
constexpr int kHelpHeight = 2175;

const char16_t* const kHelpClear = u"Ccとして送信設定したメールアドレスをクリアします。";
const char16_t* const kHelpAdd =
    u"手動入力の際、上の空白にメールアドレスを入力し、このボタンをクリックして下さい。リストに表示されます。"
    u"リストに表示されたメールアドレス全てにCcとし送信されます。";
const char16_t* const kHelpCancel = u"Cc送信を中止します。";
const char16_t* const kHelpSwitch = u"この画面での説明の表示・非表示の切り替えを行います。";

QString labelHelp() {
  return QStringLiteral(
             "●「手動で入力」：上から２行目の欄にメールアドレスを入力し、「リストに追加」をクリックします。"
             "Cc送信したいすべてのメールアドレスが入力されたら、新規作成画面の「送信ボタン」をクリックして下さい。") +
         QStringLiteral("\r\n") +
         QStringLiteral("●「アドレス帳から入力」：「新規作成画面」のアドレス帳から、Cc送信したいアドレスをクリックで選択します。") +
         QStringLiteral("\r\n") +
         QStringLiteral("Cc送信したいメールアドレスが選択されたら、新規作成画面で「送信ボタン」をクリックして下さい。") +
         QStringLiteral("\r\n\r\n") +
         QStringLiteral(
             "注意：新規作成画面の「宛先」には入力しません。入力にはカンマ等をつける必要はありません。"
             "送信ボタンをクリックするまではこの画面を消去しないで下さい。設定がクリアされます（通信エラーの原因となります）。"
             "送信完了後、この画面は自動で消去されます。");
}

// Marks every record of the Cc list deleted and compacts the file, which
// leaves it empty. False after a message when the file could not be
// rewritten; the addresses then stay as they were, flags included.
bool emptyCcFile() {
  records::CcAddressFile file(records::kCcListFile);
  const int m = file.count();
  bool ok = m >= 0 && file.removeAll();
  if (ok && m > 0) CurrentRecordNo = static_cast<std::int16_t>(m);
  if (!ok)
    seams::MsgBox(QStringLiteral("Cc送信のアドレスを消去できませんでした。\r\n") + file.errorText(),
                  seams::vbExclamation);
  return ok;
}

}  // namespace

forms::CcForm& CcForm() { return accessor()(); }
bool CcFormLoaded() { return accessor().isLoaded(); }

namespace forms {

CcForm::CcForm() : ui::Form(QStringLiteral("CcForm")) {
  setCaption(QStringLiteral("Cc;（カーボンコピー）送信"));
  // Always on top of the other windows, the composer included.
  setWindowFlag(Qt::WindowStaysOnTopHint, true);

  msousa = menuBar()->addMenu(QStringLiteral("操作(&S)"));
  msousa->setObjectName(QStringLiteral("msousa"));
  mnutuika = msousa->addAction(QStringLiteral("リストに追加"));
  mnutuika->setObjectName(QStringLiteral("mnutuika"));
  msousa->addSeparator();
  mclire = msousa->addAction(QStringLiteral("リストクリア"));
  mclire->setObjectName(QStringLiteral("mclire"));
  mtorikeshi = msousa->addAction(QStringLiteral("取り消し（画面消去）"));
  mtorikeshi->setObjectName(QStringLiteral("mtorikeshi"));
  mnuhelp = menuBar()->addMenu(QStringLiteral("HELP(&H)"));
  mnuhelp->setObjectName(QStringLiteral("mnuhelp"));
  mnutorisetu = mnuhelp->addAction(QStringLiteral("取り扱い説明"));
  mnutorisetu->setObjectName(QStringLiteral("mnutorisetu"));

  move(ui::px(9900), ui::px(1500));
  resize(ui::px(kClientWidth), ui::px(kClientHeight) + menuBar()->sizeHint().height());

  QWidget* c = client();
  Label3 = ui::control<QLabel>(c, QStringLiteral("Label3"), 120, 120, 5295, 255,
                               QStringLiteral("手動で入力が選択されました。"));
  Text5 = ui::control<QLineEdit>(c, QStringLiteral("Text5"), 120, 420, 5295, 330);
  Frame1 = ui::control<QGroupBox>(c, QStringLiteral("Frame1"), 120, 840, 1560, 735, QStringLiteral("手動入力"));
  Command2 = ui::control<QPushButton>(Frame1, QStringLiteral("Command2"), 120, 270, 1320, 375,
                                      QStringLiteral("リストに追加"));
  Frame2 = ui::control<QGroupBox>(c, QStringLiteral("Frame2"), 1800, 840, 3615, 735,
                                  QStringLiteral("手動・アドレス帳、共通"));
  Command1 = ui::control<QPushButton>(Frame2, QStringLiteral("Command1"), 120, 270, 1320, 375,
                                      QStringLiteral("リストクリア"));
  Command3 = ui::control<QPushButton>(Frame2, QStringLiteral("Command3"), 1500, 270, 2040, 375,
                                      QStringLiteral("取り消し（画面消去）"));
  List3 = ui::control<QListWidget>(c, QStringLiteral("List3"), 120, 1680, 3855, 3255);
  Label1[1] = ui::control<QLabel>(c, QStringLiteral("Label1_1"), 4080, 1695, 600, 255, QStringLiteral("件数"));
  Text3 = ui::control<QLineEdit>(c, QStringLiteral("Text3"), 4680, 1650, 735, 330);
  Text2 = ui::control<QLineEdit>(c, QStringLiteral("Text2"), 4080, 2100, 1335, 330);
  Label2 = ui::control<QLabel>(c, QStringLiteral("Label2"), 120, 5010, 5295, 315);
  Label2->setFrameShape(QFrame::StyledPanel);
  Check1 = ui::control<QCheckBox>(c, QStringLiteral("Check1"), 240, 5040, 255, 255);
  Label1[0] = ui::control<QLabel>(c, QStringLiteral("Label1_0"), 540, 5040, 2400, 255,
                                  QStringLiteral("簡単操作説明表示"));
  Text1 = ui::control<QPlainTextEdit>(c, QStringLiteral("Text1"), kHelpLeft, kHelpTopShown, kHelpWidth, kHelpHeight);
  Text1->setReadOnly(true);
  Text1->setVisible(false);
  Text1->raise();

  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Command2, &QPushButton::clicked, this, [this] { Command2_Click(); });
  connect(Command3, &QPushButton::clicked, this, [this] { Command3_Click(); });
  // The menu adds also while the button is disabled.
  connect(mnutuika, &QAction::triggered, this, [this] { Command2_Click(); });
  connect(mclire, &QAction::triggered, this, [this] { Command1_Click(); });
  connect(mtorikeshi, &QAction::triggered, this, [this] { Command3_Click(); });
  connect(mnutorisetu, &QAction::triggered, this, [] { ::HelpForm().Show(); });

  auto* help = new ui::Hover(this, [this](QWidget* control) { hover(control); });
  help->watch({c, Command1, Command2, Command3, Label1[0], Label1[1], Label2, List3});
  help->watch(List3->viewport(), List3);
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void CcForm::Form_Load() {
  Check1->setChecked(settings::readSwitch(settings::key::CcHelpSwitch, Check1->isChecked() ? 1 : 0) == 1);
  MultiSendMode = 1;
  // The list starts empty, and so must the file: the send takes the
  // addresses by their record numbers, so records an earlier run left
  // behind (a program ended while this window was open) would be sent to
  // in place of the addresses listed here.
  records::CcAddressFile file(records::kCcListFile);
  if (file.count() > 0) emptyCcFile();

  // Beside the composer, whose address pane the user clicks in; where the
  // screen has no room beside it (the composer maximised), over the lower
  // right of its body, clear of its menus, boxes, buttons and pane.
  if (WriteFormLoaded()) {
    const forms::WriteForm& w = ::WriteForm();
    ui::placeBeside(this, &w, QRect(w.rtfEd->mapToGlobal(QPoint(0, 0)), w.rtfEd->size()));
  }
}

bool CcForm::StoreTypedCcAddress(int n) {
  CcAddressRec.Address = vb::Trim(Text5->text());
  CcAddressRec.Live = 1;
  records::CcAddressFile file(records::kCcListFile);
  if (file.write(n, CcAddressRec)) return true;
  seams::MsgBox(QStringLiteral("Cc送信のアドレスを保存できませんでした。\r\n") + file.errorText(), seams::vbExclamation);
  return false;
}

void CcForm::Command2_Click() {
  // An address with a character Shift-JIS cannot hold would be stored, and
  // mailed, with "?" in its place.
  if (!composer::addressCanGo(vb::Trim(Text5->text()), QStringLiteral("アドレス"))) {
    Text5->setFocus();
    return;
  }
  List3->addItem(vb::Trim(Text5->text()));
  MultiSendMode = 1;
  records::CcAddressFile file(records::kCcListFile);
  const int count = file.count();
  const int n = count + 1;
  bool ok = false;
  if (count < 0)
    seams::MsgBox(QStringLiteral("Cc送信のアドレスを保存できませんでした。\r\n") + file.errorText(), seams::vbExclamation);
  else if (n > records::kMaxRecords)
    seams::MsgBox(QStringLiteral("これ以上追加できません。"), seams::vbExclamation);
  else
    ok = StoreTypedCcAddress(n);
  if (!ok) {
    // The list and the file must stay in step: the send reads row i's
    // address from record i.
    delete List3->takeItem(List3->count() - 1);
    return;
  }
  CurrentRecordNo = static_cast<std::int16_t>(n);
  Text3->setText(QString::number(List3->count()));
  Text5->clear();
  Text5->setFocus();
}

bool CcForm::KeepOnly(const QStringList& addresses) {
  List3->clear();
  Text3->clear();
  if (!emptyCcFile()) return false;
  records::CcAddressFile file(records::kCcListFile);
  for (const QString& a : addresses) {
    CcAddressRec.Address = a;
    CcAddressRec.Live = 1;
    const int n = List3->count() + 1;
    if (!file.write(n, CcAddressRec)) {
      seams::MsgBox(QStringLiteral("Cc送信のアドレスを保存できませんでした。\r\n") + file.errorText(),
                    seams::vbExclamation);
      return false;
    }
    List3->addItem(a);
    CurrentRecordNo = static_cast<std::int16_t>(n);
  }
  Text3->setText(QString::number(List3->count()));
  return true;
}

void CcForm::Command1_Click() {
  // A file that could not be emptied keeps its addresses: the list keeps
  // showing them, in step with the records the send reads.
  if (!emptyCcFile()) return;
  List3->clear();
  Text3->clear();
}

void CcForm::Command3_Click() { Unload(); }

void CcForm::Form_Unload(int&) {
  // The composer gets its To box and its pane back (a composer that is
  // not loaded starts with both as designed).
  if (WriteFormLoaded()) {
    forms::WriteForm& w = ::WriteForm();
    const QColor white(255, 255, 255);
    w.ToText->setProperty("backColor", white);
    QPalette p = w.ToText->palette();
    p.setColor(QPalette::Base, white);
    w.ToText->setPalette(p);
    w.ToText->clear();
    w.ToText->setEnabled(true);
    w.List1->setEnabled(true);
  }
  Command1_Click();
  settings::writeNumber(settings::key::CcHelpSwitch, Check1->isChecked() ? 1 : 0);
  MultiSendMode = 0;
}

void CcForm::placeHelpBySwitch() {
  ui::place(Text1, kHelpLeft, Check1->isChecked() ? kHelpTopShown : kHelpTopHidden, kHelpWidth, kHelpHeight);
}

void CcForm::showHelp(const QString& text) { ui::showFitted(Text1, text); }

void CcForm::hover(QWidget* control) {
  if (control == Command1 || control == Command2 || control == Command3 || control == Label1[0] ||
      control == Label1[1]) {
    placeHelpBySwitch();
    showHelp(control == Command1   ? QString::fromUtf16(kHelpClear)
             : control == Command2 ? QString::fromUtf16(kHelpAdd)
             : control == Command3 ? QString::fromUtf16(kHelpCancel)
                                   : labelHelp());
  } else if (control == Label2) {
    showHelp(QString::fromUtf16(kHelpSwitch));  // the box stays where it last was
  } else if (control == client() || control == List3) {
    Text1->setVisible(false);
  }
}

}  // namespace forms
