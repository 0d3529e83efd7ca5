#include "client/composer/composer.h"

#include <QLineEdit>
#include <QSet>
#include <QTextEdit>

#include "client/history/editorcommands.h"
#include "platform/codepage.h"
#include "platform/seams.h"

std::int16_t MultiSendMode = 0;
std::int16_t PaneToggleCount = 0;
std::int16_t AttachListToggleCount = 0;

namespace composer {

std::string attachmentArgument(const QString& paths) { return paths.toUtf8().toStdString(); }

QString charactersCp932Lacks(const QString& text) {
  QString out;
  QSet<char32_t> seen;
  for (char32_t c : text.toUcs4()) {
    const QString one = QString::fromUcs4(&c, 1);
    if (seen.contains(c) || cp932::canEncode(one)) continue;
    seen.insert(c);
    out += one;
  }
  return out;
}

bool addressCanGo(const QString& address, const QString& what) {
  const QString lacking = charactersCp932Lacks(address);
  if (lacking.isEmpty()) return true;
  seams::MsgBox(what + QStringLiteral("にShift-JISで送れない文字が含まれています（") + lacking +
                    QStringLiteral("）。\r\nその文字を除いてから入力して下さい。"),
                seams::vbExclamation);
  return false;
}

bool textMayLoseCharacters(const QString& texts, const QString& verb) {
  const QString lacking = charactersCp932Lacks(texts);
  if (lacking.isEmpty()) return true;
  return seams::MsgBox(QStringLiteral("宛先・件名・本文に、Shift-JISにない文字があります。") + verb +
                           QStringLiteral("すると、次の文字は「?」に置き換わります。\r\n\r\n") + lacking +
                           QStringLiteral("\r\n\r\nこのまま") + verb + QStringLiteral("しますか？"),
                       seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) == seams::vbYes;
}

void replaceUndoably(QLineEdit* box, const QString& text) {
  if (box->text() != text) {
    box->selectAll();
    box->insert(text);
  }
  box->setModified(false);  // a recalled text is kept in its file
}

void replaceUndoably(QTextEdit* box, const QString& text) {
  ReplaceAllUndoably(box, text);
  // A recalled text is kept in its file: nothing of the user's is unsaved
  // (an Undo back to the typed text makes it so again).
  box->document()->setModified(false);
}

bool wouldReplace(QLineEdit* to, QLineEdit* subject, QTextEdit* body, const QString* newTo,
                  const QString* newSubject, const QString* newBody) {
  // Only what the user typed or pasted counts: a text the program put there
  // (a recalled mail, a picked address) is kept in its file.
  auto differs = [](const QLineEdit* box, const QString* next) {
    return next && box->isModified() && !box->text().isEmpty() && box->text() != *next;
  };
  bool bodyDiffers = false;
  if (newBody && body->document()->isModified() && !body->toPlainText().isEmpty()) {
    QString nextBody = *newBody;
    nextBody.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    nextBody.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    bodyDiffers = body->toPlainText() != nextBody;
  }
  return differs(to, newTo) || differs(subject, newSubject) || bodyDiffers;
}

bool mayReplaceTypedText(bool toOnly) {
  const QString question =
      toOnly ? QStringLiteral("入力中の宛先を、呼び出したアドレスで置き換えます。よろしいですか？")
             : QStringLiteral("入力中の宛先・件名・本文を、呼び出した内容で置き換えます。よろしいですか？");
  return seams::MsgBox(question, seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) == seams::vbYes;
}

}  // namespace composer
