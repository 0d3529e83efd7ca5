#pragma once
// The reply composer "返事を書く". The history viewer's reply fills its
// subject, recipient and body and shows it; the user edits the text and
// sends it to the one recipient with one call of the mail library, or holds
// it in the held-reply list ("\★MAilData\xqmdata11.data") to finish later.
// No record of a sent reply is kept.
//
// Files of the window: backform.cpp (window, load, size, editor pane, send),
// backattachments.cpp (attachment buttons), heldreplies.cpp (held replies).
#include <QString>
#include <array>
#include <cstdint>
#include <vector>

#include "client/history/commondialog.h"
#include "platform/ui.h"

class QAction;
class QFrame;
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

// Parity of the presses of the reply composer's "リスト" button since the
// program started (even: the next press hides the attachment list). Kept
// when the window closes.
extern std::int16_t BackAttachListToggleCount;

namespace forms {

class BackForm : public ui::Form {
 public:
  // ---- controls ----
  QPushButton* Command2;   // "送信"
  QPushButton* Command3;   // "送信中止"
  QPushButton* Command13;  // "後で送信（保留）"
  QPushButton* Command14;  // "保留分の呼出"
  QPushButton* Command15;  // "保留分の削除"
  QPushButton* Command1;   // "顔・絵文字"
  QPushButton* Command12;  // "HELP"
  std::array<QLabel*, 3> Picture2;  // row labels "宛先", "題名", "添付File"
  QLineEdit* ToText;       // recipient
  QLineEdit* SubjectText;  // subject
  QLineEdit* AttachText;   // attachment paths joined by ","
  QPushButton* AttachCommand;  // "添付": the first attachment
  QPushButton* Command9;   // "追加": one more attachment
  QPushButton* Command10;  // "取り消し": drop all attachments
  QPushButton* Command6;   // "リスト": hide or show List2
  QListWidget* List2;      // file names of the attachments
  QLabel* Label1;          // "文字Size"
  QLineEdit* Text10;       // font size as text
  QScrollBar* HScroll1;    // font size 8..24
  QToolBar* tbToolBar;
  QTextEdit* rtfEd;        // the reply text
  // Held-reply pane.
  QFrame* Picture5;
  QPushButton* Command18;  // "画面大"
  QPushButton* Command17;  // "画面小"
  QPushButton* Command16;  // "消去"
  QLabel* Label2;          // "保留メール"
  QLabel* Label4;          // "件数"
  QLineEdit* Text1;        // row count of List1
  QListWidget* List1;      // subjects of the held replies
  QFrame* Picture3;        // placeholder while the pane is hidden
  QLabel* Label3;          // its text
  // Hidden boxes.
  QLineEdit* Text2;        // "1" after a confirmed insert of a held reply
  QPlainTextEdit* Text4;   // plain-text buffer of the send and the hold
  QPlainTextEdit* Text3;   // hover-help box
  QStatusBar* StatusBar1;
  QLabel* StatusPanel;     // the status bar's one panel
  CommonDialog AttachCommonDialog;
  CommonDialog CommonDialog1;

  // ---- menus ----
  QMenu* mFile;   // "ファイル(&F)"
  QMenu* medit;   // "編集"
  QMenu* mmain;   // "Main(&M)"
  QMenu* mnusub;  // "Sub(&S)"
  QAction* mnew;
  QAction* mopen;
  QAction* msave;
  QAction* mprint;
  QAction* mend;
  QAction* mall;
  QAction* matamajump;
  QAction* mbunmatujump;
  QAction* mcut;
  QAction* mcopy;
  QAction* mpaste;
  QAction* msoshin;
  QAction* mstop;
  QAction* mnukao;
  QAction* mnuato;
  QAction* mnuhoryu;
  QAction* mnusakujyo;
  QAction* mnudai;
  QAction* mnusyou;
  QAction* mnukesu;

  // Row k of List1 shows record RecordNumbers[k]; one spare entry follows
  // the last row.
  std::vector<std::int16_t> RecordNumbers{0};

  // ---- handlers ----
  void Command2_Click();   // send
  void Command3_Click();   // stop: close without sending
  void Command13_Click();  // hold
  void Command14_Click();  // list the held replies
  void Command15_Click();  // delete the held reply of the inserted row
  void List1_Click();      // insert the selected held reply into the body
  void AttachCommand_Click();
  void Command9_Click();
  void Command10_Click();
  void Command6_Click();
  void Command18_Click();  // pane large
  void Command17_Click();  // pane small
  void Command16_Click();  // pane hidden
  void mnudai_Click();     // the pane shown, then large
  void mnusyou_Click();    // the pane shown, then small
  void Command1_Click();   // face-mark chooser
  void Command12_Click();  // help window
  void mend_Click();       // "終了": ends the program at once
  void HScroll1_Change();
  void tbToolBar_ButtonClick(const QString& key);
  // Save-as with the four header lines; headerWord "To:" (toolbar) or "to:" (menu).
  void SaveAsWithHeader(const QString& headerWord);
  // The mouse-over step of a control: its help text, or the box hidden.
  void hover(QWidget* control);

  // Writes record n of the held-reply file from the reply's boxes through
  // HeldReplyRec; false (after a message) when the file cannot be written.
  bool PutHeldReply(std::int16_t n);
  // Refills List1, RecordNumbers and Text1 from the held-reply file.
  void FillHeldList();

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;

 private:
  friend class ui::Accessor<BackForm>;
  BackForm();
  void buildToolbar();
  void buildMenus();
  // The To and subject rows as high as their font needs.
  void fitTextRows();
  // The rows' boxes and buttons clear of the held-reply pane.
  void keepRowsClearOfThePane();
  bool filling_ = false;  // List1 is being refilled: its selection changes are no clicks
};

}  // namespace forms

// The one reply composer; touching it loads it hidden.
forms::BackForm& BackForm();
// True when the reply composer exists (does not load it).
bool BackFormLoaded();
