#pragma once
// The common-dialog control of the editor panes: the open, save and print
// dialogs with the classic properties, shown through the dialog seams.
#include <QString>

class QPrinter;
class QWidget;

class CommonDialog {
 public:
  explicit CommonDialog(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }

  bool CancelError = false;
  int Flags = 0;
  QString Filter;  // "txtファイル(*.txt,*.ini)|*.txt;*.ini"
  int FilterIndex = 1;
  QString FileName;
  QString DialogTitle;
  QString InitDir;
  int Copies = 1;  // copies chosen in the print dialog

  // Open / save dialogs: true and FileName set when a file was chosen,
  // false when the user cancelled.
  bool ShowOpen();
  bool ShowSave();
  // Print dialog on printer: true when the user confirmed; Copies is set.
  bool ShowPrinter(QPrinter& printer);

 private:
  bool showFile(bool save);
  QWidget* owner_ = nullptr;
};
