// The reply composer's attachments: the paths in AttachText joined by ",",
// their file names in List2.
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "client/composer/backform.h"
#include "client/composer/backparts.h"

namespace forms {

namespace {
// The file's title as the file dialogs show it: its name without the folder.
QString fileTitle(const QString& path) { return QFileInfo(path).fileName(); }
}  // namespace

// Shows the open dialog (read-only box hidden); a chosen file is put into
// AttachText (replacing it for the first, appended after a "," otherwise)
// and its title added to List2. A cancelled dialog chooses nothing.
void BackForm::chooseAttachment(bool first) {
  AttachCommonDialog.Flags = 4;
  AttachCommonDialog.FileName.clear();
  if (!AttachCommonDialog.ShowOpen()) return;
  const QString path = AttachCommonDialog.FileName;
  if (path.isEmpty()) return;
  AttachText->setText(first ? path : AttachText->text() + QLatin1Char(',') + path);
  List2->addItem(fileTitle(path));
}

void BackForm::AttachCommand_Click() {
  Command9->setEnabled(true);
  chooseAttachment(true);
  AttachCommand->setEnabled(false);
}

void BackForm::Command9_Click() {
  List2->show();
  List2->raise();
  if (AttachText->text().isEmpty()) return;
  chooseAttachment(false);
}

void BackForm::Command10_Click() {
  AttachText->clear();
  List2->clear();
  List2->hide();
  Command9->setEnabled(false);
  Command10->setEnabled(false);
  AttachCommand->setEnabled(true);
}

void BackForm::Command6_Click() {
  if (BackAttachListToggleCount % 2 == 0) {
    backparts::setBackColor(Command6, QColor(255, 255, 0));
    Command6->setText(QStringLiteral("非表示"));
    List2->hide();
  } else {
    backparts::setBackColor(Command6, QColor(192, 192, 192));
    Command6->setText(QStringLiteral("表示"));
    List2->show();
    List2->raise();
  }
  BackAttachListToggleCount = static_cast<std::int16_t>(BackAttachListToggleCount + 1);
}

}  // namespace forms
