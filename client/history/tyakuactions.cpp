// The history viewer's actions on the shown mail: deleting, passing it on,
// the safes and finding text.
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTextEdit>
#include <QTreeWidget>

#include "client/history/tyakuform.h"

namespace forms {

void TyakuForm::Command1_Click() {
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(Text6->text());
}
void TyakuForm::Command2_Click() {}
void TyakuForm::Command3_Click() {}
void TyakuForm::Command4_Click() {}
void TyakuForm::Command5_Click() {}
void TyakuForm::Command6_Click() {}
void TyakuForm::Command7_Click() {}
void TyakuForm::Command8_Click() {}
void TyakuForm::Command11_Click() {}
void TyakuForm::EditFind() {}
void TyakuForm::EditFindNext() {}

}  // namespace forms
