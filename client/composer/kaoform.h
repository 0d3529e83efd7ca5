#pragma once
// The face-mark chooser "絵・顔文字": twelve editable boxes of ready-made
// text pieces (face marks, decorative lines, pictures drawn with characters,
// the user's favourites) on the twelve tabs of SSTab1. The user selects part
// of a box and inserts it into the body of the new-mail composer or of the
// reply composer, copies it into the favourites box, or pastes the
// clipboard into the box.
//
// Each box is one text file of "\顔文字データ\" under the program folder
// (Kao1.txt, Text1.txt .. Text11.txt: CP932, lines ending in CR LF, nothing
// else). The load reads all twelve, the unload writes all twelve back; the
// unload runs at the close box and after every insert into a composer.
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <array>
#include <string>
#include <vector>

#include "platform/ui.h"

class QButtonGroup;

namespace forms {

// A tabbed dialog control: the tab heads in rows of three above one page per
// tab; the page of the current tab is in view. Page coordinates include the
// rows of heads (the controls of a page sit below them).
class SSTab : public QWidget {
 public:
  SSTab(const QStringList& captions, int tabsPerRow, int headHeightTwips, QWidget* parent);
  int Tab() const { return current_; }
  void setTab(int tab);
  int Tabs() const { return static_cast<int>(pages_.size()); }
  QString TabCaption(int tab) const;
  QWidget* page(int tab) const { return pages_.at(static_cast<std::size_t>(tab)); }
  QPushButton* head(int tab) const { return heads_.at(static_cast<std::size_t>(tab)); }

 protected:
  void resizeEvent(QResizeEvent* e) override;

 private:
  void layoutHeads();
  std::vector<QWidget*> pages_;
  std::vector<QPushButton*> heads_;
  QButtonGroup* group_;
  int perRow_;
  int headHeight_;
  int current_ = 0;
};

class KaoForm : public ui::Form {
 public:
  static constexpr int kTabs = 12;
  static constexpr int kFavouritesTab = 11;
  static constexpr int kTabShownAtLoad = 8;

  SSTab* SSTab1;
  // The boxes of tabs 0 to 11.
  QPlainTextEdit* Kao1;
  QPlainTextEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6, *Text7, *Text8, *Text9, *Text10, *Text11;
  // The buttons (which tab and kind each is: see the table in the source).
  QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6, *Command7, *Command8, *Command9,
      *Command10, *Command11, *Command12, *Command13, *Command14, *Command15, *Command16, *Command17, *Command18,
      *Command19, *Command20, *Command21, *Command22, *Command23, *Command24, *Command25, *Command26, *Command27,
      *Command28, *Command29, *Command30, *Command31, *Command32, *Command33, *Command34, *Command35, *Command36,
      *Command37, *Command38, *Command39, *Command40, *Command41, *Command42, *Command43, *Command44, *Command45,
      *Command46, *Command47;
  std::array<QLabel*, kTabs> Label3;  // the instruction on each page
  QLabel* Label4;                     // the note below the tabs

  // The box of a tab (0..11) and its file's program path ("\顔文字データ\Kao1.txt").
  QPlainTextEdit* box(int tab) const { return pages_.at(static_cast<std::size_t>(tab)).box; }
  static QString loadPath(int tab);
  static QString savePath(int tab);

  // The four kinds of buttons of a tab.
  void InsertIntoNewMail(int tab);   // "新規作成本文に挿入"
  void InsertIntoReply(int tab);     // "返事を書く本文に挿入"
  void AddToFavourites(int tab);     // "お気に入りに追加" (not on the favourites tab)
  void PasteIntoBox(int tab);        // "追加（貼付）"

  // The buttons of a tab: insert into new mail, insert into a reply, add to
  // the favourites (nullptr on the favourites tab), paste.
  QPushButton* newMailButton(int tab) const { return pages_.at(static_cast<std::size_t>(tab)).newMail; }
  QPushButton* replyButton(int tab) const { return pages_.at(static_cast<std::size_t>(tab)).reply; }
  QPushButton* favouriteButton(int tab) const { return pages_.at(static_cast<std::size_t>(tab)).favourite; }
  QPushButton* pasteButton(int tab) const { return pages_.at(static_cast<std::size_t>(tab)).paste; }

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;

 private:
  KaoForm();
  friend class ui::Accessor<KaoForm>;
  // Takes the box's selection onto the clipboard and drops it; returns the
  // text to insert (the selection without the blanks at its ends).
  QString takeSelection(int tab);
  // Writes the twelve files; the names of those that could not be written.
  QStringList saveFiles();

  struct Page {
    QPlainTextEdit* box = nullptr;
    QPushButton* newMail = nullptr;
    QPushButton* reply = nullptr;
    QPushButton* favourite = nullptr;
    QPushButton* paste = nullptr;
  };
  std::array<Page, kTabs> pages_;
  // What the load found: the file's bytes and the box's text made of them,
  // and whether the file existed but could not be read.
  struct Loaded {
    std::string bytes;
    QString text;
    bool unreadable = false;
  };
  std::array<Loaded, kTabs> loaded_;
};

}  // namespace forms

// The one face-mark chooser of the program (loaded hidden on first touch).
forms::KaoForm& KaoForm();
bool KaoFormLoaded();
