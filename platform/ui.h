#pragma once
// The window framework every program's windows are built on.
//
// - One class per window, derived from ui::Form; controls are members with
//   the names the program uses (Text7, Command4) and the same objectName.
// - Load on touch: a program-wide ui::Accessor<T> per window creates the
//   window hidden on first use and runs its load steps; Unload() runs its
//   query-unload and unload steps and destroys it, so the next touch builds
//   it afresh with its design values.
// - Geometry in twips: 15 twips per logical pixel. A window's Width and
//   Height are its outer size (frame and menu bar included); controls are
//   placed in the client area below the menu bar.
// - ui::endAtOnce() ends the program at once without any window's unload
//   steps; tests replace it with a hook.
#include <QColor>
#include <QFont>
#include <QHash>
#include <QMainWindow>
#include <QString>
#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

class QPlainTextEdit;

class QAbstractItemView;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ui {

constexpr int kTwipsPerPixel = 15;
// Twips to pixels (rounded to nearest) and back.
constexpr int px(int twips) { return twips >= 0 ? (twips + 7) / 15 : -((-twips + 7) / 15); }
constexpr int tw(int pixels) { return pixels * kTwipsPerPixel; }

// Places a child control: left, top, width and height in twips.
void place(QWidget* w, int left, int top, int width, int height);
// A control's geometry in twips of its parent, and moving or sizing it by
// one side (a width or height below zero is taken as zero).
inline int twL(const QWidget* w) { return tw(w->x()); }
inline int twT(const QWidget* w) { return tw(w->y()); }
inline int twW(const QWidget* w) { return tw(w->width()); }
inline int twH(const QWidget* w) { return tw(w->height()); }
inline void setLeftTw(QWidget* w, int l) { w->move(px(l), w->y()); }
inline void setTopTw(QWidget* w, int t) { w->move(w->x(), px(t)); }
inline void setWidthTw(QWidget* w, int wd) { w->resize(std::max(0, px(wd)), w->height()); }
inline void setHeightTw(QWidget* w, int h) { w->resize(w->width(), std::max(0, px(h))); }
// Creates a control of type W under parent with objectName name at the twips rectangle.
template <class W, class... Args>
W* control(QWidget* parent, const QString& name, int left, int top, int width, int height, Args&&... args) {
  W* w = new W(std::forward<Args>(args)..., parent);
  w->setObjectName(name);
  place(w, left, top, width, height);
  return w;
}

// Background colour of a control, kept in its "backColor" property: a
// button takes it through its style sheet, a text, list or combo box as its
// Base, any other control (a panel, a label, a window's client) as its
// Window colour with the background filled; the boxes on a coloured panel
// keep their own white.
void setBackColor(QWidget* w, const QColor& c);

// The plain controls of a window: a push button with its caption that takes
// the focus by Tab only (a click leaves the focus where it was), a label with
// its text, and a one-line text box.
QPushButton* button(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width,
                    int height);
QLabel* label(QWidget* parent, const QString& name, const QString& caption, int left, int top, int width, int height);
QLineEdit* textBox(QWidget* parent, const QString& name, int left, int top, int width, int height);

// A list's Click by keyboard: when the user makes another row the current
// one with the keys (arrows, Home, End, the page keys, typing a row's first
// letters), that row is selected and click runs, just as a click with the
// mouse runs it. The window keeps its own mouse handling. So the row shown,
// the row highlighted and the row that a later action works on stay one and
// the same. A change of the current row made by code runs nothing.
void clickOnKeyboardRowChange(QAbstractItemView* list, std::function<void()> click);

// Font of the classic names mapped to installed Japanese fonts
// ("ＭＳ ゴシック" IPAGothic, "ＭＳ Ｐゴシック" IPAPGothic, "ＭＳ 明朝" IPAMincho).
void installFontSubstitutions();
QFont font(const QString& name, double pointSize, bool bold = false, bool italic = false, bool underline = false);

// Sets a control's own font size: the size it shows its text at, and the
// size a fitted box or caption starts from (below).
void setFontSize(QWidget* w, double pointSize);

// Shows the help box with text, wrapped at the box's width; a text too long
// for the fixed box at the box's own font size gets a smaller font (by half
// points, not below 6 points) so that the whole of it shows.
void showFitted(QPlainTextEdit* box, const QString& text);

// Shows caption on button whole, in the button's own size: on one line at
// the button's font when it fits, else on one or two lines at the largest
// size (by half points, not below 6 points) at which it fits. A caption too
// long even then is cut with "…" and shown whole as the button's tool tip.
void fitCaption(QPushButton* button, const QString& caption);

// The least client width at which a title bar shows the window's whole
// caption: the caption in the window's font beside the window icon and the
// three caption buttons of the classic frame, each a square as high as the
// caption bar, with a little room at either end of the text.
int widthForCaption(const QWidget* window);

// The width a one-line box gives its text: its inside less its frame and
// the margins it keeps about the text.
int textRoom(const QLineEdit* box);
// The box's font made no larger than its own size and small enough (by half
// points, not below 6 points) that widest shows whole in it.
void fitBoxText(QLineEdit* box, const QString& widest);

// The label's font made no larger than its own size and small enough (by
// half points, not below 6 points) that its text shows whole in it.
void fitLabel(QLabel* label);

// Runs pending window events once (as DoEvents).
void doEvents();

// The user's desk is Japanese: the standard dialogs (file, print, colour) and
// the calendar speak Japanese whatever the machine's own locale is.
void installJapaneseLocale();

// The desktop's icon theme: the one the desktop set, else an installed
// Adwaita, so that icons asked for by their theme names (edit-cut,
// document-print) are found outside a desktop session too.
void installIconTheme();

// Common set-up of a program: font substitutions, Japanese locale, icon
// theme, default message-box title.
void initProgram(const QString& title);

// Hover help of a window: runs the window's hover step for a watched
// control on every move of the mouse over it, with or without a button held,
// and when the pointer enters it. A move over a watched control belongs to
// that control alone, even when the control passes it on to the panel or
// background it lies on; a disabled control takes no mouse, so a move over
// it belongs to what lies beneath.
class Hover : public QObject {
 public:
  Hover(QObject* parent, std::function<void(QWidget*)> step);
  // Watches w; a move over it is a move over `as` (a list's viewport stands
  // for the list).
  void watch(QWidget* w, QWidget* as = nullptr);
  void watch(std::initializer_list<QWidget*> ws) {
    for (QWidget* w : ws) watch(w);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  bool takesMouse(const QWidget* w) const { return as_.contains(w) && w->isEnabled(); }
  std::function<void(QWidget*)> step_;
  QHash<const QWidget*, QWidget*> as_;
};

// Classic unload modes passed to Form_QueryUnload.
enum UnloadMode { vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2, vbAppTaskManager = 3 };

class Form : public QMainWindow {
 public:
  explicit Form(const QString& name, QWidget* parent = nullptr);
  ~Form() override;

  // The client area, where the controls sit (below the menu bar).
  QWidget* client() const { return client_; }

  // Geometry in twips. Width and Height are the outer size.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void setLeft(int twips);
  void setTop(int twips);
  void setWidth(int twips);
  void setHeight(int twips);
  void Move(int left, int top, int width = -1, int height = -1);
  // Size of the client area in twips.
  int ScaleWidth() const;
  int ScaleHeight() const;

  QString Caption() const { return windowTitle(); }
  void setCaption(const QString& c) { setWindowTitle(c); }

  // Shows the window (modal: runs a local event loop until it is hidden or unloaded).
  void Show(bool modal = false);
  void Hide() { hide(); }
  bool Visible() const { return isVisible(); }

  // Unloads by code: query-unload (mode vbFormCode), then unload; either can
  // cancel. Returns true when the window was unloaded.
  bool Unload();
  bool isLoaded() const { return loaded_; }

  // Window-state as the classic numbers: 0 normal, 1 minimised, 2 maximised.
  int WindowState() const;
  void setWindowState(int state);

 protected:
  virtual void Form_Load() {}
  virtual void Form_QueryUnload(int& cancel, int unloadMode) { (void)cancel, (void)unloadMode; }
  virtual void Form_Unload(int& cancel) { (void)cancel; }
  virtual void Form_Resize() {}
  virtual void Form_Activate() {}

  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool event(QEvent* e) override;

 private:
  bool runUnload(int mode);
  void load();

  template <class T>
  friend class Accessor;
  QWidget* client_;
  std::function<void()> detach_;
  bool loaded_ = false;
  bool loading_ = false;
  bool unloading_ = false;
  // Where a window made afresh in the tray comes back; none once it is there.
  std::optional<QPoint> comeBackAt_;
  struct SetSize {
    int twips = 0;
    int pixels = -1;
  };
  SetSize setWidth_, setHeight_;
};

// The least size of window f: its client holds each given control (none
// given: every control on the client not hidden) whole where it stands now.
// A window whose controls keep their places when the user makes it smaller
// so keeps them reachable.
void holdControls(Form* f, std::initializer_list<const QWidget*> controls = {});

// The frame counted around a window's client: none for a frameless window,
// otherwise the classic frame (4-pixel borders, a 26-pixel caption) whatever
// the window manager draws, so that a size kept and set again is the same.
QSize frameExtra(const QWidget* w);

// Gives window w a fixed single border: its caption, system menu and close
// box, no minimise and no maximise button, and no resizing (under openbox
// too, which follows no Motif hint for these buttons, for a window that
// belongs to another; a window that belongs to no other keeps its task-bar
// entry there, and openbox gives it a minimise button). Keeps w a dialog
// when it is one, and always on top when it is. Call it after the last
// change of w's window flags; w's size is fixed by its caller. A window of
// fixed size without this border keeps its minimise button and asks for no
// maximising and no resizing either.
void fixedSingleBorder(QWidget* w);

// Places window w beside window other, at other's top: to its right when
// there is room on other's screen for the whole of w, else to its left when
// there is room there. Where neither side has room (other fills the screen,
// maximised or nearly), w goes over free, the part of other (in screen
// coordinates) that w may cover, at its lower right, and above and left of
// it only as far as w is larger than free; without free, to other's left as
// far as the screen allows. So w leaves other's controls free to click.
void placeBeside(QWidget* w, const QWidget* other, const QRect& free = QRect());

// A program-wide window instance, created and loaded on first touch.
template <class T>
class Accessor {
 public:
  Accessor() = default;
  Accessor(const Accessor&) = delete;
  Accessor& operator=(const Accessor&) = delete;
  T& operator()() {
    if (!p_) {
      p_ = new T();
      Form* f = p_;
      f->detach_ = [this] { p_ = nullptr; };
      f->load();
    }
    return *p_;
  }
  bool isLoaded() const { return p_ != nullptr; }
  T* peek() const { return p_; }

 private:
  T* p_ = nullptr;
};

// Ends the program at once: no window's query-unload or unload step runs.
// Tests install a hook that records the call and throws EndCalled to unwind.
struct EndCalled {
  int code;
};
[[noreturn]] void endAtOnce(int code = 0);
void setEndHook(std::function<void(int)> hook);

}  // namespace ui
