#pragma once
// Test helpers around the seams: message boxes and file dialogs recorded and
// answered as the test says, "end at once" turned into an exception (and
// counted), the handlers put back to non-blocking answers afterwards, every
// loaded window thrown away, and a few file and text helpers the window
// tests share. Knows no particular window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QString>
#include <deque>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/seams.h"
#include "platform/ui.h"

// Readable QString values in test failures.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace seamtest {

using Answer = int (*)(const seams::MsgBoxCall&);

// Yes to a Yes / No question, OK to anything else.
inline int yesOrOk(const seams::MsgBoxCall& c) {
  return (c.buttons & 7) == seams::vbYesNo ? int(seams::vbYes) : int(seams::vbOK);
}
// Yes to a Yes / No or Yes / No / Cancel question, OK to anything else.
inline int yesToAnyQuestion(const seams::MsgBoxCall& c) {
  const int b = c.buttons & 7;
  return b == seams::vbYesNo || b == seams::vbYesNoCancel || b == seams::vbYesNoAll ? int(seams::vbYes)
                                                                                     : int(seams::vbOK);
}
// OK, whatever the buttons.
inline int alwaysOk(const seams::MsgBoxCall&) { return int(seams::vbOK); }

// Every message box is kept in boxes and answered with the next of answers
// (taken from the front) while there is one, then with fallback.
template <class Answers>
void recordMsgBoxes(std::vector<seams::MsgBoxCall>& boxes, Answers& answers, Answer fallback = yesOrOk) {
  seams::setMsgBoxHandler([&boxes, &answers, fallback](const seams::MsgBoxCall& c) {
    boxes.push_back(c);
    if (!answers.empty()) {
      const int a = answers.front();
      answers.erase(answers.begin());
      return a;
    }
    return fallback(c);
  });
}
// Every message box is kept in boxes and answered with answer.
inline void recordMsgBoxes(std::vector<seams::MsgBoxCall>& boxes, Answer answer) {
  seams::setMsgBoxHandler([&boxes, answer](const seams::MsgBoxCall& c) {
    boxes.push_back(c);
    return answer(c);
  });
}

// Every file dialog is kept in dialogs and answered with the next of chosen
// (nullopt: cancelled); once chosen is empty each dialog is cancelled.
inline void recordFileDialogs(std::vector<seams::FileDialogCall>& dialogs,
                              std::deque<std::optional<QString>>& chosen) {
  seams::setFileDialogHandler([&dialogs, &chosen](const seams::FileDialogCall& c) {
    dialogs.push_back(c);
    if (chosen.empty()) return std::optional<QString>();
    const std::optional<QString> a = chosen.front();
    chosen.pop_front();
    return a;
  });
}

// "End at once" throws ui::EndCalled; counted in ends when given.
inline void throwOnEnd() {
  ui::setEndHook([](int code) { throw ui::EndCalled{code}; });
}
inline void throwOnEnd(int& ends) {
  ui::setEndHook([&ends](int code) {
    ++ends;
    throw ui::EndCalled{code};
  });
}

// The handlers back to answers that never block.
inline void answerMsgBoxes(Answer answer = yesOrOk) { seams::setMsgBoxHandler(answer); }
inline void cancelFileDialogs() {
  seams::setFileDialogHandler([](const seams::FileDialogCall&) { return std::optional<QString>(); });
}
inline void cancelPrintDialogs() {
  seams::setPrintDialogHandler([](QPrinter&, QWidget*) { return false; });
}
inline void letProgramsStart() {
  seams::setStartHandler([](const seams::StartCall&) { return true; });
}

// The bytes of a file; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The bytes of a file, or "<missing>" when it cannot be read (so that a
// missing file never passes for an empty one).
inline QByteArray fileBytesOrMissing(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QByteArray("<missing>");
  return f.readAll();
}

// Writes bytes to path, replacing the file; its folder must be there.
inline void putFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Writes bytes to path (replacing the file), making its folder first.
inline void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).path());
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
}

// Destroys every loaded window, so that each accessor builds its window afresh.
inline void destroyWindows() {
  std::vector<QPointer<QWidget>> forms;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!w->parentWidget() && dynamic_cast<ui::Form*>(w)) forms.emplace_back(w);
  for (auto& f : forms)
    if (f) delete f.data();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A text in CP932.
inline QByteArray sjis(const QString& s) {
  const std::string b = cp932::encode(s);
  return QByteArray(b.data(), static_cast<qsizetype>(b.size()));
}

}  // namespace seamtest
