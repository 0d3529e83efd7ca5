#include "client/history/editorcommands.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QPrinter>
#include <QSaveFile>
#include <QScrollBar>
#include <QStyle>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QToolBar>

#include "client/composer/backform.h"
#include "client/history/commondialog.h"
#include "client/history/neighbours.h"
#include "client/history/tyakuform.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"
#include "platform/ui.h"
#include "platform/vbstring.h"

QString DocumentPath;
bool DocumentModified = false;
QString AutoSaveOption;
std::int16_t BoldCount = 0;
std::int16_t ItalicCount = 0;
std::int16_t UnderlineCount = 0;
QString DialogFileName;
std::int16_t TextFileNo = 0;
QString OpenedText;
QString OpenedLine;
std::int32_t SelStartHistory[2] = {0, 0};

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kNewFileName = QStringLiteral("新規作成.TXT");

// The selected text of a box with CR LF line ends.
QString selectedText(const QTextEdit* box) {
  QString s = box->textCursor().selectedText();
  s.replace(QChar(0x2029), kCrLf);
  s.replace(QChar(0x2028), kCrLf);
  return s;
}

void putOnClipboard(const QString& text) {
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(text);
}

void reportSaveFailure(const QString& path) {
  seams::MsgBox(QStringLiteral("ファイルを保存できませんでした。") + kCrLf + path, seams::vbExclamation);
}

void reportOpenFailure(const QString& path) {
  seams::MsgBox(QStringLiteral("ファイルを開けませんでした。") + kCrLf + path, seams::vbExclamation);
}

// The program folder with a trailing separator.
QString programFolderSlash() { return paths::programFolder() + QLatin1Char('/'); }

bool insideProgramFolder(const QString& folder) {
  if (folder.isEmpty()) return false;
  const QString base = QDir::cleanPath(QFileInfo(paths::programFolder()).absoluteFilePath());
  const QString f = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
  return f == base || f.startsWith(base + QLatin1Char('/'));
}

void toggle(std::int16_t& counter, QTextEdit* box, void (QFont::*set)(bool)) {
  const bool on = (counter % 2) == 0;
  counter = on ? 0 : 1;
  if (box) {
    QFont f = box->font();
    (f.*set)(on);
    box->setFont(f);
  }
  counter = static_cast<std::int16_t>(counter + 1);
}

void saveAs(ui::Form& window, QTextEdit* box, CommonDialog& dialog) {
  dialog.CancelError = true;
  dialog.Flags = 2054;
  dialog.Filter = EditorFileFilter();
  if (!dialog.ShowSave()) return;
  DialogFileName = dialog.FileName;
  if (!SaveEditorTextToFile(DialogFileName, box)) {
    reportSaveFailure(DialogFileName);
    DialogFileName.clear();
    return;
  }
  box->document()->setModified(false);
  window.setCaption(DialogFileName);
  DialogFileName.clear();
}

void openInto(ui::Form& target, QTextEdit* box, CommonDialog& dialog) {
  dialog.CancelError = true;
  dialog.Flags = 2050;
  dialog.Filter = EditorFileFilter();
  if (!dialog.ShowOpen()) return;
  DialogFileName = dialog.FileName;
  if (DialogFileName.isEmpty()) {
    target.setCaption(QStringLiteral("notitle"));
    return;
  }
  bool ok = false;
  const QString text = ReadEditorTextFile(DialogFileName, &ok);
  if (!ok) {
    reportOpenFailure(DialogFileName);
    DialogFileName.clear();
    return;
  }
  target.setCaption(DialogFileName);
  SetEditorText(box, text);
  DialogFileName.clear();
}

std::function<void(QPrinter&, int)>& printObserver() {
  static std::function<void(QPrinter&, int)> f;
  return f;
}

}  // namespace

void setPrintJobObserver(std::function<void(QPrinter&, int)> observer) { printObserver() = std::move(observer); }

QString EditorFileFilter() { return QStringLiteral("txtファイル(*.txt,*.ini)|*.txt;*.ini"); }

void EditUndo(QTextEdit* rtfEd) { rtfEd->undo(); }

void EditCut(QTextEdit* rtfEd) {
  rtfEd->hide();
  putOnClipboard(selectedText(rtfEd));
  QTextCursor c = rtfEd->textCursor();
  c.removeSelectedText();
  rtfEd->setTextCursor(c);
  rtfEd->show();
  rtfEd->setFocus();
}

void EditCopy(QTextEdit* rtfEd) {
  rtfEd->hide();
  QTextCursor c = rtfEd->textCursor();
  const int end = c.hasSelection() ? c.selectionEnd() : 0;
  putOnClipboard(selectedText(rtfEd));
  c.clearSelection();
  c.setPosition(end);
  rtfEd->setTextCursor(c);
  rtfEd->show();
  rtfEd->setFocus();
}

void EditPaste(QTextEdit* rtfEd) {
  rtfEd->setFocus();
  rtfEd->hide();
  QString text = vb::Trim(QApplication::clipboard()->text());
  text.replace(kCrLf, QStringLiteral("\n"));
  text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QTextCursor c = rtfEd->textCursor();
  c.insertText(text);
  rtfEd->setTextCursor(c);
  rtfEd->show();
  rtfEd->setFocus();
}

void EditSelectAll(QTextEdit* rtfEd) {
  QTextCursor c = rtfEd->textCursor();
  c.setPosition(0);
  c.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  rtfEd->setTextCursor(c);
}

void EditJumpTop(QTextEdit* rtfEd) {
  QTextCursor c = rtfEd->textCursor();
  c.setPosition(0);
  rtfEd->setTextCursor(c);
  rtfEd->setFocus();
}

void EditJumpEnd(QTextEdit* rtfEd) {
  QTextCursor c = rtfEd->textCursor();
  c.movePosition(QTextCursor::End);
  rtfEd->setTextCursor(c);
  rtfEd->setFocus();
}

bool EditSaveFile(QTextEdit* rtfEd) {
  if (!WriteWholeFile(DocumentPath, cp932::encode(EditorText(rtfEd)))) {
    reportSaveFailure(DocumentPath);
    return false;
  }
  DocumentModified = false;
  rtfEd->document()->setModified(false);
  return true;
}

bool EditorHoldsUserText(const QTextEdit* rtfEd) { return rtfEd->document()->isModified(); }

void ReplaceAllUndoably(QTextEdit* rtfEd, const QString& text) {
  QString s = text;
  s.replace(kCrLf, QStringLiteral("\n"));
  s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  if (s == rtfEd->toPlainText()) return;
  QTextCursor c(rtfEd->document());
  c.beginEditBlock();
  c.select(QTextCursor::Document);
  c.insertText(s);
  c.endEditBlock();
}

void PutSaveAsHeader(QTextEdit* rtfEd, const QString& text) {
  const bool held = rtfEd->document()->isModified();
  ReplaceAllUndoably(rtfEd, text);
  rtfEd->document()->setModified(held);
}

void EditNewFile(ui::Form& window, QTextEdit* rtfEd) {
  if (DocumentPath.contains(kNewFileName)) return;
  if (EditorHoldsUserText(rtfEd)) {
    // The user's text is saved to the document when it has one; otherwise
    // (or when that save fails) it is discarded only when the user says so.
    // A text the program put there (a mail shown, a held mail recalled) is
    // kept elsewhere and goes without a question.
    const bool saved = !DocumentPath.isEmpty() && EditSaveFile(rtfEd);
    if (!saved &&
        seams::MsgBox(QStringLiteral("本文の変更は保存されていません。破棄して新規作成しますか？"),
                      seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes)
      return;
  }
  rtfEd->clear();
  QString folder = FolderOfPath(DocumentPath);
  if (!insideProgramFolder(folder)) folder = programFolderSlash();
  DocumentPath = folder + kNewFileName;
  EditSaveFile(rtfEd);
  DocumentModified = false;
  window.setCaption(kNewFileName + QStringLiteral("      ") + DocumentPath);
}

void EditPrint(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog) {
  (void)window;
  dialog.CancelError = true;
  QPrinter printer(QPrinter::HighResolution);
  QString text;
  if (rtfEd->textCursor().hasSelection()) {
    dialog.Flags = 1;
    printer.setPrintRange(QPrinter::Selection);
    text = selectedText(rtfEd);
  } else {
    dialog.Flags = 4;
    printer.setPrintRange(QPrinter::AllPages);
    text = EditorText(rtfEd);
  }
  if (!dialog.ShowPrinter(printer)) return;
  const int copies = std::max(1, dialog.Copies);
  printer.setCopyCount(1);
  QFont f = rtfEd->font();
  QFont pf(f.family());
  pf.setPointSizeF(f.pointSizeF() > 0 ? f.pointSizeF() : 9);
  pf.setBold(f.bold());
  pf.setItalic(f.italic());
  QString body = text + kCrLf;
  body.replace(kCrLf, QStringLiteral("\n"));
  for (int copy = 1; copy <= copies; ++copy) {
    if (printObserver()) printObserver()(printer, copy);
    // Laid out on the printer's own pages: the text alone, without the page
    // numbers an unpaged document gets.
    QTextDocument doc;
    doc.documentLayout()->setPaintDevice(&printer);
    doc.setPageSize(QSizeF(printer.width(), printer.height()));
    doc.setDefaultFont(pf);
    doc.setPlainText(body);
    doc.print(&printer);
  }
}

void EditToggleBold(QTextEdit* rtfEd) { toggle(BoldCount, rtfEd, &QFont::setBold); }
void EditToggleItalic(QTextEdit* rtfEd) { toggle(ItalicCount, rtfEd, &QFont::setItalic); }
void EditToggleUnderline(QTextEdit* rtfEd) { toggle(UnderlineCount, rtfEd, &QFont::setUnderline); }

namespace {

// Our own 16-pixel pictures of the toolbar's keys, for a desktop whose icon
// theme lacks one: a page, a folder, a disk, a printer, scissors, two pages,
// a clipboard and a turning arrow.
QIcon drawnIcon(const QString& key) {
  QPixmap pm(16, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QPen ink(QColor(40, 40, 40), 1);
  p.setPen(ink);
  auto page = [&p](const QRectF& r) {
    p.setBrush(Qt::white);
    p.drawRect(r);
    for (qreal y = r.top() + 3; y < r.bottom() - 1; y += 2.5) p.drawLine(QPointF(r.left() + 2, y), QPointF(r.right() - 2, y));
  };
  if (key == QLatin1String("New")) {
    page(QRectF(3.5, 1.5, 9, 13));
  } else if (key == QLatin1String("Open")) {
    p.setBrush(QColor(240, 200, 80));
    p.drawPolygon(QPolygonF({QPointF(1.5, 3.5), QPointF(6, 3.5), QPointF(7.5, 5), QPointF(14.5, 5), QPointF(14.5, 13.5),
                             QPointF(1.5, 13.5)}));
  } else if (key == QLatin1String("Save")) {
    p.setBrush(QColor(70, 100, 170));
    p.drawRect(QRectF(1.5, 1.5, 13, 13));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 2, 8, 5));
    p.drawRect(QRectF(5, 10, 6, 4.5));
  } else if (key == QLatin1String("Print")) {
    page(QRectF(4.5, 1.5, 7, 6));
    p.setBrush(QColor(150, 150, 150));
    p.drawRect(QRectF(1.5, 6.5, 13, 6));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4.5, 10.5, 7, 4));
  } else if (key == QLatin1String("Cut")) {
    p.drawLine(QPointF(4, 1.5), QPointF(10.5, 11));
    p.drawLine(QPointF(12, 1.5), QPointF(5.5, 11));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(4.5, 12.5), 2.5, 2.5);
    p.drawEllipse(QPointF(11.5, 12.5), 2.5, 2.5);
  } else if (key == QLatin1String("Copy")) {
    page(QRectF(1.5, 1.5, 8, 10));
    page(QRectF(6.5, 4.5, 8, 10));
  } else if (key == QLatin1String("Paste")) {
    p.setBrush(QColor(190, 140, 80));
    p.drawRect(QRectF(2.5, 2.5, 11, 12));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(5.5, 1.5, 5, 2.5));
    page(QRectF(5.5, 6.5, 7, 7.5));
  } else if (key == QLatin1String("Undo")) {
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawArc(QRectF(3, 4, 10, 9), 90 * 16, -220 * 16);
    p.setBrush(QColor(40, 40, 40));
    p.setPen(ink);
    p.drawPolygon(QPolygonF({QPointF(1, 4.5), QPointF(6.5, 1), QPointF(6.5, 8)}));
  }
  return QIcon(pm);
}

}  // namespace

QToolBar* BuildEditorToolbar(ui::Form& window, int widthTw, std::function<void(const QString& key)> onButton) {
  auto* bar = new QToolBar(window.client());
  bar->setObjectName(QStringLiteral("tbToolBar"));
  bar->setMovable(false);
  bar->setIconSize(QSize(16, 16));
  ui::place(bar, 0, 0, widthTw, 390);
  struct B {
    const char* key;
    const char16_t* tip;
    const char* icon;  // the icon theme's name
    const char* text;
  };
  static const B buttons[] = {
      {"New", u"新規作成", "document-new", nullptr},
      {"Open", u"開く", "document-open", nullptr},
      {"Save", u"名前を付けて保存", "document-save-as", nullptr},
      {"Print", u"印刷", "document-print", nullptr},
      {"Cut", u"切り取り", "edit-cut", nullptr},
      {"Copy", u"ｺﾋﾟｰ", "edit-copy", nullptr},
      {"Paste", u"貼り付け", "edit-paste", nullptr},
      {"Bold", u"太字", nullptr, "B"},
      {"Italic", u"斜体", nullptr, "I"},
      {"Underline", u"下線", nullptr, "U"},
      {"Undo", u"アンドウ", "edit-undo", nullptr},
  };
  for (const B& b : buttons) {
    const QString key = QString::fromLatin1(b.key);
    QAction* a = b.text ? bar->addAction(QString::fromLatin1(b.text))
                        : bar->addAction(QIcon::fromTheme(QString::fromLatin1(b.icon), drawnIcon(key)), QString());
    a->setObjectName(key);
    a->setData(key);
    a->setToolTip(QString::fromUtf16(b.tip));
    if (b.text) {
      QFont f = a->font();
      if (key == QLatin1String("Bold")) f.setBold(true);
      if (key == QLatin1String("Italic")) f.setItalic(true);
      if (key == QLatin1String("Underline")) f.setUnderline(true);
      a->setFont(f);
    }
    QObject::connect(a, &QAction::triggered, &window, [onButton, key] { onButton(key); });
  }
  return bar;
}

void EditorToolbarCommand(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog, const QString& key,
                          const std::function<void()>& open, const std::function<void()>& saveAs) {
  if (key == QLatin1String("New")) EditNewFile(window, rtfEd);
  else if (key == QLatin1String("Open")) open();
  else if (key == QLatin1String("SaveAs") || key == QLatin1String("Save")) saveAs();
  else if (key == QLatin1String("Print")) EditPrint(window, rtfEd, dialog);
  else if (key == QLatin1String("Cut")) EditCut(rtfEd);
  else if (key == QLatin1String("Undo")) EditUndo(rtfEd);
  else if (key == QLatin1String("Copy")) EditCopy(rtfEd);
  else if (key == QLatin1String("Paste")) EditPaste(rtfEd);
  else if (key == QLatin1String("Bold")) EditToggleBold(rtfEd);
  else if (key == QLatin1String("Italic")) EditToggleItalic(rtfEd);
  else if (key == QLatin1String("Underline")) EditToggleUnderline(rtfEd);
}

void BindEditorMenuItems(ui::Form& window, QTextEdit* rtfEd, CommonDialog& dialog, const EditorMenuItems& items) {
  ui::Form* w = &window;
  CommonDialog* d = &dialog;
  QObject::connect(items.mnew, &QAction::triggered, w, [w, rtfEd] { EditNewFile(*w, rtfEd); });
  QObject::connect(items.mprint, &QAction::triggered, w, [w, rtfEd, d] { EditPrint(*w, rtfEd, *d); });
  QObject::connect(items.mall, &QAction::triggered, w, [rtfEd] { EditSelectAll(rtfEd); });
  QObject::connect(items.matamajump, &QAction::triggered, w, [rtfEd] { EditJumpTop(rtfEd); });
  QObject::connect(items.mbunmatujump, &QAction::triggered, w, [rtfEd] { EditJumpEnd(rtfEd); });
  QObject::connect(items.mcut, &QAction::triggered, w, [rtfEd] { EditCut(rtfEd); });
  QObject::connect(items.mcopy, &QAction::triggered, w, [rtfEd] { EditCopy(rtfEd); });
  QObject::connect(items.mpaste, &QAction::triggered, w, [rtfEd] { EditPaste(rtfEd); });
}

void SaveTyakuTextAs() {
  auto& f = ::TyakuForm();
  saveAs(f, f.rtfEd, f.CommonDialog1);
}

void SaveWriteTextAs() {
  ui::Form* w = neighbours::writeForm();
  QTextEdit* box = neighbours::writeFormBody();
  if (!w || !box) return;
  if (CommonDialog* own = neighbours::writeFormDialog()) {
    saveAs(*w, box, *own);
    return;
  }
  CommonDialog dialog(w);
  saveAs(*w, box, dialog);
}

void SaveBackTextAs() {
  auto& f = ::BackForm();
  saveAs(f, f.rtfEd, f.CommonDialog1);
}

void OpenTyakuText() {
  auto& f = ::TyakuForm();
  openInto(f, f.rtfEd, f.CommonDialog1);
}

void OpenWriteText() {
  auto& viewer = ::TyakuForm();
  ui::Form* w = neighbours::writeForm();
  QTextEdit* box = neighbours::writeFormBody();
  if (!w || !box) return;
  openInto(*w, box, viewer.CommonDialog1);
}

void OpenBackText() {
  auto& f = ::BackForm();
  openInto(f, f.rtfEd, f.CommonDialog1);
}

bool WriteWholeFile(const QString& path, const std::string& bytes) {
  if (path.isEmpty()) return false;
  QSaveFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  if (f.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
    f.cancelWriting();
    return false;
  }
  return f.commit();
}

bool SaveEditorTextToFile(const QString& path, QTextEdit* rtfEd) {
  return WriteWholeFile(path, cp932::encode(EditorText(rtfEd) + kCrLf));
}

QString ReadEditorTextFile(const QString& path, bool* ok) {
  QFile f(path);
  if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) {
    if (ok) *ok = false;
    return QString();
  }
  const QByteArray bytes = f.readAll();
  const bool readOk = f.error() == QFileDevice::NoError;
  f.close();
  if (ok) *ok = readOk;
  if (!readOk) return QString();
  const QString text = cp932::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  // Lines end at CR LF or a lone CR; a lone LF stays inside its line.
  OpenedText.clear();
  OpenedLine.clear();
  const int n = static_cast<int>(text.size());
  int i = 0;
  while (i < n) {
    OpenedLine.clear();
    while (i < n && text[i] != QLatin1Char('\r')) OpenedLine += text[i++];
    if (i < n) {
      ++i;
      if (i < n && text[i] == QLatin1Char('\n')) ++i;
    }
    OpenedText += OpenedLine + kCrLf;
  }
  return OpenedText;
}

namespace {
int lastSeparator(const QString& path) {
  return std::max(static_cast<int>(path.lastIndexOf(QLatin1Char('\\'))),
                  static_cast<int>(path.lastIndexOf(QLatin1Char('/'))));
}
}  // namespace

QString FileNameOfPath(const QString& path) {
  const int i = lastSeparator(path);
  return i < 0 ? path : path.mid(i + 1);
}

QString FolderOfPath(const QString& path) {
  const int i = lastSeparator(path);
  return i < 0 ? path : path.left(i + 1);
}
