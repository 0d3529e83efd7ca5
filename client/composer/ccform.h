#pragma once
// The Cc list window "Cc;（カーボンコピー）送信": the addresses to which the
// new-mail composer sends the same mail, one mail each. It stays on top of
// the other windows. Every address added becomes a row of List3 and a record
// of "\★MAilData\xqmdata100.data" (in the order of adding), which the
// composer's send reads; closing the window, in whatever way, empties the
// list and the file and gives the composer back its To box and its pane.
//
// The composer drives it: its Cc-mode choices set MultiSendMode, show the
// window and set Label3, Text5 and the enabled states of Text5 and Command2;
// in the address-book mode each row click of its pane adds the address to
// List3, Text2, Text3 and the file.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <array>

#include "platform/ui.h"

class QAction;
class QMenu;

namespace forms {

class CcForm : public ui::Form {
 public:
  QLabel* Label3;               // status line: which way the addresses come in
  QLineEdit* Text5;             // the address to add (typed-address mode)
  QGroupBox* Frame1;            // "手動入力"
  QPushButton* Command2;        // "リストに追加"
  QGroupBox* Frame2;            // "手動・アドレス帳、共通"
  QPushButton* Command1;        // "リストクリア"
  QPushButton* Command3;        // "取り消し（画面消去）"
  QListWidget* List3;           // one row per address added
  std::array<QLabel*, 2> Label1;  // (0) "簡単操作説明表示", (1) "件数"
  QLineEdit* Text3;             // number of rows after each addition
  QLineEdit* Text2;             // the address picked in the composer's pane
  QCheckBox* Check1;            // help switch: 1 the help box in view, 0 out of view (NUMBER22)
  QLabel* Label2;               // the strip beside the switch
  QPlainTextEdit* Text1;        // hover help box

  QMenu* msousa;        // "操作(&S)"
  QAction* mnutuika;    // "リストに追加"
  QAction* mclire;      // "リストクリア"
  QAction* mtorikeshi;  // "取り消し（画面消去）"
  QMenu* mnuhelp;       // "HELP(&H)"
  QAction* mnutorisetu; // "取り扱い説明"

  // Writes Trim(Text5) as record n of the Cc list through CcAddressRec.
  // False when the file could not be written.
  bool StoreTypedCcAddress(int n);

  // After a send that reached only some of the list: the list and the file
  // hold the addresses still to be sent to, in their order. False after a
  // message when the file could not be rewritten.
  bool KeepOnly(const QStringList& addresses);

  void Command1_Click();  // clear the list and the file
  void Command2_Click();  // add the typed address
  void Command3_Click();  // close the window
  // The mouse-over step of a control (its help text, or hiding the box).
  void hover(QWidget* control);

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

 private:
  CcForm();
  friend class ui::Accessor<CcForm>;
  void placeHelpBySwitch();
  void showHelp(const QString& text);
};

}  // namespace forms

// The one Cc list window of the program (loaded hidden on first touch).
forms::CcForm& CcForm();
bool CcFormLoaded();
