#pragma once
// The reply composer "返事を書く". The history viewer's reply fills its
// subject, recipient and body and shows it.
#include "client/history/commondialog.h"
#include "platform/ui.h"

class QLabel;
class QLineEdit;
class QScrollBar;
class QTextEdit;
class QToolBar;

namespace forms {

class BackForm : public ui::Form {
 public:
  QLineEdit* ToText;       // recipient ("宛先")
  QLineEdit* SubjectText;  // subject ("題名")
  QTextEdit* rtfEd;        // the reply text
  QLabel* Label1;          // "文字Size"
  QLineEdit* Text10;       // font size as text
  QScrollBar* HScroll1;    // font size 8..24
  QToolBar* tbToolBar;
  CommonDialog CommonDialog1;

  void HScroll1_Change();

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;

 private:
  friend class ui::Accessor<BackForm>;
  BackForm();
};

}  // namespace forms

forms::BackForm& BackForm();
bool BackFormLoaded();
