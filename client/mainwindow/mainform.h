#pragma once
// The main window: the race field, the panel of labels that act as buttons,
// the mail counters, the race and sound buttons, the hover help, the hidden
// boxes that other windows read and write, the tray icon and the menus.
// Loading it is the program start (startup.cpp); closing it ends the program.
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>
#include <array>
#include <cstdint>

#include "platform/ui.h"

namespace forms {

// A picture box whose drawing lives in a persistent image: everything is
// drawn into `image` and Refresh() puts it on screen.
class PictureBox : public QWidget {
 public:
  explicit PictureBox(QWidget* parent = nullptr);
  QImage image;  // RGB32, the size of the box in pixels
  // Puts the image on screen now (as the picture box's Refresh).
  void Refresh();
  // Counts the refreshes (tests and the benchmark look at it).
  int refreshCount = 0;
  // Makes the image the size of the box (keeping what it holds); also done
  // whenever the box is resized.
  void fitImage();

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
};

class MainForm : public ui::Form {
 public:
  // ---- Race field and pictures ----
  PictureBox* picMain;   // race field, 560 x 192 pixels at (0, 600 twips)
  PictureBox* picMain2;  // the strip above the race field (600 twips high)
  QImage picBack;        // water tile, 32 x 32
  QImage picChara2;      // boat sheet: two 45 x 33 frames, colour row y = 128, mask row y = 0
  QImage picChar;        // rain sprites (from "\★MailData\Data\Rain.bmp")
  std::array<QLabel*, 6> Image3{};  // lane pictures moved with the boats
  std::array<QLabel*, 6> Label1{};  // lane numbers "①" to "⑥"
  QLabel* Label25;       // "休息日・・・", shown during the rain
  QWidget* Picture1;     // the help box inside the race field
  QLabel* Label5;        // the help text (also the one-line status)

  // ---- Panel of labels ----
  QWidget* Picture5;     // background under the labels (hover reset)
  QLabel* Label8;        // "受信"
  QLabel* Label9;        // "新規作成"
  QLabel* Label7;        // "着信履歴"
  QLabel* Label6;        // "送信履歴"
  QLabel* Label17;       // "VIP  Room "
  QLabel* Label10;       // "アドレス帳"
  QLabel* Label16;       // "添付フォルダ"
  QLabel* Label13;       // "   訓練タイム♪" (mascot out)
  QLabel* Label14;       // "訓練終了" (mascot away)
  QLabel* Label12;       // "説明表示"
  QCheckBox* Check1;     // hover help on (ticked) / off; NUMBER7
  QLabel* Label4;        // "着信件数"
  QLineEdit* Text3;      // received count
  QLabel* Label3;        // "送信件数"
  QLineEdit* Text4;      // sent count
  QLabel* Label18;       // "VIP件数"
  QLineEdit* Text15;     // VIP-room count
  QLineEdit* Text1;      // the user's name (NAME8)
  std::array<QLabel*, 3> Label2{};  // (1) "レース", (2) "効果音"; index 0 unused
  QPushButton* Command4;  // "     Start" race start
  QPushButton* Command5;  // "     Stop" race stop
  QPushButton* Command10;  // "     ON" sound test
  QPushButton* Command9;   // "     OFF" sound stop
  QPushButton* Command6;   // "    　設定" settings window
  QLabel* Label24;       // "Boat"
  QListWidget* List1;    // finish order, one lane digit per line
  QWidget* Picture2;     // the new-mail counters panel
  QLabel* Label20;       // "新着"
  QLabel* Label21;       // "ＶＩＰ"
  QLineEdit* Text16;     // VIP mails of the last check
  QLabel* Label22;       // "迷惑"
  QLineEdit* Text17;     // spam mails of the last check
  QLabel* Label19;       // "新着表示"
  QCheckBox* Check3;     // ticked when a check stored a VIP mail

  // ---- Hidden controls ----
  QLineEdit* Text2;      // current date-time text (one-second tick)
  QLineEdit* Text5;      // mirrored to NUMBER13 on every change
  QLineEdit* Text7;      // sender display text (copy of SetForm.Text2)
  QLineEdit* Text8;      // own mail address ("MAIL=")
  QLineEdit* Text9;      // work boxes of the mail check
  QLineEdit* Text10;
  QLineEdit* Text11;
  QLineEdit* Text12;
  QLineEdit* Text13;     // the start-up password
  QLineEdit* Text14;     // running total of new mails (NUMBER28)
  QCheckBox* ChkSynchro;  // race sound options: synchronous, looped, from memory
  QCheckBox* ChkLoop;
  QCheckBox* ChkOnMem;
  QLabel* timeLabel1;    // "時計": minutes since the last automatic check
  QPushButton* Command3;  // "Start": reset of the automatic check
  QPushButton* Command2;  // "切断": hang up the dial-up links
  QPushButton* Command1;  // "雨": rain

  // ---- Timers ----
  QTimer* Timer;   // 120 ms: the boat frames
  QTimer* Timer1;  // 1000 ms: the automatic mail check
  QTimer* Timer2;  // 1000 ms: the date-time text

  // ---- Tray icon and menus ----
  QSystemTrayIcon* TrayControl1;
  QMenu* mnuPopup;                     // tray popup
  std::array<QAction*, 9> mnu_Popup{};  // its entries 0 to 8
  QMenu* mpopup;                       // race field popup

  QMenu* mfile;
  QAction *mdesk, *mshinki, *mnushikiadores2, *mjyushin, *mtyakushin, *mnukin, *mnugin, *mnudou, *msouhin,
      *mnutenpfold, *maddress, *mend;
  QMenu *mshinkida, *mkinkoda;
  QMenu* msettei;
  QAction *mset, *mnuspam, *mnukojin, *mrantya2, *mtime, *mflipset, *mnuair, *mkarenda, *mfinwisp,
      *mfinwispresset, *mnutask, *msmall;
  QMenu* massyuku;
  QAction *mfassyuku, *mfkaito;
  QMenu* mhelo;
  QAction* mtorisetu;
  QMenu *mshinki2, *mkinko;
  QAction *mpopupshinki, *mpopupshinkiadrress, *mpopupjyushin, *mpopuptyakushin, *mnukin2, *mnugin2, *mnudou2,
      *mpopupsoushin, *mtenpfold, *mpopset, *mtask2;

  // The open-file dialog's initial folder (set at start-up).
  QString CommonDialogInitDir;

  // ---- Actions other windows call ----
  void Label8_Click();   // receive (mail check, then the received count)
  void Label9_Click();   // new mail with the address pane
  void Label7_Click();   // received list
  void Label6_Click();   // sent list
  void Label17_Click();  // VIP room
  void Label10_Click();  // address book
  void Label16_Click();  // attachment folder
  void Label13_Click();  // mascot out
  void Label14_Click();  // mascot away
  void Label5_Click();   // home page
  void Command1_Click();   // rain start
  void Command2_Click();   // hang up every dial-up link
  void Command4_Click();   // race start
  void Command5_Click();   // race stop
  void Command6_Click();   // settings window
  void Command9_Click();   // sound stop
  void Command10_Click();  // sound test
  void Text5_Change();

  // Waits more than ms milliseconds while window events (and timers) run.
  void Wait(std::int32_t ms);
  // The rain's set-up and its one frame (race.cpp).
  void InitData();
  void DrawSnow();

  // The tray control's mouse event: 0 the note, 1 the popup, others nothing.
  void TrayControl1_MouseEvent(int code);
  // Puts the icon into the tray and hides the window; where no tray icon can
  // be shown the window is minimised instead, so that it can always come back.
  void IntoTray();

  // Hover help of one control (its text into Label5, its highlight) and the
  // reset over Picture5.
  void ShowHelp(QWidget* control);
  void HoverReset();
  // The help text of a control; empty when it has none.
  QString helpText(const QWidget* control) const;

  // True while the start-up password has not been accepted: the start-up
  // left the window hidden and it has not been shown since. The shows do not
  // bring the window up meanwhile.
  bool startHidden() const { return startHidden_; }

 protected:
  void Form_Load() override;
  void Form_QueryUnload(int& cancel, int unloadMode) override;
  void Form_Unload(int& cancel) override;
  bool eventFilter(QObject* watched, QEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  MainForm();
  friend class ui::Accessor<MainForm>;
  void buildPanel();
  void paintBanner();
  void buildHidden();
  void buildMenus();
  void buildTray();
  void Timer_Timer();
  void Timer2_Timer();
  void CountReceived();
  bool startHidden_ = false;
};

}  // namespace forms

// The one main window of the program (loaded on first touch).
forms::MainForm& MainForm();
// True while the main window is loaded (peeking does not load it).
bool MainFormLoaded();
