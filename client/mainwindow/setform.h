#pragma once
// The settings window "設定": mail servers, own address, POP3 account, VIP
// address, sender display text and the mail-check options. Loaded hidden at
// start-up and kept loaded; its controls are the live settings that the
// start-up, the mail check, the automatic-check timer and the composer read
// and write directly.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "platform/ui.h"

namespace forms {

class SetForm : public ui::Form {
 public:
  // The tab control with its three tabs "迷惑", "サーバー設定", "ID,PASS";
  // each tab holds one frame (Frame1, Frame2, Frame3) with its controls.
  QTabWidget* SSTab1;
  QFrame* Frame1;
  QFrame* Frame2;
  QFrame* Frame3;

  // Tab "迷惑".
  QCheckBox* Check4;     // bring the main window up on new mail (NUMBER18), box only
  QLabel* Label1;        // its text
  QLineEdit* Text6;      // automatic check interval in minutes, 0 = off (NUMBER16)
  QLabel* Label2;        // "分間隔でメールチェックを行う。"
  QLabel* Label3;        // explanation of the interval
  QPushButton* Command4;  // "Spam/迷惑メール撃退": shows the spam keyword window
  QCheckBox* Check1;     // "送信履歴を残さない" (NUMBER14), box only
  QLabel* Label4;
  QCheckBox* Check2;     // hang up dial-up connections after a check (NUMBER15), box only
  QLabel* Label5;

  // Tab "サーバー設定".
  QLabel* Label6;
  QLineEdit* SmtpText;   // SMTP server ("SMTP=" of xqmail.ini)
  QLabel* Label7;
  QLineEdit* Pop3Text;   // POP3 server ("POP3=")
  QLabel* Label8;
  QLineEdit* MailText;   // own mail address ("MAIL=")
  QCheckBox* ApopCheck;  // "ユーザー認証でAPOP を使用する(&A)" ("APOP=")
  QPushButton* OkCommand;      // "設定": takes the four values and rewrites xqmail.ini
  QPushButton* CancelCommand;  // "中止": closes the window

  // Tab "ID,PASS".
  QLabel* Label9;
  QLineEdit* IdText;     // POP3 user ID ("NAME" of iniIdPass.ini)
  QLabel* Label10;
  QLineEdit* PassText;   // POP3 password ("NAME2"), masked
  QCheckBox* Check3;     // "IDパスワードを保存する", box only
  QLabel* Label11;
  QPushButton* Command6;  // "OK": takes (and saves) the account
  QPushButton* Command5;  // "Cansel": closes the window
  QLabel* Label12;
  QLineEdit* Text3;      // VIP sender address (NAME12)
  QLabel* Label13;       // explanation of the sender display text
  QLabel* Label14;       // example line of the sender display text
  QLineEdit* Text2;      // sender display text (NAME9); live copy in MainForm.Text7

  // Handlers (also reached by the buttons and boxes).
  void OkCommand_Click();
  void CancelCommand_Click();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  void Check2_Click();
  void Text2_Change();
  void Text6_Change();

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

 private:
  SetForm();
  friend class ui::Accessor<SetForm>;
};

}  // namespace forms

// The one settings window of the program (loaded hidden on first touch).
forms::SetForm& SetForm();
// True while the settings window is loaded (peeking does not load it).
bool SetFormLoaded();
