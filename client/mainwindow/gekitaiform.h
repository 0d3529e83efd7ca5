#pragma once
// The spam keyword window "Spam/迷惑メール撃退": registers, lists and deletes
// the keywords of "\★MAilData\Xqmdata50.data" that the mail check searches
// in the subject and sender of every waiting mail.
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include "platform/ui.h"

namespace forms {

class GekitaiForm : public ui::Form {
 public:
  // A keyword holds at most this many CP932 bytes (100 full-width or 200
  // half-width characters).
  static constexpr int kKeywordBytes = 200;

  QLabel* Label2;         // "撃退用キーワードの登録"
  QLineEdit* Text1;       // the keyword to register
  QPushButton* Command1;  // "登録"
  QListWidget* List1;     // one row per record, in file order
  QPushButton* Command2;  // "削除"
  QPlainTextEdit* Text2;  // mouse-over help box

  void Command1_Click();
  void Command2_Click();
  // Clears the list and fills it from the keyword file.
  void ListKeywords();

 protected:
  void Form_Load() override;

 private:
  GekitaiForm();
  friend class ui::Accessor<GekitaiForm>;
  // The mouse-over step of a control (its help text, or hiding the box).
  void hover(QWidget* control);
  void showHelp(const QString& text);
  void hideHelp();
  void limitKeyword();
  QString lastKeyword_;  // the keyword box's text after its last change
};

}  // namespace forms

// The one spam keyword window of the program (loaded hidden on first touch).
forms::GekitaiForm& GekitaiForm();
// True while the spam keyword window is loaded (peeking does not load it).
bool GekitaiFormLoaded();
