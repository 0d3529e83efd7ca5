#include "client/history/openform.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "client/history/kinkoform.h"
#include "client/history/safes.h"
#include "client/history/openmaillist.h"

namespace {
ui::Accessor<forms::OpenForm>& accessor() {
  static ui::Accessor<forms::OpenForm> a;
  return a;
}
}  // namespace

forms::OpenForm& OpenForm() { return accessor()(); }
bool OpenFormLoaded() { return accessor().isLoaded(); }

namespace forms {

OpenForm::OpenForm() : ui::Form(QStringLiteral("OpenForm")) {
  setCaption(QStringLiteral("金庫を開く"));
  ui::fixedSingleBorder(this);
  QWidget* c = client();
  const QColor navy(0, 0, 192);
  c->setProperty("backColor", navy);
  {
    QPalette pal = c->palette();
    pal.setColor(QPalette::Window, navy);
    c->setPalette(pal);
    c->setAutoFillBackground(true);
  }
  Frame1 = ui::control<QGroupBox>(c, QStringLiteral("Frame1"), 120, 120, 3495, 1935);
  Frame1->setTitle(QStringLiteral("金庫"));
  Frame1->setStyleSheet(QStringLiteral("QGroupBox { background-color: %1; color: white; }").arg(navy.name()));
  QWidget* f = Frame1;
  Command1 = ui::control<QPushButton>(f, QStringLiteral("Command1"), 240, 360, 1815, 375);
  Command1->setText(QStringLiteral("金の金庫を開く"));
  Command4 = ui::control<QPushButton>(f, QStringLiteral("Command4"), 240, 840, 1815, 375);
  Command4->setText(QStringLiteral("銀の金庫を開く"));
  Command5 = ui::control<QPushButton>(f, QStringLiteral("Command5"), 240, 1320, 1815, 375);
  Command5->setText(QStringLiteral("銅の金庫を開く"));
  const int labelTops[3] = {440, 940, 1420};
  const int boxTops[3] = {400, 900, 1380};
  QLabel** labels[3] = {&Label1, &Label2, &Label3};
  QLineEdit** boxes[3] = {&Text1, &Text2, &Text3};
  for (int i = 0; i < 3; ++i) {
    *labels[i] = ui::control<QLabel>(f, QStringLiteral("Label%1").arg(i + 1), 2280, labelTops[i], 375, 255);
    (*labels[i])->setText(QStringLiteral("件数"));
    (*labels[i])->setStyleSheet(QStringLiteral("color: rgb(255, 255, 255);"));
    *boxes[i] = ui::control<QLineEdit>(f, QStringLiteral("Text%1").arg(i + 1), 2760, boxTops[i], 495, 270);
  }
  connect(Command1, &QPushButton::clicked, this, [] { OpenMailList(3); });
  connect(Command4, &QPushButton::clicked, this, [] { OpenMailList(4); });
  connect(Command5, &QPushButton::clicked, this, [] { OpenMailList(5); });
}

void OpenForm::Form_Load() {
  history::centreFixedWindow(this, 3720, 2160);
  Text1->setText(QString::number(SafeRecordCount(3)));
  Text2->setText(QString::number(SafeRecordCount(4)));
  Text3->setText(QString::number(SafeRecordCount(5)));
  history::colourButton(Command1, QColor(200, 177, 128));
  history::colourButton(Command4, QColor(116, 103, 107));
  history::colourButton(Command5, QColor(166, 34, 17));
}

}  // namespace forms
