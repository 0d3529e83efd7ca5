#pragma once
// The address book "アドレス帳": the user's correspondents, one name and one
// mail address each, kept in "\★MAilData\Xqmdata20.data". Row n of the list
// is record n of the file (the list is always filled from record 1, and
// every delete compacts the file). The new-mail composer reads the same file
// for its address pane and its send-to-all.
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "platform/ui.h"

namespace forms {

class FriendForm : public ui::Form {
 public:
  QTreeWidget* MailListView;  // report style: columns "Address" and "Name"
  QLabel* Label1;             // "名前（名称）"
  QLineEdit* Text2;           // name
  QLabel* Label2;             // "メールアドレス"
  QLineEdit* Text4;           // mail address
  QLabel* Label3;             // "名刺"
  QLineEdit* Text50;          // business-card name
  QLabel* Label4;             // "登録件数"
  QLineEdit* Text3;           // number of entries
  QLabel* Label7;             // status line
  QLabel* Label8;             // the note on the business card
  QPlainTextEdit* Text5;      // mouse-over help box
  QPushButton* Command3;      // "登録"
  QPushButton* Command38;     // "名刺挿入"
  QPushButton* Command4;      // "削除"
  QPushButton* Command1;      // "貼付" into the address box
  QPushButton* Command5;      // "貼付" into the name box
  QPushButton* Command2;      // refills the list

  // Writes Text2 (name) and Text4 (address) as record n of the address
  // book through AddressRec. False when the file could not be written.
  bool PutAddressRecord(int n);

  void Command1_Click();
  void Command2_Click();  // fill the list from the file
  void Command3_Click();  // register
  void Command4_Click();  // delete the selected entry
  void Command5_Click();
  void Command38_Click();  // business-card insert
  // A mouse button pressed on the list: the selected entry into the boxes.
  void MailListView_MouseDown();

 protected:
  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;

 private:
  FriendForm();
  friend class ui::Accessor<FriendForm>;
  // The mouse-over step of a control (its help text, or hiding the box).
  void hover(QWidget* control);
  // Record number of the selected row (1-based), 0 when no row is selected.
  int selectedRecord() const;
  void showHelp(const QString& text);
  QString putError_;  // what the last PutAddressRecord failed on
};

}  // namespace forms

// The one address book of the program (loaded hidden on first touch).
forms::FriendForm& FriendForm();
bool FriendFormLoaded();
