#include "ui.h"

#include "border.h"

#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QFontDatabase>
#include <QIcon>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <memory>
#include <QTimer>
#include <QPushButton>
#include <QScreen>
#include <QTextBlock>
#include <QTextOption>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
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
  // A box's own background is its Base; a panel's or a window's is its
  // Window colour, which must not spread to the boxes on it as their Base.
  const bool box = qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractScrollArea*>(w) ||
                   qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w);
  QPalette p = w->palette();
  if (box) p.setColor(QPalette::Base, c);
  p.setColor(QPalette::Window, c);
  w->setPalette(p);
  w->setAutoFillBackground(true);
}

namespace {

// Watches the key presses that reach a list: a change of the current row
// while a key is being handled is the user's, any other is the program's.
class KeyboardRowClick : public QObject {
 public:
  KeyboardRowClick(QAbstractItemView* list, std::function<void()> click)
      : QObject(list), list_(list), click_(std::move(click)) {
    list->installEventFilter(this);
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& now) { currentChanged(now); });
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == list_) {
      switch (e->type()) {
        case QEvent::KeyPress: keyDown_ = true; break;
        case QEvent::KeyRelease:
        case QEvent::FocusOut: keyDown_ = false; break;
        default: break;
      }
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  void currentChanged(const QModelIndex& now) {
    if (!keyDown_ || !now.isValid()) return;
    keyDown_ = false;  // what the click does to the list is the program's
    // A move with Ctrl held leaves the old row highlighted: the row made
    // current is the row chosen.
    QItemSelectionModel* selection = list_->selectionModel();
    if (!selection->isSelected(now))
      selection->select(now, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    click_();
  }

  QAbstractItemView* list_;
  std::function<void()> click_;
  bool keyDown_ = false;
};

}  // namespace

void clickOnKeyboardRowChange(QAbstractItemView* list, std::function<void()> click) {
  new KeyboardRowClick(list, std::move(click));
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

void installIconTheme() {
  const QString current = QIcon::themeName();
  if (!current.isEmpty() && current != QLatin1String("hicolor")) return;
  // The system's icon folders (a desktop-less platform may name none).
  QStringList dirs = QIcon::themeSearchPaths();
  for (const QString& dir :
       QStandardPaths::locateAll(QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory))
    if (!dirs.contains(dir)) dirs << dir;
  for (const QString& dir : dirs) {
    if (QFileInfo::exists(dir + QStringLiteral("/Adwaita/index.theme"))) {
      QIcon::setThemeSearchPaths(dirs);
      QIcon::setThemeName(QStringLiteral("Adwaita"));
      return;
    }
  }
}

void initProgram(const QString& title) {
  installFontSubstitutions();
  installJapaneseLocale();
  installIconTheme();
  seams::setDefaultTitle(title);
  QApplication::setApplicationName(title);
}

namespace {
// A control's own font size before any fitting, kept on the control.
double unfittedSize(QWidget* w) {
  QVariant base = w->property("fittedBaseSize");
  if (!base.isValid()) {
    base = w->font().pointSizeF();
    w->setProperty("fittedBaseSize", base);
  }
  return base.toDouble();
}
}  // namespace

void setFontSize(QWidget* w, double pointSize) {
  QFont f = w->font();
  f.setPointSizeF(pointSize);
  w->setFont(f);
  w->setProperty("fittedBaseSize", pointSize);
}

int textRoom(const QLineEdit* box) {
  QStyleOptionFrame opt;
  opt.initFrom(box);
  opt.lineWidth = box->hasFrame() ? box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, box) : 0;
  const QRect r = box->style()->subElementRect(QStyle::SE_LineEditContents, &opt, box);
  const QMargins m = box->textMargins();
  // (the box keeps two pixels clear on either side of its text)
  return r.width() - m.left() - m.right() - 2 * 2;
}

void fitBoxText(QLineEdit* box, const QString& widest) {
  QFont f = box->font();
  for (double size = unfittedSize(box); size >= 6; size -= 0.5) {
    f.setPointSizeF(size);
    if (QFontMetrics(f).horizontalAdvance(widest) <= textRoom(box)) break;
  }
  box->setFont(f);
}

void fitLabel(QLabel* label) {
  QFont f = label->font();
  const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(), -label->margin());
  for (double size = unfittedSize(label); size >= 6; size -= 0.5) {
    f.setPointSizeF(size);
    const QFontMetrics fm(f);
    int widest = 0;
    const QStringList lines = label->text().split(u'\n');
    for (const QString& l : lines) widest = std::max(widest, fm.horizontalAdvance(l));
    if (widest <= room.width() && fm.height() + (lines.size() - 1) * fm.lineSpacing() <= room.height()) break;
  }
  label->setFont(f);
}

void showFitted(QPlainTextEdit* box, const QString& text) {
  box->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  box->setPlainText(text);
  box->setVisible(true);
  // The lines laid out at each size, against the box's visible height.
  auto* layout = qobject_cast<QPlainTextDocumentLayout*>(box->document()->documentLayout());
  const qreal room = box->viewport()->height() - 2 * box->document()->documentMargin();
  QFont f = box->font();
  for (double size = unfittedSize(box); size >= 6; size -= 0.5) {
    f.setPointSizeF(size);
    box->setFont(f);
    if (!layout) break;
    qreal height = 0;
    for (QTextBlock b = box->document()->begin(); b.isValid(); b = b.next()) height += layout->blockBoundingRect(b).height();
    if (height <= room) break;
  }
}

namespace {
// The classic frame: 4-pixel borders and a 26-pixel caption bar.
constexpr int kBorder = 4;
constexpr int kCaptionBar = 26;

// The caption's lines at font f: as it is when it fits on one line, else
// broken into two where the longer line is shortest, at a blank when that
// gives lines that fit, else between any two characters. Empty when it does
// not fit.
QString captionLines(const QString& caption, const QFont& f, const QRect& room) {
  const QFontMetrics fm(f);
  if (fm.height() > room.height()) return {};
  if (fm.horizontalAdvance(caption) <= room.width()) return caption;
  if (2 * fm.height() > room.height()) return {};
  for (const bool atBlank : {true, false}) {
    QString best;
    int bestWidth = room.width() + 1;
    for (qsizetype i = 1; i < caption.size(); ++i) {
      if (caption[i].isLowSurrogate() || (atBlank && caption[i] != u' ')) continue;
      const QString left = caption.left(i), right = atBlank ? caption.mid(i + 1) : caption.mid(i);
      const int w = std::max(fm.horizontalAdvance(left), fm.horizontalAdvance(right));
      if (w < bestWidth) {
        bestWidth = w;
        best = left + u'\n' + right;
      }
    }
    if (!best.isEmpty()) return best;
  }
  return {};
}

// As much of the caption as the room holds at font f: the lines that fit
// filled in turn, the last one ending in "…".
QString cutCaption(const QString& caption, const QFont& f, const QRect& room) {
  const QFontMetrics fm(f);
  const int lines = std::max(1, room.height() / fm.height());
  QStringList out;
  QString rest = caption;
  while (static_cast<int>(out.size()) < lines - 1 && !rest.isEmpty()) {
    qsizetype n = rest.size();
    while (n > 1 && fm.horizontalAdvance(rest.left(n)) > room.width()) --n;
    if (n < rest.size() && rest[n].isLowSurrogate()) --n;
    out << rest.left(n);
    rest = rest.mid(n);
  }
  out << fm.elidedText(rest, Qt::ElideRight, room.width());
  return out.join(u'\n');
}
}  // namespace

void fitCaption(QPushButton* button, const QString& caption) {
  QStyleOptionButton opt;
  opt.initFrom(button);
  const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, button).adjusted(1, 0, -1, 0);
  QFont f = button->font();
  for (double size = unfittedSize(button); size >= 6; size -= 0.5) {
    f.setPointSizeF(size);
    const QString lines = captionLines(caption, f, room);
    if (lines.isEmpty()) continue;
    button->setFont(f);
    button->setText(lines);
    button->setToolTip({});
    return;
  }
  // Not even at the smallest size: as much as the button holds, and the
  // whole caption as the tool tip.
  button->setFont(f);
  button->setText(cutCaption(caption, f, room));
  button->setToolTip(caption);
}

int widthForCaption(const QWidget* window) {
  return QFontMetrics(window->font()).horizontalAdvance(window->windowTitle()) + 4 * kCaptionBar + 2 * kBorder;
}

void holdControls(Form* f, std::initializer_list<const QWidget*> controls) {
  QWidget* c = f->client();
  QRect extent(0, 0, 1, 1);
  if (controls.size() == 0) {
    for (QObject* o : c->children())
      if (auto* w = qobject_cast<QWidget*>(o); w && !w->isWindow() && !w->isHidden()) extent |= w->geometry();
  } else {
    for (const QWidget* w : controls) extent |= QRect(w->mapTo(c, QPoint(0, 0)), w->size());
  }
  c->setMinimumSize(extent.right() + 1, extent.bottom() + 1);
}

QSize frameExtra(const QWidget* w) {
  if (w->windowFlags() & Qt::FramelessWindowHint) return QSize(0, 0);
  // Always the same measure, shown or hidden and whatever frame the window
  // manager draws (or none): a size read at closing and set at the next
  // opening must give the same window.
  return QSize(2 * kBorder, kCaptionBar + 2 * kBorder);
}

Hover::Hover(QObject* parent, std::function<void(QWidget*)> step) : QObject(parent), step_(std::move(step)) {}

void Hover::watch(QWidget* w, QWidget* as) {
  as_.insert(w, as ? as : w);
  w->setMouseTracking(true);
  w->installEventFilter(this);
}

bool Hover::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() != QEvent::MouseMove && e->type() != QEvent::Enter) return false;
  auto* w = qobject_cast<QWidget*>(watched);
  if (!w || !takesMouse(w)) return false;
  // The deepest control under the pointer, and the watched control nearest
  // above it: only that one runs its step.
  const QPoint at = static_cast<QSinglePointEvent*>(e)->position().toPoint();
  for (QWidget* under = w->childAt(at); under && under != w; under = under->parentWidget())
    if (takesMouse(under)) return false;
  step_(as_.value(w));
  return false;
}

void placeBeside(QWidget* w, const QWidget* other, const QRect& free) {
  const QSize outer = w->size() + frameExtra(w);
  const QRect o(other->pos(), other->size() + frameExtra(other));
  const QScreen* s = other->screen() ? other->screen() : QGuiApplication::primaryScreen();
  const QRect area = s ? s->availableGeometry() : QRect();
  const int top = std::clamp(o.top(), area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
  if (o.right() + 1 + outer.width() <= area.right() + 1) {
    w->move(o.right() + 1, top);
  } else if (o.left() - outer.width() >= area.left()) {
    w->move(o.left() - outer.width(), top);
  } else if (free.isValid()) {
    // Over the free part, its lower right corner on free's; pushed up and
    // left where free is smaller, never off the screen.
    const QRect room = free.intersected(area).isValid() ? free.intersected(area) : area;
    const int left = std::max(area.left(), std::min(room.right() + 1 - outer.width(), area.right() + 1 - outer.width()));
    const int y = std::max(area.top(), std::min(room.bottom() + 1 - outer.height(), area.bottom() + 1 - outer.height()));
    w->move(left, y);
  } else {
    w->move(std::max(area.left(), o.left() - outer.width()), top);
  }
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
// A size set in twips that fall between two pixels reads back as it was set
// for as long as the window keeps the pixel size it gave.
int Form::Width() const {
  return width() == setWidth_.pixels ? setWidth_.twips : tw(width() + frameExtra(this).width());
}
int Form::Height() const {
  return height() == setHeight_.pixels ? setHeight_.twips : tw(height() + frameExtra(this).height());
}

void Form::setLeft(int twips) { move(px(twips), frameGeometry().y()); }
void Form::setTop(int twips) { move(frameGeometry().x(), px(twips)); }
// (a size the window does not take, below its least size, reads back as the
// size it has)
void Form::setWidth(int twips) {
  const int asked = std::max(1, px(twips) - frameExtra(this).width());
  resize(asked, height());
  setWidth_ = width() == asked ? SetSize{twips, width()} : SetSize{};
}
void Form::setHeight(int twips) {
  const int asked = std::max(1, px(twips) - frameExtra(this).height());
  resize(width(), asked);
  setHeight_ = height() == asked ? SetSize{twips, height()} : SetSize{};
}
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
  const bool handled = QMainWindow::event(e);
  // A change of state (maximised, restored) runs the layout again with the
  // new state: a window manager may size the window before it tells the
  // state, and the layout that ran at the resize saw the old one.
  if (e->type() == QEvent::WindowStateChange && loaded_ && !loading_ && isVisible()) Form_Resize();
  return handled;
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
  else {
    // Hidden (in the tray): the next show maps it as a normal window. A
    // native window that was once minimised keeps asking the window manager
    // to map it minimised, even after the window manager restored it: it is
    // made afresh.
    // It comes back where it was.
    const QPoint at = pos();
    QMainWindow::setWindowState(Qt::WindowNoState);
    if (windowHandle()) {
      destroy(true, true);
      move(at);
      comeBackAt_ = at;
    }
  }
}

void Form::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  fixedSizeHints(this);
  if (!comeBackAt_) return;
  // A native window made afresh may be placed before the window manager has
  // told its frame: the place is put right once the frame is on (tried for
  // a second at most, so that a window the user moves meanwhile is left).
  const QPoint at = *comeBackAt_;
  comeBackAt_.reset();
  auto done = std::make_shared<bool>(false);
  for (int k = 1; k <= 20; ++k)
    QTimer::singleShot(50 * k, this, [this, at, done] {
      if (*done || !isVisible()) return;
      if (pos() == at) *done = true;
      else move(at);
    });
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
