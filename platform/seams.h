#pragma once
// Everything a window does that reaches outside the program goes through
// these seams, so that tests can replace them: message boxes, the file,
// print and colour dialogs, the clock, the random source, starting another
// program and opening a web address. Each seam has a default that does the
// real thing and a setter that replaces it (an empty function restores the
// default).
#include <QColor>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

class QPrinter;
class QWidget;

namespace seams {

// ---- Message boxes (classic button/icon codes) ----
enum MsgBoxStyle : int {
  vbOKOnly = 0,
  vbOKCancel = 1,
  vbAbortRetryIgnore = 2,
  vbYesNoCancel = 3,
  vbYesNo = 4,
  vbRetryCancel = 5,
  vbYesNoAll = 6,  // はい / いいえ / すべてはい (our own: the classic set has no such box)
  vbCritical = 16,
  vbQuestion = 32,
  vbExclamation = 48,
  vbInformation = 64,
  vbDefaultButton2 = 256,
  vbDefaultButton3 = 512,
  vbSystemModal = 4096,
};
enum MsgBoxResult : int { vbOK = 1, vbCancel = 2, vbAbort = 3, vbRetry = 4, vbIgnore = 5, vbYes = 6, vbNo = 7, vbYesToAll = 8 };

struct MsgBoxCall {
  QString prompt;
  int buttons = vbOKOnly;
  QString title;  // the title shown (the default title when none was given)
  // The window that shows the box and owns it: the box stands over it (and
  // stays on top with it). The active window, when there is one.
  QWidget* owner = nullptr;
};

// The title of boxes that are given none ("RuvoMail" unless a program sets its own).
void setDefaultTitle(const QString& title);
QString defaultTitle();

// Shows a message box and returns the button pressed.
int MsgBox(const QString& prompt, int buttons = vbOKOnly, const QString& title = QString());

// While one lives, the boxes shown are owned by window (while it exists)
// instead of the active window: a step that runs without its window being
// the active one (a drop from another program) shows its boxes over it.
class BoxOwner {
 public:
  explicit BoxOwner(QWidget* window);
  ~BoxOwner();
  BoxOwner(const BoxOwner&) = delete;
  BoxOwner& operator=(const BoxOwner&) = delete;
};
void setMsgBoxHandler(std::function<int(const MsgBoxCall&)> handler);

// ---- File dialogs ----
struct FileDialogCall {
  enum Kind { Open, Save } kind = Open;
  QString title;
  QString filter;  // classic form: "text|*.txt;*.ini|all|*.*"
  int filterIndex = 1;
  QString initDir;
  QString fileName;
  int flags = 0;
  QWidget* parent = nullptr;
};
// The chosen path, or nullopt when cancelled.
std::optional<QString> fileDialog(const FileDialogCall& call);
void setFileDialogHandler(std::function<std::optional<QString>(const FileDialogCall&)> handler);

// ---- Print dialog ----
// Lets the user set up printer; false when cancelled. The handler in tests
// typically points the printer at a PDF file.
bool printDialog(QPrinter& printer, QWidget* parent = nullptr);
void setPrintDialogHandler(std::function<bool(QPrinter&, QWidget*)> handler);

// ---- Colour dialog ----
// Colours are 24-bit values with red in the low byte (0x00BBGGRR).
struct ColorDialogCall {
  std::uint32_t initial = 0;
  std::array<std::uint32_t, 16> custom{};
  bool fullOpen = false;
  QWidget* parent = nullptr;
};
// The chosen colour, or nullopt when cancelled.
std::optional<std::uint32_t> chooseColor(const ColorDialogCall& call);
void setColorDialogHandler(std::function<std::optional<std::uint32_t>(const ColorDialogCall&)> handler);

inline std::uint32_t RGB(int r, int g, int b) {
  return static_cast<std::uint32_t>((r & 255) | ((g & 255) << 8) | ((b & 255) << 16));
}
inline QColor toQColor(std::uint32_t bgr) { return QColor(bgr & 255, (bgr >> 8) & 255, (bgr >> 16) & 255); }
inline std::uint32_t fromQColor(const QColor& c) { return RGB(c.red(), c.green(), c.blue()); }
// The classic 16-colour table QBColor(0..15) as 0x00BBGGRR.
std::uint32_t QBColor(int n);

// ---- Clock ----
QDateTime now();
void setClock(std::function<QDateTime()> clock);
// Milliseconds of a monotonic clock (as GetTickCount / timeGetTime).
std::int64_t tickCount();
void setTickCount(std::function<std::int64_t()> tick);
// The program's date-time text: "yyyy/MM/dd  H:mm:ss".
QString dateTimeText(const QDateTime& t);

// ---- Random source ----
// A number in [0, 1), as Rnd.
float Rnd();
// Reseeds from the clock, as Randomize.
void Randomize();
void setRandom(std::function<float()> rnd);

// ---- Starting another program ----
struct StartCall {
  QString program;  // real path
  QStringList arguments;
  QString workingDir;  // empty: the program's own folder
};
// True when the program was started.
bool startProgram(const StartCall& call);
void setStartHandler(std::function<bool(const StartCall&)> handler);

// ---- Opening a web address ----
bool openUrl(const QString& url);
void setUrlHandler(std::function<bool(const QString&)> handler);

}  // namespace seams
