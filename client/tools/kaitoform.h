#pragma once
// The folder extraction window "フォルダを解凍": LHA archives dropped on it
// are each extracted into a folder of their own beside the archive.
//
// Module6 holds what this window and the compression window share: the
// bindings of the archiver layer (unlha/unlha.h), the check that the
// archiver is there, and the path routines SplitPath, StripExtension and
// PathSeparator. Paths are the file system's own ("/" between folders).
#include <QLabel>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <functional>

#include "platform/ui.h"

class QDragEnterEvent;
class QDragMoveEvent;
class QDropEvent;
class QMimeData;

namespace Module6 {

// The archiver's library name, as the windows look for it.
inline const QString kLibraryName = QStringLiteral("unlha32.dll");

// True when the archiver is there. Our archiver layer is linked into the
// program, so the default search always finds it; tests replace the search
// (an empty function restores the default).
bool LibraryFound();
void setLibrarySearch(std::function<bool(const QString& fileName)> search);

// The presence check both windows run at load: when the archiver is missing,
// the box message (OK, critical icon, title "Error") and the whole program
// ends at once.
void CheckLibrary(const QString& message);

// One call into the archiver, as the windows make it.
struct UnlhaCall {
  QWidget* owner = nullptr;  // the window that owns the call
  QString commandLine;
  bool nullOutput = true;  // no output buffer was passed
  int outputSize = 0;
};
// Runs a command line; 0 is success, any other value an error code. Before
// an extracted file replaces one of other contents the user is asked (yes,
// no, all; title "確認"); what packing left out is named after it.
int Unlha(QWidget* owner, const QString& commandLine, QString* output, int outputSize);
// A name as the archiver's command lines and list file take it whole
// between double quotes: each double quote in it doubled.
QString QuoteText(const QString& name);
// Nonzero when path is an archive the archiver can read.
int UnlhaCheckArchive(const QString& path, int mode);
// Tests replace the archiver calls (empty functions restore the layer).
void setUnlhaHandler(std::function<int(const UnlhaCall&)> handler);
void setCheckArchiveHandler(std::function<int(const QString& path, int mode)> handler);

// The folder part of path up to and including its last "/"; name := the
// part after it, base := name less its extension (the part before its last
// "." that is neither its first nor its final character; the whole name when
// there is none).
QString SplitPath(const QString& path, QString& base, QString& name);
// path less the extension of its last part: the part before the last "."
// after the last "/" (not a leading one); the whole path when there is none.
QString StripExtension(const QString& path);
// "" when path ends with "/", else "/".
QString PathSeparator(const QString& path);
// An archiver result as the failure boxes show it: uppercase hexadecimal
// digits without leading zeros (a negative value as its 32-bit pattern).
QString ErrorCodeText(int result);

// The local files of a drop, in their order (a trailing "/" removed).
QStringList DroppedFiles(const QMimeData* data);

// The pictures the two windows show: a folder with an arrow out of the box
// (extracting) or into it (packing), drawn here.
QPixmap ArchivePicture(bool packing, QSize size);

// Gives the drop events of the window itself and of the listed controls to
// one handler (used by both archiver windows).
class DropForwarder : public QObject {
 public:
  DropForwarder(QObject* parent, std::function<void(const QStringList&)> onDrop)
      : QObject(parent), onDrop_(std::move(onDrop)) {}
  void watch(QWidget* w);
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  std::function<void(const QStringList&)> onDrop_;
};

}  // namespace Module6

namespace forms {

class KaitoForm : public ui::Form {
 public:
  QLabel* Image1;  // the window's picture, stretched
  QLabel* Label1;  // "解凍したいフォルダをドラッグ＆ドロップしてください。"
  QLabel* Label2;  // progress line

  // Files dropped on the window (or on Image1 or Label1), in drop order:
  // each archive is extracted into folder & base name beside it.
  void Form_OLEDragDrop(const QStringList& files);
  void Image1_OLEDragDrop(const QStringList& files) { Form_OLEDragDrop(files); }
  void Label1_OLEDragDrop(const QStringList& files) { Form_OLEDragDrop(files); }

 protected:
  void Form_Load() override;

 private:
  KaitoForm();
  friend class ui::Accessor<KaitoForm>;
};

}  // namespace forms

// The one KaitoForm of the program (loaded hidden on first touch).
forms::KaitoForm& KaitoForm();
bool KaitoFormLoaded();
