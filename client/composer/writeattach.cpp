// The composer's attachments: the chosen files' full paths joined by ","
// in AttachText (what the send hands to the mail library), their titles in
// List2 (for display only).
#include "client/composer/attachmentrow.h"
#include "client/composer/composer.h"
#include "client/composer/writeform.h"
#include "client/history/editorcommands.h"

namespace {

// The file title of a path: its name without the folder.
QString fileTitle(const QString& path) { return FileNameOfPath(path); }

}  // namespace

namespace forms {

namespace {
attachmentrow::Row row(WriteForm& f) { return {f.AttachText, f.List2, f.AttachCommand, f.Command9, f.Command10}; }
}  // namespace

void WriteForm::AttachCommand_Click() {
  attachmentrow::attachFirst(row(*this), AttachCommonDialog, fileTitle);
}

void WriteForm::Command9_Click() {
  attachmentrow::attachAnother(row(*this), AttachCommonDialog, fileTitle);
}

void WriteForm::Command10_Click() { attachmentrow::clear(row(*this)); }

void WriteForm::Command16_Click() { attachmentrow::toggleList(Command16, List2, AttachListToggleCount); }

}  // namespace forms
