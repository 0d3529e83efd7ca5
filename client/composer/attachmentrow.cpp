#include "client/composer/attachmentrow.h"

#include <QColor>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "client/history/commondialog.h"
#include "platform/ui.h"

namespace attachmentrow {

QString chooseFile(CommonDialog& dialog) {
  dialog.Flags = 4;
  dialog.FileName.clear();
  if (!dialog.ShowOpen()) return QString();
  return dialog.FileName;
}

void attachFirst(const Row& row, CommonDialog& dialog, TitleOf title) {
  row.another->setEnabled(true);
  const QString path = chooseFile(dialog);
  if (!path.isEmpty()) {
    row.paths->setText(path);
    row.titles->addItem(title(path));
  }
  row.attach->setEnabled(false);
}

void attachAnother(const Row& row, CommonDialog& dialog, TitleOf title) {
  row.titles->show();
  row.titles->raise();
  if (row.paths->text().isEmpty()) return;
  const QString path = chooseFile(dialog);
  if (path.isEmpty()) return;
  row.paths->setText(row.paths->text() + QLatin1Char(',') + path);
  row.titles->addItem(title(path));
}

void clear(const Row& row) {
  row.paths->clear();
  row.titles->clear();
  row.titles->hide();
  row.another->setEnabled(false);
  row.clear->setEnabled(false);
  row.attach->setEnabled(true);
}

void toggleList(QPushButton* toggle, QListWidget* titles, std::int16_t& count) {
  if (count % 2 == 0) {
    ui::setBackColor(toggle, QColor(255, 255, 0));
    toggle->setText(QStringLiteral("非表示"));
    titles->hide();
  } else {
    ui::setBackColor(toggle, QColor(192, 192, 192));
    toggle->setText(QStringLiteral("表示"));
    titles->show();
    titles->raise();
  }
  count = static_cast<std::int16_t>(count + 1);
}

}  // namespace attachmentrow
