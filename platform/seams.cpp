#include "seams.h"

#include "ui.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QLayout>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QUrl>
#include <chrono>
#include <random>
#include <vector>

namespace seams {
namespace {

QString& titleStore() {
  static QString t = QStringLiteral("RuvoMail");
  return t;
}

std::function<int(const MsgBoxCall&)>& msgBoxHandler() {
  static std::function<int(const MsgBoxCall&)> h;
  return h;
}
std::function<std::optional<QString>(const FileDialogCall&)>& fileHandler() {
  static std::function<std::optional<QString>(const FileDialogCall&)> h;
  return h;
}
std::function<bool(QPrinter&, QWidget*)>& printHandler() {
  static std::function<bool(QPrinter&, QWidget*)> h;
  return h;
}
std::function<std::optional<std::uint32_t>(const ColorDialogCall&)>& colorHandler() {
  static std::function<std::optional<std::uint32_t>(const ColorDialogCall&)> h;
  return h;
}
std::function<QDateTime()>& clockFn() {
  static std::function<QDateTime()> h;
  return h;
}
std::function<std::int64_t()>& tickFn() {
  static std::function<std::int64_t()> h;
  return h;
}
std::function<float()>& rndFn() {
  static std::function<float()> h;
  return h;
}
std::function<bool(const StartCall&)>& startFn() {
  static std::function<bool(const StartCall&)> h;
  return h;
}
std::function<bool(const QString&)>& urlFn() {
  static std::function<bool(const QString&)> h;
  return h;
}

std::mt19937& engine() {
  static std::mt19937 e(12345u);
  return e;
}

// The widest a message box grows on screen (Qt's own limit: the screen on a
// small one, else the screen less 480 pixels and not above 1000).
int widestBox(const QScreen* screen) {
  const int w = screen ? screen->availableGeometry().width() : 1024;
  return w <= 1024 ? w : std::min(w - 480, 1000);
}

// line broken into lines no wider than room at fm: each break after the
// last blank, 、, 。, comma or path separator of the part that fits when
// there is one in its second half, else where the room ends; a surrogate
// pair stays whole.
QStringList breakLine(const QString& line, const QFontMetrics& fm, int room) {
  QStringList out;
  QString rest = line;
  while (fm.horizontalAdvance(rest) > room && rest.size() > 1) {
    qsizetype n = 1;
    while (n < rest.size() && fm.horizontalAdvance(rest.left(n + 1)) <= room) ++n;
    if (n < rest.size() && rest[n].isLowSurrogate()) --n;
    if (n < 1) n = rest.size() > 1 && rest[1].isLowSurrogate() ? 2 : 1;
    for (qsizetype k = n; k > n / 2; --k) {
      const QChar ch = rest[k - 1];
      if (ch == u' ' || ch == u'、' || ch == u'。' || ch == u',' || ch == u'，' || ch == u'/' || ch == u'\\') {
        n = k;
        break;
      }
    }
    out << rest.left(n);
    rest = rest.mid(n);
  }
  out << rest;
  return out;
}

// The box shows its whole text and its whole title: as wide as its longest
// line and as its title bar needs, as far as the box may grow; a longer
// line is broken into lines that fit.
void fitWhole(QMessageBox& box) {
  auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
  if (!label) return;
  const int widest = widestBox(box.screen() ? box.screen() : QGuiApplication::primaryScreen());
  // What the box holds beside the text: its margins, the icon and the gap.
  const QMargins margins = box.layout() ? box.layout()->contentsMargins() : QMargins();
  int beside = margins.left() + margins.right();
  if (auto* icon = box.findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label")); icon && !box.iconPixmap().isNull())
    beside += icon->sizeHint().width() + 12;
  const int room = std::max(100, widest - beside - 8);
  const QFontMetrics fm(label->font());
  QStringList lines;
  bool broken = false;
  int longest = 0;
  for (const QString& line : box.text().split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
    const QStringList parts = breakLine(line, fm, room);
    broken = broken || parts.size() > 1;
    for (const QString& part : parts) longest = std::max(longest, fm.horizontalAdvance(part));
    lines << parts;
  }
  if (broken) box.setText(lines.join(u'\n'));
  label->setWordWrap(false);
  label->setMinimumWidth(std::min(longest + 2, room));
  // The title bar: the buttons' row spans the box.
  if (auto* buttons = box.findChild<QDialogButtonBox*>())
    buttons->setMinimumWidth(std::min(ui::widthForCaption(&box), widest) - margins.left() - margins.right());
}

int realMsgBox(const MsgBoxCall& c) {
  // On the heap: the owner may be closed while the box waits, and takes the
  // box with it.
  QPointer<QMessageBox> box = new QMessageBox(c.owner);
  if (c.owner && (c.owner->window()->windowFlags() & Qt::WindowStaysOnTopHint))
    box->setWindowFlag(Qt::WindowStaysOnTopHint);
  box->setWindowTitle(c.title);
  box->setText(c.prompt);
  switch (c.buttons & 0x70) {
    case vbCritical: box->setIcon(QMessageBox::Critical); break;
    case vbQuestion: box->setIcon(QMessageBox::Question); break;
    case vbExclamation: box->setIcon(QMessageBox::Warning); break;
    case vbInformation: box->setIcon(QMessageBox::Information); break;
    default: box->setIcon(QMessageBox::NoIcon); break;
  }
  struct B {
    const char* text;
    int result;
    QMessageBox::ButtonRole role;
  };
  std::vector<B> buttons;
  switch (c.buttons & 7) {
    case vbOKCancel: buttons = {{"OK", vbOK, QMessageBox::AcceptRole}, {"キャンセル", vbCancel, QMessageBox::RejectRole}}; break;
    case vbAbortRetryIgnore:
      buttons = {{"中止(&A)", vbAbort, QMessageBox::RejectRole}, {"再試行(&R)", vbRetry, QMessageBox::AcceptRole}, {"無視(&I)", vbIgnore, QMessageBox::AcceptRole}};
      break;
    case vbYesNoCancel:
      buttons = {{"はい(&Y)", vbYes, QMessageBox::YesRole}, {"いいえ(&N)", vbNo, QMessageBox::NoRole}, {"キャンセル", vbCancel, QMessageBox::RejectRole}};
      break;
    case vbYesNo: buttons = {{"はい(&Y)", vbYes, QMessageBox::YesRole}, {"いいえ(&N)", vbNo, QMessageBox::NoRole}}; break;
    case vbRetryCancel: buttons = {{"再試行(&R)", vbRetry, QMessageBox::AcceptRole}, {"キャンセル", vbCancel, QMessageBox::RejectRole}}; break;
    case vbYesNoAll:
      buttons = {{"はい(&Y)", vbYes, QMessageBox::YesRole}, {"いいえ(&N)", vbNo, QMessageBox::NoRole}, {"すべてはい(&A)", vbYesToAll, QMessageBox::YesRole}};
      break;
    default: buttons = {{"OK", vbOK, QMessageBox::AcceptRole}}; break;
  }
  std::vector<QPushButton*> pushes;
  for (const B& b : buttons) pushes.push_back(box->addButton(QString::fromUtf8(b.text), b.role));
  int def = (c.buttons & vbDefaultButton3) ? 2 : ((c.buttons & vbDefaultButton2) ? 1 : 0);
  if (def < static_cast<int>(pushes.size())) box->setDefaultButton(pushes[static_cast<std::size_t>(def)]);
  if (c.buttons & vbSystemModal) box->setWindowFlag(Qt::WindowStaysOnTopHint);
  fitWhole(*box);
  ui::fixedSingleBorder(box);
  box->exec();
  const QAbstractButton* clicked = box ? box->clickedButton() : nullptr;
  delete box;
  for (std::size_t i = 0; i < pushes.size(); ++i)
    if (clicked == pushes[i]) return buttons[i].result;
  // Closed by Esc or the title bar: the cancelling button, else the only one.
  for (const B& b : buttons)
    if (b.result == vbCancel || b.result == vbNo) return b.result;
  return buttons.front().result;
}

// "text|*.txt;*.ini|all|*.*" to Qt's "text (*.txt *.ini);;all (*.*)".
QString qtFilter(const QString& classic) {
  const QStringList parts = classic.split(u'|');
  QStringList out;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString pat = parts[i + 1];
    pat.replace(u';', u' ');
    out << parts[i] + QStringLiteral(" (") + pat + u')';
  }
  return out.join(QStringLiteral(";;"));
}

std::optional<QString> realFileDialog(const FileDialogCall& c) {
  QFileDialog dlg(c.parent, c.title, c.initDir, qtFilter(c.filter));
  dlg.setAcceptMode(c.kind == FileDialogCall::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dlg.setFileMode(c.kind == FileDialogCall::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  const QStringList filters = qtFilter(c.filter).split(QStringLiteral(";;"));
  if (c.filterIndex >= 1 && c.filterIndex <= filters.size()) dlg.selectNameFilter(filters[c.filterIndex - 1]);
  if (!c.fileName.isEmpty()) dlg.selectFile(c.fileName);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().front();
}

}  // namespace

void setDefaultTitle(const QString& title) { titleStore() = title; }
QString defaultTitle() { return titleStore(); }

namespace {
std::vector<QPointer<QWidget>>& boxOwners() {
  static std::vector<QPointer<QWidget>> owners;
  return owners;
}
}  // namespace

BoxOwner::BoxOwner(QWidget* window) { boxOwners().push_back(window); }
BoxOwner::~BoxOwner() { boxOwners().pop_back(); }

int MsgBox(const QString& prompt, int buttons, const QString& title) {
  QWidget* owner = QApplication::activeModalWidget();
  // A box shown over a window that has one of its own (a box of a box)
  // stands over that; else over the window a step named.
  if (!owner && !boxOwners().empty() && boxOwners().back()) owner = boxOwners().back()->window();
  if (!owner) owner = QApplication::activeWindow();
  MsgBoxCall c{prompt, buttons, title.isEmpty() ? titleStore() : title, owner};
  if (msgBoxHandler()) return msgBoxHandler()(c);
  return realMsgBox(c);
}
void setMsgBoxHandler(std::function<int(const MsgBoxCall&)> handler) { msgBoxHandler() = std::move(handler); }

std::optional<QString> fileDialog(const FileDialogCall& call) {
  if (fileHandler()) return fileHandler()(call);
  return realFileDialog(call);
}
void setFileDialogHandler(std::function<std::optional<QString>(const FileDialogCall&)> handler) {
  fileHandler() = std::move(handler);
}

bool printDialog(QPrinter& printer, QWidget* parent) {
  if (printHandler()) return printHandler()(printer, parent);
  QPrintDialog dlg(&printer, parent);
  return dlg.exec() == QDialog::Accepted;
}
void setPrintDialogHandler(std::function<bool(QPrinter&, QWidget*)> handler) { printHandler() = std::move(handler); }

std::optional<std::uint32_t> chooseColor(const ColorDialogCall& call) {
  if (colorHandler()) return colorHandler()(call);
  for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, toQColor(call.custom[static_cast<std::size_t>(i)]));
  QColorDialog dlg(toQColor(call.initial), call.parent);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return fromQColor(dlg.selectedColor());
}
void setColorDialogHandler(std::function<std::optional<std::uint32_t>(const ColorDialogCall&)> handler) {
  colorHandler() = std::move(handler);
}

std::uint32_t QBColor(int n) {
  static const std::uint32_t table[16] = {
      RGB(0, 0, 0),     RGB(0, 0, 128),   RGB(0, 128, 0),   RGB(0, 128, 128),
      RGB(128, 0, 0),   RGB(128, 0, 128), RGB(128, 128, 0), RGB(192, 192, 192),
      RGB(128, 128, 128), RGB(0, 0, 255), RGB(0, 255, 0),   RGB(0, 255, 255),
      RGB(255, 0, 0),   RGB(255, 0, 255), RGB(255, 255, 0), RGB(255, 255, 255)};
  return table[n & 15];
}

QDateTime now() { return clockFn() ? clockFn()() : QDateTime::currentDateTime(); }
void setClock(std::function<QDateTime()> clock) { clockFn() = std::move(clock); }

std::int64_t tickCount() {
  if (tickFn()) return tickFn()();
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
void setTickCount(std::function<std::int64_t()> tick) { tickFn() = std::move(tick); }

QString dateTimeText(const QDateTime& t) { return t.toString(QStringLiteral("yyyy/MM/dd  H:mm:ss")); }

float Rnd() {
  if (rndFn()) return rndFn()();
  std::uniform_real_distribution<float> d(0.0f, 1.0f);
  float v = d(engine());
  return v >= 1.0f ? 0.0f : v;
}
void Randomize() {
  engine().seed(static_cast<std::uint32_t>(QDateTime::currentMSecsSinceEpoch()));
}
void setRandom(std::function<float()> rnd) { rndFn() = std::move(rnd); }

bool startProgram(const StartCall& call) {
  if (startFn()) return startFn()(call);
  if (!QFileInfo(call.program).isExecutable()) return false;
  const QString dir = call.workingDir.isEmpty() ? QFileInfo(call.program).absolutePath() : call.workingDir;
  // The started program finds its own folder; a program-folder override
  // meant for this process must not reach it.
  QProcess p;
  p.setProgram(call.program);
  p.setArguments(call.arguments);
  p.setWorkingDirectory(dir);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.remove(QStringLiteral("RUVO_PROGRAM_FOLDER"));
  p.setProcessEnvironment(env);
  return p.startDetached();
}
void setStartHandler(std::function<bool(const StartCall&)> handler) { startFn() = std::move(handler); }

bool openUrl(const QString& url) {
  if (urlFn()) return urlFn()(url);
  return QDesktopServices::openUrl(QUrl::fromUserInput(url));
}
void setUrlHandler(std::function<bool(const QString&)> handler) { urlFn() = std::move(handler); }

}  // namespace seams
