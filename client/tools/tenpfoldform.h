#pragma once
// The attachment-folder window "添付フォルダの状況": the files that the mail
// check expanded from received mail into "\添付フォルダ\", a preview of a
// picture, a page view of any other file, and deletion. The window only
// reads and deletes files there; it never creates any. Every opening is
// preceded by a virus warning that must be answered with Yes.
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include "platform/ui.h"

namespace attachments {

// A list of the plain files of one folder, sorted by name without regard to
// case. Folders (among them the mail library's ".partial" folder of split
// mails still waiting for their pieces) and hidden files are not listed.
class FileList : public QListWidget {
 public:
  explicit FileList(QWidget* parent = nullptr) : QListWidget(parent) {}
  // The folder listed (a real path, without a trailing "/").
  QString Path() const { return path_; }
  void setPath(const QString& folder);
  // Reads the folder again.
  void Refresh();
  int ListCount() const { return count(); }

 private:
  QString path_;
};

// The page view: a text browser that takes the pictures of a page only
// from plain files beside it of at most kMaxShownBytes, never from devices,
// pipes or the network.
class PageView : public QTextBrowser {
 public:
  explicit PageView(QWidget* parent = nullptr) : QTextBrowser(parent) {}
  QVariant loadResource(int type, const QUrl& name) override;
};

// What the page view does with a file that is not a picture: HTML pages are
// shown as pages, text as text (UTF-8 when it is valid UTF-8, else CP932),
// and anything else only by its name. Files are read from the start, at
// most kMaxShownBytes of them. Links are not followed and nothing is
// fetched from the network.
inline constexpr qint64 kMaxShownBytes = 4 * 1024 * 1024;
void showFile(QTextBrowser* browser, const QString& path);

}  // namespace attachments

namespace forms {

class TenpFoldForm : public ui::Form {
 public:
  attachments::FileList* File1;  // the files of the attachment folder
  QPushButton* Command1;         // "削除"
  QFrame* Picture5;              // frames Label1(3) "ファイル数"
  QLabel* Label1_3;
  QLineEdit* Text1;              // number of files in File1
  QFrame* Picture1;              // frames Label1(0) "画像表示用（JPEG,GIF等）"
  QLabel* Label1_0;
  QLabel* Image1;                // preview of a picture, stretched to the box
  QLabel* Image2;                // decoration
  QTextBrowser* WebBrowser1;     // any other file
  QLineEdit* Dir1;               // hidden: the folder the list is pinned to
  QComboBox* Drive1;             // hidden
  QLineEdit* Text2;              // hidden: last file shown in the page view
  QLineEdit* Text3;              // hidden: the selected file, which "削除" deletes
  QLineEdit* Text4;              // hidden: "1" a file is selected, "0" none

  // The attachment folder as the file list is given it (no trailing "/").
  static QString AttachmentFolder();

  void File1_Click();
  void Command1_Click();
  void Dir1_Change();
  void Drive1_Change();

 protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Unload(int& cancel) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TenpFoldForm();
  // The file named by Text3 highlighted again after the list was read
  // afresh; false when it is no longer listed.
  bool highlightSelected();
  bool pressedOnFile_ = false;
  bool resending_ = false;
  friend class ui::Accessor<TenpFoldForm>;
  QString fullPath(const QString& name) const;
};

}  // namespace forms

// The one TenpFoldForm of the program (loaded hidden on first touch).
forms::TenpFoldForm& TenpFoldForm();
bool TenpFoldFormLoaded();
