// The composer's send road: one library call per recipient, a sent-list
// record for each turn, the fortune slips, and the three send modes.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>

#include <string>
#include <vector>

#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/composer/writeformparts.h"
#include "client/composer/writeneighbours.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/mailwait.h"
#include "client/mainwindow/recordfile.h"
#include "client/mainwindow/settings.h"
#include "nmail/nmail.h"
#include "platform/codepage.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

using namespace writeform;

namespace {

const QString kSending = QStringLiteral("メールを送信中です。しばらくお待ち下さい。");
const QString kSent = QStringLiteral("送信完了です。");
const QString kNotSent = QStringLiteral("送信できなかったメールがあります。");
constexpr int kMessageBufferSize = 8192;

// Removes the blanks at the end of a text (the padding of a record field).
QString trimRight(const QString& s) {
  qsizetype n = s.size();
  while (n > 0 && s[n - 1] == QLatin1Char(' ')) --n;
  return s.left(n);
}

// Shows text at once; a status that already shows it is left as it is
// (the mails of a run each set it again).
void showStatus(QLabel* label, const QString& text) {
  if (label->text() == text) return;
  label->setText(text);
  label->repaint();
}

// The sent list's record count (file length / record length), 0 when it
// cannot be read.
int sentCount() {
  records::MailFile f(records::kSentFile);
  const int n = f.count();
  return n < 0 ? 0 : n;
}

// Sends one mail on the run's SMTP session; true when the server took it,
// else the library's message text in a "送信エラー" box.
bool sendOne(int session, const QString& to, const QString& subject, const QString& body, const QString& attachments) {
  const std::string toBytes = cp932::encode(to);
  const std::string from = cp932::encode(FromAddress);
  const std::string subjectBytes = cp932::encode(subject);
  const std::string bodyBytes = cp932::encode(body);
  const std::string attachBytes = composer::attachmentArgument(attachments);
  int result = session;  // a session that could not be opened: its failure
  if (session >= 0)
    result = NMailSmtpSessionSendMail(session, toBytes.c_str(), nullptr, nullptr, from.c_str(), subjectBytes.c_str(),
                                      bodyBytes.c_str(), nullptr, attachBytes.c_str(), 0);
  if (static_cast<std::int16_t>(result) >= 0) return true;
  std::string buffer(kMessageBufferSize, '\0');
  int size = kMessageBufferSize;
  NMailGetMessage(0, buffer.data(), size);
  const QString message = TrimAtNull(cp932::decode(std::string_view(buffer.data(), buffer.size())));
  seams::MsgBox(message, seams::vbOKOnly, QStringLiteral("送信エラー"));
  return false;
}

// The addresses of a list as lines (an empty address shown as such).
QString addressLines(const QStringList& addresses) {
  QString out;
  for (const QString& a : addresses) out += kCrLf + QStringLiteral("　") + (a.isEmpty() ? QStringLiteral("（宛先なし）") : a);
  return out;
}

// The main window's sent counter from the sent list (created when missing).
void updateSentCounter() {
  records::MailFile f(records::kSentFile);
  f.open();
  writeneighbours::setSentCount(QString::number(sentCount()));  // as it is, never wrapped
}

}  // namespace

namespace forms {

bool WriteForm::RecordSentMail(std::int16_t n) {
  SentMailRec.Subject = vb::Trim(SubjectText->text());
  SentMailRec.FromTo = vb::Trim(ToText->text());
  SentMailRec.MailDate = writeneighbours::dateTimeText();
  SentMailRec.Body = vb::Trim(EditorText(rtfEd));
  SentMailRec.Live = 1;
  SentMailRec.LineEnd = records::kCrLf;
  records::MailFile f(records::kSentFile);
  if (f.write(n, SentMailRec)) return true;
  seams::MsgBox(QStringLiteral("送信履歴を保存できませんでした。") + kCrLf + f.errorText(), seams::vbExclamation);
  return false;
}

void WriteForm::Command1_Click() {
  const bool toAll = Option2->isChecked();
  const bool toCcList = !toAll && MultiSendMode == 1;
  // An address typed with a character Shift-JIS cannot hold would go to
  // another address; subject and body would lose such characters.
  if (!toAll && !toCcList && !composer::addressCanGo(ToText->text(), QStringLiteral("宛先"))) return;
  if (!composer::textMayLoseCharacters(SubjectText->text() + EditorText(rtfEd), QStringLiteral("送信"))) return;

  // 1. Status and the attachment controls (given back as they were when a
  // mail stays in the composer).
  const bool attachWas = AttachCommand->isEnabled(), anotherWas = Command9->isEnabled(),
             clearWas = Command10->isEnabled(), listWas = !List2->isHidden();
  // The window answers while the mails go, but takes no click meanwhile.
  mailwait::SendingWindow busy(this);
  Command9->setEnabled(false);
  List2->hide();
  AttachCommand->setEnabled(true);
  showStatus(Label7, kSending);

  // 2. The recipients: every address-book entry, every Cc-list entry, or
  // the one typed into the To box. Send to all goes to the whole address
  // book, whatever the pane lists at this moment; after a send that reached
  // only some of them, to those not reached yet.
  std::vector<QString> recipients;
  if (toAll && unsentToAll_) {
    recipients = *unsentToAll_;
  } else if (toAll) {
    std::vector<records::AddressRecord> book;
    records::AddressFile(records::kAddressBookFile).readAll(book);
    for (const records::AddressRecord& a : book) {
      AddressRec = a;
      recipients.push_back(trimRight(a.Address));
    }
  } else if (toCcList) {
    // The Cc list on show: the window's rows, which are the last records
    // of its file (records an earlier run left in front of them are not
    // on show and get no mail).
    std::vector<records::CcAddressRecord> ccList;
    records::CcAddressFile(records::kCcListFile).readAll(ccList);
    const int shown = std::min(writeneighbours::ccListCount(), static_cast<int>(ccList.size()));
    for (auto it = ccList.end() - shown; it != ccList.end(); ++it) {
      CcAddressRec = *it;
      recipients.push_back(trimRight(it->Address));
    }
  } else {
    recipients.push_back(ToText->text());
  }
  const int turns = static_cast<int>(recipients.size());

  const QString typedTo = ToText->text();
  const QString subject = SubjectText->text();
  const QString attachments = AttachText->text();
  // Every mail of the run goes through one SMTP session.
  const std::string server = cp932::encode(SmtpServer);
  const int session = turns > 0 ? NMailSmtpOpenSession(server.c_str()) : -1;
  bool seeded = false;
  QStringList sent, unsent;
  for (int i = 1; i <= turns; ++i) {
    const QString to = recipients[static_cast<std::size_t>(i - 1)];
    if (toAll || toCcList) ToText->setText(to);
    showStatus(Label7, kSending);
    const int noHistory = settings::readNumber(settings::key::NoSentHistory);
    if (noHistory == 1 || noHistory == 0) writeneighbours::setNoSentHistory(noHistory == 1);

    // Each mail of the run draws its own fortune (the generator is seeded
    // from the clock once per send, so that quick turns do not repeat a draw).
    QString body = EditorText(rtfEd);
    if (Check1->isChecked()) {
      if (!seeded) seams::Randomize();
      seeded = true;
      const int k = static_cast<int>(seams::Rnd() * 12 + 1);
      body += composer::fortuneBlock(std::clamp(k, 1, 12));
    }

    const QString own = writeneighbours::ownAddress();
    FromAddress = writeneighbours::senderDisplayText().isEmpty()
                      ? own
                      : writeneighbours::displayText() + QStringLiteral("<") + own + QStringLiteral(">");

    if (!sendOne(session, to, subject, body, attachments)) {
      unsent << to;
      continue;
    }
    sent << to;
    // The sent list keeps each mail the server took, as written, without
    // its fortune slip.
    if (noHistory == 0) {
      const int next = sentCount() + 1;
      if (next > records::kMaxRecords) {
        // (a record number past the last a list holds would wrap)
        seams::MsgBox(QStringLiteral("送信履歴を保存できませんでした。") + kCrLf +
                          QStringLiteral("送信履歴のメールが %1 件に達しています。").arg(records::kMaxRecords),
                      seams::vbExclamation);
      } else {
        const auto n = static_cast<std::int16_t>(next);
        if (RecordSentMail(n)) CurrentRecordNo = n;
      }
    }
  }
  if (session >= 0) NMailSmtpCloseSession(session);

  // A mail that did not go stays in the composer, to be sent again or held,
  // with its attachments and their buttons as they were. Of a run to many,
  // only the recipients not reached stay to be sent to: the user is told
  // which got the mail and which did not.
  if (!unsent.isEmpty()) {
    ToText->setText(typedTo);
    AttachCommand->setEnabled(attachWas);
    Command9->setEnabled(anotherWas);
    Command10->setEnabled(clearWas);
    List2->setVisible(listWas);
    if (listWas) List2->raise();
    Label7->setText(kNotSent);
    updateSentCounter();
    if (toAll || toCcList) {
      if (toAll) unsentToAll_ = std::vector<QString>(unsent.begin(), unsent.end());
      else writeneighbours::ccKeepOnly(unsent);
      seams::MsgBox(QStringLiteral("送信できた宛先（%1件）:").arg(sent.size()) + addressLines(sent) + kCrLf + kCrLf +
                        QStringLiteral("送信できなかった宛先（%1件）:").arg(unsent.size()) + addressLines(unsent) +
                        kCrLf + kCrLf +
                        QStringLiteral("もう一度「送信」を押すと、送信できなかった宛先にだけ送信します。"),
                    seams::vbExclamation);
    }
    return;
  }
  unsentToAll_.reset();

  // 4. Done: the composer empties itself.
  Label7->setText(kSent);
  ToText->clear();
  SubjectText->clear();
  SetEditorText(rtfEd, QString());
  AttachText->clear();
  Check1->setChecked(false);
  setOption2(false);
  Command2->hide();

  // 5. The main window's sent counter.
  updateSentCounter();

  // 6. to 7. The Cc window goes (its unload empties the Cc list), then the composer.
  if (MultiSendMode == 1) writeneighbours::ccUnload();
  Unload();
}

void WriteForm::Option1_Click() {
  unsentToAll_.reset();
  ToText->clear();
  setBackColor(ToText, white());
  ToText->setEnabled(true);
  setBackColor(List1, white());
}

void WriteForm::Option2_Click() {
  unsentToAll_.reset();
  ToText->clear();
  ToText->setEnabled(false);
  setBackColor(ToText, multiModeToColor());
  setBackColor(List1, qb(2));
  const int answer = seams::MsgBox(QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。") +
                                       kCrLf + kCrLf + QStringLiteral("件名、本文入力完了後、送信ボタンをクリックして下さい。"),
                                   seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認"));
  if (answer == seams::vbYes) return;
  setBackColor(List1, white());
  setBackColor(ToText, white());
  setOption2(false);
}

void WriteForm::Label5_Click() {
  unsentToAll_.reset();
  MultiSendMode = 1;
  writeneighbours::ccShowTyped();
  List1->setEnabled(false);
  ToText->clear();
  ToText->setEnabled(false);
  setBackColor(ToText, multiModeToColor());
  setOption2(false);
}

void WriteForm::Label6_Click() {
  unsentToAll_.reset();
  MultiSendMode = 1;
  Command4_Click();
  writeneighbours::ccShowFromBook();
  List1->setEnabled(true);
  ToText->clear();
  ToText->setEnabled(false);
  setBackColor(ToText, multiModeToColor());
  setOption2(false);
}

}  // namespace forms
