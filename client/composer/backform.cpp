#include "client/composer/backform.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTextEdit>
#include <QToolBar>

#include "client/history/tyakuform.h"
#include "client/mainwindow/settings.h"
#include "platform/vbstring.h"

namespace {
ui::Accessor<forms::BackForm>& accessor() {
  static ui::Accessor<forms::BackForm> a;
  return a;
}
constexpr int kDesignScaleWidth = 9600;
constexpr int kDesignScaleHeight = 7200;
}  // namespace

forms::BackForm& BackForm() { return accessor()(); }
bool BackFormLoaded() { return accessor().isLoaded(); }

namespace forms {

BackForm::BackForm() : ui::Form(QStringLiteral("BackForm")) {
  setCaption(QStringLiteral("返事を書く"));
  QWidget* c = client();
  CommonDialog1.setOwner(this);
  tbToolBar = new QToolBar(c);
  tbToolBar->setObjectName(QStringLiteral("tbToolBar"));
  ui::place(tbToolBar, 0, 0, kDesignScaleWidth, 390);
  auto* toLabel = ui::control<QLabel>(c, QStringLiteral("Label_To"), 0, 480, 900, 300);
  toLabel->setText(QStringLiteral("宛先"));
  ToText = ui::control<QLineEdit>(c, QStringLiteral("ToText"), 960, 450, 5760, 330);
  auto* subjectLabel = ui::control<QLabel>(c, QStringLiteral("Label_Subject"), 0, 870, 900, 300);
  subjectLabel->setText(QStringLiteral("題名"));
  SubjectText = ui::control<QLineEdit>(c, QStringLiteral("SubjectText"), 960, 840, 5760, 330);
  Label1 = ui::control<QLabel>(c, QStringLiteral("Label1"), 6900, 480, 800, 300);
  Label1->setText(QStringLiteral("文字Size"));
  Text10 = ui::control<QLineEdit>(c, QStringLiteral("Text10"), 7700, 450, 375, 300);
  HScroll1 = ui::control<QScrollBar>(c, QStringLiteral("HScroll1"), 8100, 480, 1400, 255, Qt::Horizontal);
  HScroll1->setRange(8, 24);
  HScroll1->setValue(8);
  rtfEd = ui::control<QTextEdit>(c, QStringLiteral("rtfEd"), 0, 1260, kDesignScaleWidth, 5800);
  rtfEd->setAcceptRichText(false);
  rtfEd->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 11.25));
  connect(HScroll1, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
}

void BackForm::HScroll1_Change() {
  const int size = HScroll1->value();
  for (QWidget* w : std::initializer_list<QWidget*>{ToText, SubjectText, rtfEd}) {
    QFont f = w->font();
    f.setPointSize(size);
    w->setFont(f);
  }
  Text10->setText(QString::number(size));
}

void BackForm::Form_Load() {
  Text10->setText(QString::number(settings::readNumber(settings::key::BackFontSize)));
  HScroll1->setValue(std::clamp(static_cast<int>(vb::Val(Text10->text())), 8, 24));
  if (vb::Val(Text10->text()) != HScroll1->value()) Text10->setText(QString::number(HScroll1->value()));
  // Size kept from the last closing; nothing kept gives the design size.
  const int w = settings::readNumber(settings::key::BackWidth);
  const int h = settings::readNumber(settings::key::BackHeight);
  const QSize extra = ui::frameExtra(this);
  setWidth(w > 0 ? w : kDesignScaleWidth + ui::tw(extra.width()));
  setHeight(h > 0 ? h : kDesignScaleHeight + ui::tw(extra.height()));
  // The body passes once through the clipboard.
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(EditorText(rtfEd));
  SetEditorText(rtfEd, vb::Trim(cb->text()));
  Form_Resize();
}

void BackForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  rtfEd->resize(std::max(0, ui::px(W - 130)), rtfEd->height());
  ToText->resize(ui::px(static_cast<int>(W * 0.6)), ToText->height());
  SubjectText->resize(ui::px(static_cast<int>(W * 0.6)), SubjectText->height());
  tbToolBar->resize(client()->width(), tbToolBar->height());
  if (H > 3500) rtfEd->resize(rtfEd->width(), std::max(0, client()->height() - rtfEd->y()));
}

void BackForm::Form_Unload(int& cancel) {
  (void)cancel;
  rtfEd->clear();
  settings::writeText(settings::key::BackFontSize, Text10->text());
  settings::writeNumber(settings::key::BackWidth, Width());
  settings::writeNumber(settings::key::BackHeight, Height());
}

}  // namespace forms
