// The short note window (MsgForm), such as "新着メールはありませんでした。".

#include "client/mainwindow/msgform.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

ui::Accessor<forms::MsgForm>& msgFormAccessor() {
  static ui::Accessor<forms::MsgForm> a;
  return a;
}

}  // namespace

namespace forms {

MsgForm::MsgForm() : ui::Form(QStringLiteral("MsgForm")) {
  setCaption(QStringLiteral("　■ ３秒で自動消去"));
  setWidth(4800);
  setHeight(1260);
  // In the middle of the screen.
  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect r = s->availableGeometry();
    setLeft(ui::tw(r.left() + (r.width() - ui::px(4800)) / 2));
    setTop(ui::tw(r.top() + (r.height() - ui::px(1260)) / 2));
  }
  Text1 = ui::control<QLineEdit>(client(), QStringLiteral("Text1"), 240, 180, 4200, 375);
  Text1->setFont(ui::font(QStringLiteral("ＭＳ ゴシック"), 10));
  Text1->setText(QStringLiteral("新着メールはありませんでした。"));
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void MsgForm::Form_Load() {
  // Always above the other windows; its place and size stay as they are.
  const QRect g = geometry();
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  setGeometry(g);
}

}  // namespace forms

forms::MsgForm& MsgForm() { return msgFormAccessor()(); }
bool MsgFormLoaded() { return msgFormAccessor().isLoaded(); }
