#pragma once
// The history viewer: one window that shows one mail list at a time
// (received, sent, the VIP room or one of the three safes). Its boxes
// Text7 (subject), Text8 (sender or recipient), Text9 (date) and rtfEd
// (body) are the client's record buffer; Text5 is the selection marker.
#include <QString>
#include <array>
#include <cstdint>

#include "client/history/commondialog.h"
#include "platform/ui.h"

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QStatusBar;
class QTextEdit;
class QToolBar;
class QTreeWidget;

namespace forms {

class TyakuForm : public ui::Form {
 public:
  // ---- controls ----
  QTreeWidget* MailListView;  // report style, columns "Subject", "From/to", "Date"
  QLineEdit* Text7;           // subject of the shown mail
  QLineEdit* Text8;           // sender (received, VIP, safes) or recipient (sent)
  QLineEdit* Text9;           // date text
  QTextEdit* rtfEd;           // body; also the editor pane
  QLineEdit* Text11;          // hidden: the trimmed body as clicked (the reply takes it)
  QLineEdit* Text2;           // row count
  QLineEdit* Text5;           // hidden: selection marker, "1" after a click in the list
  QLineEdit* Text6;           // copy field
  QLineEdit* Text10;          // font size as text
  QScrollBar* HScroll1;       // font size 8..24
  QPlainTextEdit* Text4;      // help box
  QLineEdit* Text1;           // search text
  QCheckBox* Check1;          // close the viewer after a reply was sent
  QLabel* Label1;             // "文字Size"
  QLabel* Label2;             // "検索文字"
  QLabel* Label3;             // "返事を出した後、自動画面消去"
  QLabel* Label4;             // "件数"
  QPushButton* Command1;      // "コピー（Subject/from/Data）"
  QPushButton* Command2;      // "TextQuickSave"
  QPushButton* Command3;      // "一件削除"
  QPushButton* Command4;      // "アドレス帳登録"
  QPushButton* Command5;      // "返事を書く"
  QPushButton* Command6;      // "全件削除"
  QPushButton* Command7;      // "金庫に入れる"
  QPushButton* Command8;      // "金庫を開く"
  QPushButton* Command9;      // "STOP"
  std::array<QPushButton*, 4> Command10;  // "↑", "↓", "↑↑", "↓↓"
  QPushButton* Command11;     // "     縦書き文字"
  QToolBar* tbToolBar;
  QStatusBar* StatusBar1;
  QListWidget* lstLst;
  CommonDialog CommonDialog1;

  // ---- menus ----
  QMenu* mnuFile;  // "ファイル(&F)"
  QMenu* mnuEdit;  // "編集(&E)"
  QMenu* mnuHelp;  // "HELP(&H)"
  QAction* mnew;
  QAction* mopen;
  QAction* msave;
  QAction* mprint;
  QAction* mend;
  QAction* mall;
  QAction* matamajump;
  QAction* mbunmatujump;
  QAction* mfind;
  QAction* mfindnext;
  QAction* mcut;
  QAction* mcopy;
  QAction* mpaste;
  QAction* mhelp;

  // 1-based position of the last hit of find / find next, 0 after a miss.
  std::int16_t FindPosition = 0;
  // The list on show (1..6 as MailListKind), set by OpenMailList; 0 before
  // any list was opened. The viewer's actions work on this list, whatever
  // the composer has written into MailListKind meanwhile.
  std::int16_t ShownListKind = 0;
  // The row (1-based) whose mail a click last put into the boxes; 0 when
  // the boxes show no row of the list (a refill, the mail check's use of
  // the boxes). An action on "the selected mail" works on this row only
  // while it is the highlighted one.
  int ShownRow = 0;
  // The highlighted row (1-based) when it is the row shown and the
  // selection marker is set; 0 otherwise.
  int chosenRow() const;

  // ---- handlers (what the user's actions run) ----
  void MailListView_ItemClick();  // a click in the list: show that mail
  void Text2_Change();            // the count handling
  void HScroll1_Change();         // the font size
  void holdRowsAndALine();        // the least size at the boxes' font
  void tbToolBar_ButtonClick(const QString& key);
  void Command1_Click();   // copy field
  void Command2_Click();   // text quick save
  void Command3_Click();   // delete the selected mail
  void Command4_Click();   // address-book entry
  void Command5_Click();   // reply
  void Command6_Click();   // delete all
  void Command7_Click();   // move into a safe
  void Command8_Click();   // open a safe
  void Command11_Click();  // vertical text
  void EditFind();
  void EditFindNext();
  void SaveAsWithHeader();  // menu "名前を付けて保存", toolbar "Save"/"SaveAs"
  // The mouse-over step of a control (its help text or pointer feedback);
  // the window's own client area places the copy row.
  void hover(QWidget* control);

  // Writes the row count into Text2 and runs the count handling, also
  // when the text stays the same.
  void setCount(const QString& count);
  // The header text of quick save and save as (four lines joined by CR LF).
  QString headerText() const;

 protected:
  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class ui::Accessor<TyakuForm>;
  TyakuForm();
  void buildMenus();
  void buildToolbar();
};

}  // namespace forms

// The one history viewer; touching it loads it hidden.
forms::TyakuForm& TyakuForm();
// True when the viewer exists (does not load it).
bool TyakuFormLoaded();

// The viewer's body box text with CR LF line ends, and setting it from a
// text with CR LF, lone CR or LF line ends. A text set so is the program's:
// it counts as nothing the user wrote (see EditorHoldsUserText).
QString EditorText(const QTextEdit* box);
void SetEditorText(QTextEdit* box, const QString& text);

// The quick-save file name of a subject: the subject with the characters a
// file name cannot hold or that would lead out of the folder ("/", "\",
// "..", control characters) replaced by "_", followed by ".txt".
QString QuickSaveFileName(const QString& subject);
