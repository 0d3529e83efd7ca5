// The settings window (SetForm): its tabs "迷惑", "サーバー設定" and
// "ID,PASS", loaded hidden at start-up; its controls are the live settings.

#include "client/mainwindow/setform.h"

#include <optional>
#include <utility>

#include "client/mainwindow/gekitaiform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mainform.h"
#include "client/mainwindow/playsound.h"
#include "client/mainwindow/settings.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace {

// Characters of a value that the server file gives back at the next start.
constexpr int kServerValueChars = 100;

ui::Accessor<forms::SetForm>& setFormAccessor() {
  static ui::Accessor<forms::SetForm> a;
  return a;
}

// The number a box holds: the whole text, blanks around it allowed; nullopt
// when the text is not a number.
std::optional<double> numberIn(const QString& text) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return std::nullopt;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok) return std::nullopt;
  return v;
}

QLabel* label(QWidget* parent, const QString& name, const QString& text, int left, int top, int width,
              int height, bool wrap = false) {
  QLabel* l = ui::control<QLabel>(parent, name, left, top, width, height, text);
  l->setWordWrap(wrap);
  l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return l;
}

// A check box drawn as a bare box; its text is a label beside it.
QCheckBox* bareBox(QWidget* parent, const QString& name, int left, int top) {
  return ui::control<QCheckBox>(parent, name, left, top, 255, 255);
}

QFrame* tabFrame(QTabWidget* tabs, const QString& name, const QString& caption) {
  QWidget* page = new QWidget;
  page->setObjectName(name + QStringLiteral("_page"));
  tabs->addTab(page, caption);
  QFrame* f = ui::control<QFrame>(page, name, 90, 90, 6960, 4710);
  f->setFrameShape(QFrame::StyledPanel);
  f->setFrameShadow(QFrame::Sunken);
  return f;
}

}  // namespace

namespace forms {

SetForm::SetForm() : ui::Form(QStringLiteral("SetForm")) {
  setCaption(QStringLiteral("設定"));
  Move(1500, 1500, 7560, 6060);
  setFixedSize(size());

  SSTab1 = ui::control<QTabWidget>(client(), QStringLiteral("SSTab1"), 120, 120, 7200, 5370);
  Frame1 = tabFrame(SSTab1, QStringLiteral("Frame1"), QStringLiteral("迷惑"));
  Frame2 = tabFrame(SSTab1, QStringLiteral("Frame2"), QStringLiteral("サーバー設定"));
  Frame3 = tabFrame(SSTab1, QStringLiteral("Frame3"), QStringLiteral("ID,PASS"));

  // Tab "迷惑".
  Check4 = bareBox(Frame1, QStringLiteral("Check4"), 240, 270);
  Label1 = label(Frame1, QStringLiteral("Label1"),
                 QStringLiteral("タスクトレイに常駐させてメールの自動チェックをさせている場合、新着メールがあればメイン画面"
                                "表示を行う。             （HELP参照）。"),
                 600, 240, 6120, 750, true);
  Text6 = ui::control<QLineEdit>(Frame1, QStringLiteral("Text6"), 240, 1170, 735, 330);
  Text6->setText(QStringLiteral("0"));
  Label2 = label(Frame1, QStringLiteral("Label2"), QStringLiteral("分間隔でメールチェックを行う。"), 1080, 1230, 4200,
                 255);
  Label3 = label(Frame1, QStringLiteral("Label3"),
                 QStringLiteral("１以上の数値を入力すると自動的にその数値間隔でメールチェックを開始します。（分単位）"), 240,
                 1620, 6480, 510, true);
  Command4 = ui::control<QPushButton>(Frame1, QStringLiteral("Command4"), 240, 2280, 2760, 450,
                                      QStringLiteral("Spam/迷惑メール撃退"));
  Check1 = bareBox(Frame1, QStringLiteral("Check1"), 240, 3030);
  Label4 = label(Frame1, QStringLiteral("Label4"), QStringLiteral("送信履歴を残さない"), 600, 3030, 6120, 255);
  Check2 = bareBox(Frame1, QStringLiteral("Check2"), 240, 3540);
  Label5 = label(Frame1, QStringLiteral("Label5"),
                 QStringLiteral("受信（新着メールのチェック）の後、自動で電話回線の切断を行う）"), 600, 3540, 6120, 255);

  // Tab "サーバー設定".
  Label6 = label(Frame2, QStringLiteral("Label6"), QStringLiteral("SMTPサーバー名(&S)"), 240, 330, 2280, 255);
  SmtpText = ui::control<QLineEdit>(Frame2, QStringLiteral("SmtpText"), 2580, 270, 4140, 330);
  Label7 = label(Frame2, QStringLiteral("Label7"), QStringLiteral("POP3サーバー名(&P)"), 240, 810, 2280, 255);
  Pop3Text = ui::control<QLineEdit>(Frame2, QStringLiteral("Pop3Text"), 2580, 750, 4140, 330);
  Label8 = label(Frame2, QStringLiteral("Label8"), QStringLiteral("メールアドレス(&M)"), 240, 1290, 2280, 255);
  MailText = ui::control<QLineEdit>(Frame2, QStringLiteral("MailText"), 2580, 1230, 4140, 330);
  Label6->setBuddy(SmtpText);
  Label7->setBuddy(Pop3Text);
  Label8->setBuddy(MailText);
  ApopCheck = ui::control<QCheckBox>(Frame2, QStringLiteral("ApopCheck"), 240, 1830, 5400, 330,
                                     QStringLiteral("ユーザー認証でAPOP を使用する(&A)"));
  OkCommand = ui::control<QPushButton>(Frame2, QStringLiteral("OkCommand"), 3480, 2700, 1500, 450,
                                       QStringLiteral("設定"));
  CancelCommand = ui::control<QPushButton>(Frame2, QStringLiteral("CancelCommand"), 5160, 2700, 1500, 450,
                                           QStringLiteral("中止"));

  // Tab "ID,PASS".
  Label9 = label(Frame3, QStringLiteral("Label9"), QStringLiteral("ID"), 240, 300, 1200, 255);
  IdText = ui::control<QLineEdit>(Frame3, QStringLiteral("IdText"), 1500, 240, 3240, 330);
  Label10 = label(Frame3, QStringLiteral("Label10"), QStringLiteral("Password"), 240, 780, 1200, 255);
  PassText = ui::control<QLineEdit>(Frame3, QStringLiteral("PassText"), 1500, 720, 3240, 330);
  PassText->setEchoMode(QLineEdit::Password);
  PassText->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  Check3 = bareBox(Frame3, QStringLiteral("Check3"), 1500, 1260);
  Label11 = label(Frame3, QStringLiteral("Label11"), QStringLiteral("IDパスワードを保存する"), 1860, 1260, 2880, 255);
  Command6 = ui::control<QPushButton>(Frame3, QStringLiteral("Command6"), 5040, 240, 1500, 450, QStringLiteral("OK"));
  Command5 = ui::control<QPushButton>(Frame3, QStringLiteral("Command5"), 5040, 780, 1500, 450,
                                      QStringLiteral("Cansel"));
  Label12 = label(Frame3, QStringLiteral("Label12"), QStringLiteral("VIP設定（メールアドレス）"), 240, 1830, 4500, 255);
  Text3 = ui::control<QLineEdit>(Frame3, QStringLiteral("Text3"), 240, 2100, 6480, 330);
  Label13 = label(Frame3, QStringLiteral("Label13"),
                  QStringLiteral("この空白に任意の文字を入力しますと、相手のFrom欄に表示されます。必要ない場合は入力しなくても"
                                 "結構です。"),
                  240, 2610, 6480, 510, true);
  Label14 = label(Frame3, QStringLiteral("Label14"),
                  QStringLiteral("例）　taro@example.ne.jp　→　山田太郎<taro@example.ne.jp>"), 240, 3150, 6480, 255);
  Text2 = ui::control<QLineEdit>(Frame3, QStringLiteral("Text2"), 240, 3450, 6480, 330);

  // Every box whose text goes into a settings file takes only what one line
  // of it can hold, and says so when it refuses an input. The server file's
  // values have no byte limit: a long one is kept and told of by "設定".
  for (QLineEdit* t : {IdText, PassText, Text3, Text2, Text6}) settings::guardEntry(t);
  for (QLineEdit* t : {SmtpText, Pop3Text, MailText}) settings::guardEntry(t, 0);

  connect(OkCommand, &QPushButton::clicked, this, [this] { OkCommand_Click(); });
  connect(CancelCommand, &QPushButton::clicked, this, [this] { CancelCommand_Click(); });
  connect(Command4, &QPushButton::clicked, this, [this] { Command4_Click(); });
  connect(Command5, &QPushButton::clicked, this, [this] { Command5_Click(); });
  connect(Command6, &QPushButton::clicked, this, [this] { Command6_Click(); });
  // As the classic click of a check box, the rule runs on every change of
  // the state, by the user or by code.
  connect(Check2, &QCheckBox::toggled, this, [this] { Check2_Click(); });
  connect(Text2, &QLineEdit::textChanged, this, [this] { Text2_Change(); });
  connect(Text6, &QLineEdit::textChanged, this, [this] { Text6_Change(); });
}

void SetForm::Form_Load() {
  IdText->setText(settings::readAccountText(settings::idkey::UserId));
  PassText->setText(settings::readAccountText(settings::idkey::Password));
  Text2->setText(settings::readText(settings::key::SenderDisplayText));
  SmtpText->setText(SmtpServer);
  Pop3Text->setText(PopServer);
  MailText->setText(FromAddress);
  ApopCheck->setChecked(UseApop != 0);
  Text3->setText(settings::readText(settings::key::VipAddress));
  Check1->setChecked(settings::readSwitch(settings::key::NoSentHistory, Check1->isChecked() ? 1 : 0) == 1);
  Check2->setChecked(settings::readSwitch(settings::key::HangUpAfterCheck, Check2->isChecked() ? 1 : 0) == 1);
  Text6->setText(QString::number(settings::readNumber(settings::key::CheckInterval)));
  const auto minutes = numberIn(Text6->text());
  if (minutes && *minutes > 0) Check2->setEnabled(false);
  if (Check2->isChecked()) Text6->setEnabled(false);
  // Both switched on in the file: the hang-up box stays usable, so that
  // clearing it frees the interval box again.
  if (!Check2->isEnabled() && !Text6->isEnabled()) Check2->setEnabled(true);
  Check4->setChecked(settings::readSwitch(settings::key::ShowOnNewMail, Check4->isChecked() ? 1 : 0) == 1);
}

void SetForm::Form_Unload(int& cancel) {
  (void)cancel;
  StopSound();
  // A value that could not be written (a read-only settings file keeps what
  // it holds) is told of, unless the file gives it back already (a missing
  // key reads as empty, a missing number as 0).
  QStringList lost;
  auto keep = [&lost](const char* key, const QString& value, const QString& name, const QString& missing) {
    if (settings::writeText(key, value)) return;
    if (settings::storedText(key).value_or(missing) == value) return;
    lost << name;
  };
  const QString zero = QStringLiteral("0");
  auto flag = [](const QCheckBox* b) { return b->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); };
  keep(settings::key::SenderDisplayText, Text2->text(), QStringLiteral("From欄の表示"), QString());
  keep(settings::key::NoSentHistory, flag(Check1), QStringLiteral("送信履歴を残さない"), zero);
  keep(settings::key::HangUpAfterCheck, flag(Check2), QStringLiteral("電話回線の切断"), zero);
  keep(settings::key::CheckInterval, Text6->text(), QStringLiteral("メールチェックの間隔"), zero);
  keep(settings::key::ShowOnNewMail, flag(Check4), QStringLiteral("メイン画面表示"), zero);
  keep(settings::key::VipAddress, Text3->text(), QStringLiteral("VIP設定"), QString());
  if (!lost.isEmpty())
    seams::MsgBox(QStringLiteral("次の設定を保存できませんでした。（ini.ini）\r\n") + lost.join(QStringLiteral("、")) +
                      QStringLiteral("\r\n次回の起動時には前の値のままです。"),
                  seams::vbExclamation);
}

void SetForm::OkCommand_Click() {
  // A value that one line of the server file cannot hold is not taken: a
  // line break would put a line of its own into the file (a second "POP3="
  // that the next start reads). The boxes refuse such input; a text the
  // program put there is caught here.
  const std::pair<QLineEdit*, QString> boxes[] = {{SmtpText, QStringLiteral("SMTPサーバー名")},
                                                  {Pop3Text, QStringLiteral("POP3サーバー名")},
                                                  {MailText, QStringLiteral("メールアドレス")}};
  for (const auto& [box, name] : boxes) {
    const QString why = settings::unstorableReason(box->text());
    if (why.isEmpty()) continue;
    seams::MsgBox(QStringLiteral("%1：%2\r\nサーバー設定は保存していません。").arg(name, why), seams::vbExclamation);
    box->setFocus();
    return;
  }
  SmtpServer = SmtpText->text();
  PopServer = Pop3Text->text();
  FromAddress = MailText->text();
  UseApop = ApopCheck->isChecked() ? 1 : 0;
  const bool saved = settings::saveServerSettings();
  // The own address the composers send with takes the new address now.
  if (MainFormLoaded()) ::MainForm().Text8->setText(MailText->text());
  if (!saved) {
    seams::MsgBox(QStringLiteral("サーバー設定を保存できませんでした。（xqmail.ini）"), seams::vbExclamation);
    return;
  }
  // The server file gives back at most kServerValueChars characters of a
  // value at the next start.
  QStringList longOnes;
  if (vb::Len(SmtpText->text()) > kServerValueChars) longOnes << QStringLiteral("SMTPサーバー名");
  if (vb::Len(Pop3Text->text()) > kServerValueChars) longOnes << QStringLiteral("POP3サーバー名");
  if (vb::Len(MailText->text()) > kServerValueChars) longOnes << QStringLiteral("メールアドレス");
  if (!longOnes.isEmpty())
    seams::MsgBox(longOnes.join(QStringLiteral("、")) +
                      QStringLiteral("が100文字を超えています。\r\n次回の起動時には先頭の100文字だけが読み込まれます。"),
                  seams::vbExclamation);
}

void SetForm::CancelCommand_Click() { Unload(); }

void SetForm::Command5_Click() { Unload(); }

void SetForm::Command6_Click() {
  UserId = IdText->text();
  UserPassword = PassText->text();
  if (Check3->isChecked()) {
    const bool ok = settings::writeAccountText(settings::idkey::UserId, IdText->text()) &&
                    settings::writeAccountText(settings::idkey::Password, PassText->text()) &&
                    settings::writeAccountText(settings::idkey::SaveFlag, QStringLiteral("1"));
    if (!ok)
      seams::MsgBox(QStringLiteral("IDとパスワードを保存できませんでした。（iniIdPass.ini）"), seams::vbExclamation);
  } else {
    settings::writeAccountText(settings::idkey::SaveFlag, QStringLiteral("0"));
  }
}

void SetForm::Command4_Click() { ::GekitaiForm().Show(); }

void SetForm::Check2_Click() {
  if (Check2->isChecked()) {
    Text6->setEnabled(false);
  } else {
    Text6->setEnabled(true);
    // The interval box is free again; a running interval keeps the hang-up
    // box locked as typing it would.
    const auto n = numberIn(Text6->text());
    if (n && *n > 0) Check2->setEnabled(false);
  }
}

void SetForm::Text6_Change() {
  if (Text6->text().isEmpty()) {
    Text6->setText(QStringLiteral("0"));
    return;
  }
  const auto n = numberIn(Text6->text());
  if (!n) return;
  if (*n > 0) Check2->setEnabled(false);
  else if (*n == 0) Check2->setEnabled(true);
}

// The main window is loaded for as long as the client runs; only a window
// opened on its own (as in the tests) finds it missing and leaves it so.
void SetForm::Text2_Change() {
  if (MainFormLoaded()) ::MainForm().Text7->setText(Text2->text());
}

}  // namespace forms

forms::SetForm& SetForm() { return setFormAccessor()(); }

bool SetFormLoaded() { return setFormAccessor().isLoaded(); }
