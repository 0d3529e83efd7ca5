#pragma once
// The safe-opening window "金庫を開く": lists the gold, silver or bronze
// safe in the history viewer and shows how many mails each safe holds.
#include "platform/ui.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace forms {

class OpenForm : public ui::Form {
 public:
  QGroupBox* Frame1;
  QPushButton* Command1;  // "金の金庫を開く"
  QPushButton* Command4;  // "銀の金庫を開く"
  QPushButton* Command5;  // "銅の金庫を開く"
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLineEdit* Text1;  // gold count
  QLineEdit* Text2;  // silver count
  QLineEdit* Text3;  // bronze count

 protected:
  void Form_Load() override;

 private:
  friend class ui::Accessor<OpenForm>;
  OpenForm();
};

}  // namespace forms

forms::OpenForm& OpenForm();
bool OpenFormLoaded();
