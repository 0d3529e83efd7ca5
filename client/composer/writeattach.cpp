// The composer's attachments: the chosen files' full paths joined by ","
// in AttachText (what the send hands to the mail library), their titles in
// List2 (for display only).
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/composer/writeformparts.h"
#include "client/history/editorcommands.h"

using namespace writeform;

namespace {

// The file title of a path: its name without the folder.
QString fileTitle(const QString& path) { return FileNameOfPath(path); }

// Shows the open dialog; the chosen path, or the empty text when the user
// cancelled (a cancel never brings back the file chosen before).
QString chooseFile(CommonDialog& dialog) {
  dialog.Flags = 4;
  dialog.FileName.clear();
  if (!dialog.ShowOpen()) return QString();
  return dialog.FileName;
}

}  // namespace

namespace forms {

void WriteForm::AttachCommand_Click() {
  Command9->setEnabled(true);
  const QString path = chooseFile(AttachCommonDialog);
  if (!path.isEmpty()) {
    AttachText->setText(path);
    List2->addItem(fileTitle(path));
  }
  AttachCommand->setEnabled(false);
}

void WriteForm::Command9_Click() {
  List2->show();
  List2->raise();
  if (AttachText->text().isEmpty()) return;
  const QString path = chooseFile(AttachCommonDialog);
  if (path.isEmpty()) return;
  AttachText->setText(AttachText->text() + QStringLiteral(",") + path);
  List2->addItem(fileTitle(path));
}

void WriteForm::Command10_Click() {
  AttachText->clear();
  List2->clear();
  List2->hide();
  Command9->setEnabled(false);
  Command10->setEnabled(false);
  AttachCommand->setEnabled(true);
}

void WriteForm::Command16_Click() {
  if (AttachListToggleCount % 2 == 0) {
    setBackColor(Command16, toggleYellow());
    Command16->setText(QStringLiteral("非表示"));
    List2->hide();
  } else {
    setBackColor(Command16, toggleGrey());
    Command16->setText(QStringLiteral("表示"));
    List2->show();
    List2->raise();
  }
  AttachListToggleCount = static_cast<std::int16_t>(AttachListToggleCount + 1);
}

}  // namespace forms
