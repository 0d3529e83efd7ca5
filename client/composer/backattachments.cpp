// The reply composer's attachments: the paths in AttachText joined by ",",
// their file names in List2.
#include <QFileInfo>

#include "client/composer/attachmentrow.h"
#include "client/composer/backform.h"

namespace forms {

namespace {
attachmentrow::Row row(BackForm& f) { return {f.AttachText, f.List2, f.AttachCommand, f.Command9, f.Command10}; }

// The file's title as the file dialogs show it: its name without the folder.
QString fileTitle(const QString& path) { return QFileInfo(path).fileName(); }
}  // namespace

void BackForm::AttachCommand_Click() {
  attachmentrow::attachFirst(row(*this), AttachCommonDialog, fileTitle);
}

void BackForm::Command9_Click() {
  attachmentrow::attachAnother(row(*this), AttachCommonDialog, fileTitle);
}

void BackForm::Command10_Click() { attachmentrow::clear(row(*this)); }

void BackForm::Command6_Click() { attachmentrow::toggleList(Command6, List2, BackAttachListToggleCount); }

}  // namespace forms
