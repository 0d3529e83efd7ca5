#include "client/tools/kaitoform.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QUrl>
#include <string>
#include <vector>

#include "platform/seams.h"
#include "unlha/unlha.h"

// ---------------------------------------------------------------- Module6

namespace Module6 {

namespace {

std::function<bool(const QString&)>& librarySearch() {
  static std::function<bool(const QString&)> f;
  return f;
}
std::function<int(const UnlhaCall&)>& unlhaHandler() {
  static std::function<int(const UnlhaCall&)> f;
  return f;
}
std::function<int(const QString&, int)>& checkHandler() {
  static std::function<int(const QString&, int)> f;
  return f;
}

}  // namespace

bool LibraryFound() {
  if (librarySearch()) return librarySearch()(kLibraryName);
  return true;  // the archiver layer is part of the program
}

void setLibrarySearch(std::function<bool(const QString&)> search) { librarySearch() = std::move(search); }

void CheckLibrary(const QString& message) {
  if (LibraryFound()) return;
  seams::MsgBox(message, seams::vbOKOnly | seams::vbCritical, QStringLiteral("Error"));
  ui::endAtOnce();
}

namespace {

// Before an extracted file replaces one of the user's files of other
// contents: yes, no, or yes to this and every later one.
unlha::Replace askReplace(const std::string& path) {
  const int answer = seams::MsgBox(QString::fromStdString(path) + QStringLiteral("はすでに存在しています。") +
                                       QStringLiteral("\r\n") + QStringLiteral("内容の違うこのファイルを置き換えますか?") +
                                       QStringLiteral("\r\n") +
                                       QStringLiteral("(はいで置き換え,いいえでそのまま,すべてはいで以後もすべて置き換え)"),
                                   seams::vbYesNoAll | seams::vbQuestion, QStringLiteral("確認"));
  if (answer == seams::vbYesToAll) return unlha::Replace::All;
  return answer == seams::vbYes ? unlha::Replace::Yes : unlha::Replace::No;
}

QString leftOutReason(unlha::LeftOut::Why why) {
  switch (why) {
    case unlha::LeftOut::LinkOutside: return QStringLiteral("フォルダの外を指すリンク");
    case unlha::LeftOut::LinkBroken: return QStringLiteral("指す先のないリンク");
    case unlha::LeftOut::LinkLoop: return QStringLiteral("それを含むフォルダを指すリンク");
    case unlha::LeftOut::NotAFile: return QStringLiteral("ファイルでもフォルダでもないもの");
  }
  return QString();
}

}  // namespace

int Unlha(QWidget* owner, const QString& commandLine, QString* output, int outputSize) {
  if (unlhaHandler()) return unlhaHandler()(UnlhaCall{owner, commandLine, output == nullptr, outputSize});
  std::string text;
  std::vector<unlha::LeftOut> leftOut;
  unlha::Callbacks callbacks;
  callbacks.replaceFile = askReplace;
  callbacks.leftOut = &leftOut;
  const int r = unlha::Unlha(reinterpret_cast<std::uintptr_t>(owner), commandLine.toStdString(),
                             output ? &text : nullptr, static_cast<std::uint32_t>(outputSize < 0 ? 0 : outputSize),
                             callbacks);
  if (output && outputSize > 0) *output = QString::fromStdString(text);
  // What packing could not take is named, also when the archive was made.
  if (r == 0 && !leftOut.empty()) {
    QString lines;
    for (const unlha::LeftOut& l : leftOut)
      lines += QStringLiteral("\r\n") + QString::fromStdString(l.path) + QStringLiteral("（") + leftOutReason(l.why) +
               QStringLiteral("）");
    seams::MsgBox(QStringLiteral("次のものは圧縮しませんでした。") + lines, seams::vbOKOnly | seams::vbExclamation,
                  QStringLiteral("Warning"));
  }
  return r;
}

QString QuoteText(const QString& name) {
  QString s = name;
  s.replace(QLatin1Char('"'), QStringLiteral("\"\""));
  return s;
}

int UnlhaCheckArchive(const QString& path, int mode) {
  if (checkHandler()) return checkHandler()(path, mode);
  return unlha::UnlhaCheckArchive(path.toStdString(), mode);
}

void setUnlhaHandler(std::function<int(const UnlhaCall&)> handler) { unlhaHandler() = std::move(handler); }
void setCheckArchiveHandler(std::function<int(const QString&, int)> handler) { checkHandler() = std::move(handler); }

QString SplitPath(const QString& path, QString& base, QString& name) {
  const int slash = static_cast<int>(path.lastIndexOf(QLatin1Char('/')));
  const QString folder = path.left(slash + 1);
  name = path.mid(slash + 1);
  const int dot = static_cast<int>(name.lastIndexOf(QLatin1Char('.'), name.size() - 2));
  base = name.size() >= 2 && dot > 0 ? name.left(dot) : name;  // a leading dot marks a hidden name
  return folder;
}

QString StripExtension(const QString& path) {
  const int slash = static_cast<int>(path.lastIndexOf(QLatin1Char('/')));
  const int dot = static_cast<int>(path.lastIndexOf(QLatin1Char('.')));
  return dot > slash + 1 ? path.left(dot) : path;
}

QString PathSeparator(const QString& path) {
  return path.endsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/");
}

QString ErrorCodeText(int result) {
  return QString::number(static_cast<quint32>(result), 16).toUpper();
}

QStringList DroppedFiles(const QMimeData* data) {
  QStringList files;
  if (!data || !data->hasUrls()) return files;
  for (const QUrl& u : data->urls()) {
    if (!u.isLocalFile()) continue;
    QString f = u.toLocalFile();
    while (f.size() > 1 && f.endsWith(QLatin1Char('/'))) f.chop(1);
    if (!f.isEmpty()) files << f;
  }
  return files;
}

QPixmap ArchivePicture(bool packing, QSize size) {
  QPixmap pm(120, 90);
  pm.fill(QColor(255, 255, 255));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  // A folder.
  QPainterPath folder;
  folder.moveTo(10, 30);
  folder.lineTo(10, 80);
  folder.lineTo(70, 80);
  folder.lineTo(70, 26);
  folder.lineTo(38, 26);
  folder.lineTo(32, 20);
  folder.lineTo(14, 20);
  folder.lineTo(10, 26);
  folder.closeSubpath();
  p.setPen(QPen(QColor(150, 110, 20), 2));
  p.setBrush(QColor(250, 210, 90));
  p.drawPath(folder);
  // A box (the archive) with a band.
  p.setBrush(QColor(120, 160, 215));
  p.setPen(QPen(QColor(40, 70, 130), 2));
  p.drawRect(84, 44, 28, 34);
  p.fillRect(84, 56, 28, 6, QColor(40, 70, 130));
  // The arrow between them.
  p.setPen(QPen(QColor(200, 40, 40), 4, Qt::SolidLine, Qt::RoundCap));
  const int from = packing ? 52 : 96, to = packing ? 96 : 52;
  p.drawLine(from, 12, to, 12);
  const int dir = packing ? -1 : 1;
  p.drawLine(to, 12, to + dir * 8, 5);
  p.drawLine(to, 12, to + dir * 8, 19);
  p.end();
  return size.isValid() ? pm.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation) : pm;
}

void DropForwarder::watch(QWidget* w) {
  w->setAcceptDrops(true);
  w->installEventFilter(this);
}

bool DropForwarder::eventFilter(QObject* watched, QEvent* e) {
  switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* d = static_cast<QDragMoveEvent*>(e);
      if (!DroppedFiles(d->mimeData()).isEmpty()) d->acceptProposedAction();
      else d->ignore();
      return true;
    }
    case QEvent::Drop: {
      auto* d = static_cast<QDropEvent*>(e);
      const QStringList files = DroppedFiles(d->mimeData());
      if (files.isEmpty()) {
        d->ignore();
        return true;
      }
      d->acceptProposedAction();
      onDrop_(files);
      return true;
    }
    default:
      return QObject::eventFilter(watched, e);
  }
}

}  // namespace Module6

// ---------------------------------------------------------------- KaitoForm

namespace {
ui::Accessor<forms::KaitoForm>& accessor() {
  static ui::Accessor<forms::KaitoForm> a;
  return a;
}
}  // namespace

forms::KaitoForm& KaitoForm() { return accessor()(); }
bool KaitoFormLoaded() { return accessor().isLoaded(); }

namespace forms {

KaitoForm::KaitoForm() : ui::Form(QStringLiteral("KaitoForm")) {
  setCaption(QStringLiteral("フォルダを解凍"));
  Move(2400, 1800, 5100, 3300);
  Image1 = ui::control<QLabel>(client(), QStringLiteral("Image1"), 120, 120, 2400, 1800);
  Image1->setPixmap(Module6::ArchivePicture(false, QSize(ui::px(2400), ui::px(1800))));
  Image1->setScaledContents(true);
  Label1 = ui::control<QLabel>(client(), QStringLiteral("Label1"), 2640, 120, 2160, 1800,
                               QStringLiteral("解凍したいフォルダをドラッグ＆ドロップしてください。"));
  Label1->setWordWrap(true);
  Label1->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));
  Label2 = ui::control<QLabel>(client(), QStringLiteral("Label2"), 120, 2040, 4680, 480, QString());
  Label2->setWordWrap(true);
  Label2->setFont(ui::font(QStringLiteral("ＭＳ Ｐゴシック"), 9));

  auto* drops = new Module6::DropForwarder(this, [this](const QStringList& files) { Form_OLEDragDrop(files); });
  drops->watch(this);
  drops->watch(client());
  drops->watch(Image1);
  drops->watch(Label1);
  // The controls keep their places at every size: the window is never made
  // smaller than they need.
  ui::holdControls(this);
}

void KaitoForm::Form_Load() { Module6::CheckLibrary(QStringLiteral("Unlha32.DLLが見つかりません!!")); }

void KaitoForm::Form_OLEDragDrop(const QStringList& files) {
  // Dropped from another program, the window need not be the active one:
  // its boxes stand over it all the same.
  const seams::BoxOwner boxOwner(this);
  const int n = static_cast<int>(files.size());
  int result = 0;
  int failure = 0;  // the last failing file's result
  for (int i = 1; i <= n; ++i) {
    const QString& path = files[i - 1];
    QString base, name;
    const QString folder = Module6::SplitPath(path, base, name);
    const QString command = QStringLiteral("x -d1 -y1 \"") + Module6::QuoteText(path) + QStringLiteral("\" \"") +
                            Module6::QuoteText(folder + base) + QStringLiteral("\"/ *.*");
    Label2->setText(QStringLiteral("Extracting(") + QString::number(i) + QStringLiteral("/") + QString::number(n) +
                    QStringLiteral("):") + path);
    Label2->repaint();
    QString output;
    result = Module6::Unlha(this, command, &output, 0);
    if (result != 0) failure = result;
  }
  // A failure of any file is reported, also when a later file succeeded.
  Label2->setText(QString());
  if (failure != 0) {
    seams::MsgBox(QStringLiteral("解凍に失敗しました。Error Code:0x") + Module6::ErrorCodeText(failure),
                  seams::vbOKOnly | seams::vbCritical, QStringLiteral("Failed"));
  } else {
    Unload();
  }
}

}  // namespace forms
