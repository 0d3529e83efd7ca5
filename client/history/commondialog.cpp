#include "client/history/commondialog.h"

#include <QPrinter>

#include "platform/seams.h"

bool CommonDialog::showFile(bool save) {
  seams::FileDialogCall c;
  c.kind = save ? seams::FileDialogCall::Save : seams::FileDialogCall::Open;
  c.title = DialogTitle;
  c.filter = Filter;
  c.filterIndex = FilterIndex;
  c.initDir = InitDir;
  c.fileName = FileName;
  c.flags = Flags;
  c.parent = owner_;
  const std::optional<QString> chosen = seams::fileDialog(c);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

bool CommonDialog::ShowOpen() { return showFile(false); }
bool CommonDialog::ShowSave() { return showFile(true); }

bool CommonDialog::ShowPrinter(QPrinter& printer) {
  if (!seams::printDialog(printer, owner_)) return false;
  Copies = std::max(1, printer.copyCount());
  return true;
}
