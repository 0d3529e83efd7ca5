#pragma once
// The move window "金庫に入れる": moves the mail chosen in the history
// viewer into the gold, silver or bronze safe.
#include <cstdint>

#include "platform/ui.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace forms {

class KinkoForm : public ui::Form {
 public:
  QGroupBox* Frame1;
  QPushButton* Command1;  // gold
  QPushButton* Command4;  // silver
  QPushButton* Command5;  // bronze
  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLineEdit* Text1;  // gold count
  QLineEdit* Text2;  // silver count
  QLineEdit* Text3;  // bronze count

  // safe 3 gold, 4 silver, 5 bronze (the list kinds of the safes).
  void MoveMailToSafe(int safe);

 protected:
  void Form_Load() override;

 private:
  friend class ui::Accessor<KinkoForm>;
  KinkoForm();
};

}  // namespace forms

forms::KinkoForm& KinkoForm();
bool KinkoFormLoaded();

// Safe counts: a missing safe file is created empty; length / 32284 rounded.
int SafeRecordCount(int safe);
