#include "ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "seams.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace ui {

void place(QWidget* w, int left, int top, int width, int height) {
  w->setGeometry(px(left), px(top), px(width), px(height));
}

QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height) {
  auto* b = control<QPushButton>(parent, name, left, top, width, height);
  b->setText(caption);
  b->setFocusPolicy(Qt::TabFocus);
  return b;
}

QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height) {
  auto* lb = control<QLabel>(parent, name, left, top, width, height);
  lb->setText(caption);
  return lb;
}

QLineEdit* textBox(QWidget* parent, const QString& name, int left, int top, int width, int height) {
  return control<QLineEdit>(parent, name, left, top, width, height);
}

void setBackColor(QWidget* w, const QColor& c) {
  w->setProperty("backColor", c);
  if (qobject_cast<QPushButton*>(w)) {
    w->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; }").arg(c.name()));
    return;
  }
  QPalette p = w->palette();
  p.setColor(QPalette::Base, c);
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

void installFontSubstitutions() {
  QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
  QFont::insertSubstitution(QStringLiteral("ＭＳ 明朝"), QStringLiteral("IPAMincho"));
  QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐ明朝"), QStringLiteral("IPAPMincho"));
  QFont::insertSubstitution(QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"));
}

QFont font(const QString& name, double pointSize, bool bold, bool italic, bool underline) {
  QFont f(name);
  f.setPointSizeF(pointSize);
  f.setBold(bold);
  f.setItalic(italic);
  f.setUnderline(underline);
  return f;
}

void doEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void installJapaneseLocale() {
  QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
  if (!qApp) return;
  static QTranslator* qtText = nullptr;
  if (qtText) return;
  qtText = new QTranslator(qApp);
  if (qtText->load(QLocale(), QStringLiteral("qtbase"), QStringLiteral("_"),
                   QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(qtText);
}

void initProgram(const QString& title) {
  installFontSubstitutions();
  installJapaneseLocale();
  seams::setDefaultTitle(title);
  QApplication::setApplicationName(title);
}

QSize frameExtra(const QWidget* w) {
  if (w->windowFlags() & Qt::FramelessWindowHint) return QSize(0, 0);
  if (w->isVisible()) {
    const QSize d = w->frameGeometry().size() - w->geometry().size();
    if (d.width() > 0 || d.height() > 0) return d;
  }
  return QSize(8, 34);
}

Form::Form(const QString& name, QWidget* parent) : QMainWindow(parent), client_(new QWidget(this)) {
  setObjectName(name);
  client_->setObjectName(name + QStringLiteral("_client"));
  setCentralWidget(client_);
  setAttribute(Qt::WA_DeleteOnClose, false);
}

Form::~Form() {
  if (detach_) detach_();
}

void Form::load() {
  loading_ = true;
  loaded_ = true;
  Form_Load();
  loading_ = false;
}

int Form::Left() const { return tw(frameGeometry().x()); }
int Form::Top() const { return tw(frameGeometry().y()); }
int Form::Width() const { return tw(width() + frameExtra(this).width()); }
int Form::Height() const { return tw(height() + frameExtra(this).height()); }

void Form::setLeft(int twips) { move(px(twips), frameGeometry().y()); }
void Form::setTop(int twips) { move(frameGeometry().x(), px(twips)); }
void Form::setWidth(int twips) { resize(std::max(1, px(twips) - frameExtra(this).width()), height()); }
void Form::setHeight(int twips) { resize(width(), std::max(1, px(twips) - frameExtra(this).height())); }
void Form::Move(int left, int top, int width, int height) {
  move(px(left), px(top));
  if (width >= 0) setWidth(width);
  if (height >= 0) setHeight(height);
}

int Form::ScaleWidth() const { return tw(client_->width()); }
int Form::ScaleHeight() const { return tw(client_->height()); }

void Form::Show(bool modal) {
  show();
  raise();
  activateWindow();
  if (modal) {
    QPointer<Form> self(this);
    QEventLoop loop;
    while (self && self->isVisible()) loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

bool Form::runUnload(int mode) {
  if (unloading_) return true;
  int cancel = 0;
  Form_QueryUnload(cancel, mode);
  if (cancel) return false;
  Form_Unload(cancel);
  if (cancel) return false;
  unloading_ = true;
  loaded_ = false;
  if (detach_) {
    detach_();
    detach_ = nullptr;
  }
  hide();
  deleteLater();
  return true;
}

bool Form::Unload() { return runUnload(vbFormCode); }

void Form::closeEvent(QCloseEvent* e) {
  if (unloading_) {
    e->accept();
    return;
  }
  if (runUnload(vbFormControlMenu)) e->accept();
  else e->ignore();
}

void Form::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  if (!loading_) Form_Resize();
}

bool Form::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) Form_Activate();
  return QMainWindow::event(e);
}

int Form::WindowState() const {
  if (isMinimized()) return 1;
  if (isMaximized()) return 2;
  return 0;
}

void Form::setWindowState(int state) {
  if (state == 1) showMinimized();
  else if (state == 2) showMaximized();
  else if (isVisible()) showNormal();
  else QMainWindow::setWindowState(Qt::WindowNoState);
}

namespace {
std::function<void(int)>& endHook() {
  static std::function<void(int)> h;
  return h;
}
}  // namespace

void endAtOnce(int code) {
#if defined(__SANITIZE_ADDRESS__)
  // Ending at once skips the leak check a sanitized build makes at exit:
  // make it here, while everything still in use is reachable. (What a
  // test's hook strands afterwards, unwinding through Qt's event dispatch,
  // is no memory the program lost.)
  __lsan_do_leak_check();
#endif
  if (endHook()) endHook()(code);
  std::fflush(nullptr);
  std::_Exit(code);
}

void setEndHook(std::function<void(int)> hook) { endHook() = std::move(hook); }

}  // namespace ui
