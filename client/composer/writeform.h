#pragma once
// The new-mail composer "新規作成・送信". Loaded hidden at start-up (the main
// window's start touches Check1); the main window and the menus show it and
// then set its width: 9700 twips with the address pane on the right, 7140
// without it. Every send, stop or close unloads it, so the next touch loads
// a fresh composer with empty boxes, single-recipient mode and the fortune
// switch off.
//
// The window's work is spread over a few files:
//   writeform.cpp    the window: load, resize, unload, font size, greeting
//                    templates, clear, hover help, menus and toolbar
//   writesend.cpp    the send road, the send modes, the sent-list record
//   writeheld.cpp    held mails and the address pane on the right
//   writeattach.cpp  attachments
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

#include "client/history/commondialog.h"
#include "platform/ui.h"

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;
class QTextEdit;
class QToolBar;

namespace forms {

class WriteForm : public ui::Form {
 public:
  // ---- the mail ----
  QLineEdit* ToText;       // recipient address ("宛先")
  QLineEdit* SubjectText;  // subject ("件名")
  QTextEdit* rtfEd;        // the body
  QComboBox* Combo1;       // greeting templates ("首記例")
  QCheckBox* Check1;       // "占い添付": append a fortune slip to each mail
  QCheckBox* Check2;       // set to 0 at load, nothing else
  QFrame* Frame4;          // the send-mode switches
  QRadioButton* Option1;   // "取消": single recipient
  QRadioButton* Option2;   // "一括送信": every address-book entry
  QLabel* Label5;          // "手動で入力": Cc list of typed addresses
  QLabel* Label6;          // "アドレス帳から入力": Cc list fed from the pane
  QLabel* Label7;          // status line; its double-click is the paste-box trigger
  QPlainTextEdit* Text14;  // hover help box
  QScrollBar* HScroll1;    // font size 8..24
  QLineEdit* Text10;       // font size as text (NUMBER5)
  std::vector<QLabel*> Label1;  // (0) "文字Size", (1) "一括送信", (2) "取消"
  std::vector<QLabel*> Label2;  // (0) "首記例", (1) "件名", (2) "占い添付", (3) "宛先", (4) "Cc"
  std::vector<QLabel*> Label4;  // (0) "件数", (1) "アドレス帳"

  // ---- address pane (right-hand panel) ----
  QListWidget* List1;      // address-book names or held-mail subjects
  QLineEdit* Text1;        // rows in List1
  QLineEdit* Text2;        // marker: "1" after a row click (beyond the 9700-twip width)
  QPushButton* Command17;  // pane toggle held mails / address names

  // ---- attachments ----
  QPushButton* AttachCommand;  // "添付File": the first file
  QLineEdit* AttachText;       // the attachment paths joined by ","
  QPushButton* Command9;       // "追加": a further file
  QPushButton* Command10;      // "取り消し": drop every file
  QPushButton* Command16;      // "リスト": hide / show List2
  QListWidget* List2;          // titles of the chosen files
  CommonDialog AttachCommonDialog;

  // ---- buttons ----
  QPushButton* Command1;   // "  送信"
  QPushButton* Command2;   // "貼付け" (hidden paste box)
  QPushButton* Command3;   // "      送信中止"
  QPushButton* Command4;   // "アドレス開"
  QPushButton* Command6;   // "アドレス閉"
  QPushButton* Command8;   // "顔・絵文字"
  QPushButton* Command11;  // "クリア"
  QPushButton* Command12;  // "HELP"
  QPushButton* Command13;  // "後で送信（保留）"
  QPushButton* Command14;  // "保留分の呼出"
  QPushButton* Command15;  // "保留分の削除"
  QLineEdit* Text3;        // hidden, unused
  QLineEdit* Text4;        // the paste box (beyond the 9700-twip width)

  // ---- layout strips ----
  std::vector<QFrame*> Picture2;  // (0) to (3): the strips above the body
  QFrame* Picture4;               // the strip of the send buttons
  QFrame* Picture5;               // the right-hand panel, 2600 twips from the right edge
  QFrame* Picture6;               // the bottom strip with the status line

  QToolBar* tbToolBar;
  CommonDialog CommonDialog1;  // print and save-as

  // ---- menus ----
  QMenu* mnuFile;  // "ファイル(&F)"
  QMenu* mnuEdit;  // "編集"
  QMenu* mnuMain;  // "Main(&M)"
  QMenu* mnuSub;   // "Sub(&S)"
  QMenu* mnuHelp;  // "HELP(&H)"
  QAction *mnew, *mopen, *msave, *mprint, *mend;
  QAction *mall, *matamajump, *mbunmatujump, *mcut, *mcopy, *mpaste;
  QAction *msouhin, *mstop, *maddress, *mmotosize, *mclire;
  QAction *mato, *myobidasi, *msakujyo, *mkao;
  QAction* mhelpsetu;

  // Grab point inside a control being dragged (twips).
  float DragOffsetX = 0;
  float DragOffsetY = 0;
  // Record numbers of the pane's rows: element k belongs to row k, one
  // spare 0 follows the last row.
  std::vector<std::int16_t> RecordNumbers{0};

  // ---- handlers (what the user's actions run) ----
  void Command1_Click();   // send
  void Command2_Click();   // paste box: the clipboard's text into Text4
  void Command3_Click();   // stop
  void Command4_Click();   // open the pane with the address names
  void Command6_Click();   // close the pane
  void Command8_Click();   // face-mark chooser
  void Command11_Click();  // clear
  void Command12_Click();  // help
  void Command13_Click();  // hold the mail
  void Command14_Click();  // list the held mails
  void Command15_Click();  // delete the selected held mail
  void Command17_Click();  // pane toggle
  void AttachCommand_Click();
  void Command9_Click();
  void Command10_Click();
  void Command16_Click();
  void Option1_Click();
  void Option2_Click();
  void Label5_Click();
  void Label6_Click();
  void Label7_DblClick();
  // Leaving the greeting list: the greeting the user chose since the list
  // got the focus replaces the body (undoably); nothing chosen, nothing done.
  void Combo1_LostFocus();
  void HScroll1_Change();
  void List1_MouseDown();
  void tbToolBar_ButtonClick(const QString& key);
  // A control dragged within the window and dropped on its background at
  // (x, y) twips of the client area.
  void Form_DragDrop(QWidget* source, float x, float y);
  // The mouse-over step of a control (its help text, or hiding the box).
  void hover(QWidget* control);

  // Writes record n of the sent list from the boxes (through SentMailRec).
  bool RecordSentMail(std::int16_t n);
  // Writes record n of the held-mail file from the boxes (through HeldMailRec).
  bool SaveHeldMail(std::int16_t n);
  // Writes record n of the Cc list with the address in CcForm.Text2.
  bool StoreBookCcAddress(std::int16_t n);
  // Save-as with the four header lines; headerWord "From:" (menu) or "To:" (toolbar).
  void SaveAsWithHeader(const QString& headerWord);

  // Option buttons as the classic Value (setting True clears the other).
  void setOption1(bool on);
  void setOption2(bool on);

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  WriteForm();
  friend class ui::Accessor<WriteForm>;
  void buildMenus();
  void buildToolbar();
  void fitTextRows();
  void listAddressNames(bool fillToText);
  void listHeldMails(bool fillBoxes);
  // Recalled texts into the To, subject and body boxes (a null one is left).
  void putRecalled(const QString* to, const QString* subject, const QString* body);
  void startDrag(QWidget* w, const QPoint& grab);
  QWidget* dragSource_ = nullptr;
  bool greetingChosen_ = false;  // a greeting picked or typed since Combo1 got the focus
  // After a send to all that reached only some of the address book: the
  // addresses still to be sent to (until the user chooses a mode again).
  std::optional<std::vector<QString>> unsentToAll_;
};

}  // namespace forms

// The one new-mail composer of the program (loaded hidden on first touch).
forms::WriteForm& WriteForm();
bool WriteFormLoaded();
