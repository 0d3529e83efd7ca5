#include "client/tools/tenpfoldform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>
#include <algorithm>

#include "client/mainwindow/settings.h"
#include "platform/codepage.h"
#include "platform/paths.h"
#include "platform/seams.h"

namespace {
ui::Accessor<forms::TenpFoldForm>& accessor() {
  static ui::Accessor<forms::TenpFoldForm> a;
  return a;
}

// The design client area.
constexpr int kDesignScaleWidth = 10605;
constexpr int kDesignScaleHeight = 7530;
// Below this a kept height is no window's height (twips).
constexpr int kSmallestKeptHeight = 600;

const QString kWarning = QStringLiteral(
    "信頼できるファイルですか？ この選択が削除のためなら問題ありませんが、\r\n"
    "実行する場合はウイルス（知らない人からのメールは特に注意）に注意して下さい。 \r\n"
    "ウイルスはViewTypeもあります。HTML形式にも注意！\r\n"
    "\r\n"
    "「いいえ」でキャンセルします。");

QString decodeUtf8OrCp932(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8(bytes);
  if (!utf8.hasError()) return text;
  return cp932::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

// An HTML page's text: the character set its head names, else as a text.
QString decodeHtml(const QByteArray& bytes) {
  static const QRegularExpression charset(QStringLiteral(R"(charset\s*=\s*["']?\s*([A-Za-z0-9_.:-]+))"),
                                          QRegularExpression::CaseInsensitiveOption);
  const QString head = QString::fromLatin1(bytes.left(4096));
  const QRegularExpressionMatch m = charset.match(head);
  if (m.hasMatch()) {
    const QString name = m.captured(1).toLower();
    if (name == u"shift_jis" || name == u"shift-jis" || name == u"sjis" || name == u"x-sjis" ||
        name == u"windows-31j" || name == u"cp932" || name == u"ms932")
      return cp932::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    QStringDecoder named(name.toLatin1().constData());
    if (named.isValid()) return named(bytes);
  }
  return decodeUtf8OrCp932(bytes);
}

// The decoration beside the preview: an envelope with a paper clip.
QPixmap decoration(QSize size) {
  QImage img(size, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, size.height());
  sky.setColorAt(0, QColor(213, 239, 255));
  sky.setColorAt(1, QColor(120, 170, 220));
  p.fillRect(img.rect(), sky);
  const QRectF env(size.width() * 0.2, size.height() * 0.25, size.width() * 0.6, size.height() * 0.55);
  p.setPen(QPen(QColor(40, 60, 110), 2));
  p.setBrush(QColor(255, 255, 240));
  p.drawRect(env);
  QPainterPath flap;
  flap.moveTo(env.topLeft());
  flap.lineTo(env.center().x(), env.top() + env.height() * 0.55);
  flap.lineTo(env.topRight());
  p.setBrush(Qt::NoBrush);
  p.drawPath(flap);
  // The clip over the envelope's right corner.
  QPen clip(QColor(150, 150, 160), 3);
  clip.setCapStyle(Qt::RoundCap);
  p.setPen(clip);
  const qreal cx = env.right() - env.width() * 0.15, top = env.top() - size.height() * 0.12;
  const qreal w = size.width() * 0.05, h = size.height() * 0.45;
  p.drawRoundedRect(QRectF(cx - w, top, w * 2, h), w, w);
  p.drawRoundedRect(QRectF(cx - w * 0.5, top + h * 0.2, w, h * 0.65), w * 0.5, w * 0.5);
  p.end();
  return QPixmap::fromImage(img);
}

QFrame* framedLabel(QWidget* parent, const QString& frameName, const QString& labelName, const QString& text,
                    int left, int top, int width, int height, QLabel** label) {
  QFrame* frame = ui::control<QFrame>(parent, frameName, left, top, width, height);
  frame->setFrameShape(QFrame::Panel);
  frame->setFrameShadow(QFrame::Sunken);
  *label = new QLabel(text, frame);
  (*label)->setObjectName(labelName);
  (*label)->setAlignment(Qt::AlignCenter);
  (*label)->setGeometry(frame->contentsRect());
  return frame;
}

QLineEdit* hiddenBox(QWidget* parent, const QString& name) {
  QLineEdit* box = ui::control<QLineEdit>(parent, name, 0, 0, 100, 100);
  box->hide();
  return box;
}
}  // namespace

forms::TenpFoldForm& TenpFoldForm() { return accessor()(); }
bool TenpFoldFormLoaded() { return accessor().isLoaded(); }

namespace attachments {

void FileList::setPath(const QString& folder) {
  path_ = folder;
  Refresh();
}

void FileList::Refresh() {
  clear();
  if (path_.isEmpty()) return;
  const QStringList names = QDir(path_).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  addItems(names);
}

QVariant PageView::loadResource(int type, const QUrl& name) {
  (void)type;
  QUrl url = name;
  if (url.isRelative()) url = document()->baseUrl().resolved(url);
  if (!url.isLocalFile()) return {};
  const QFileInfo info(url.toLocalFile());
  if (!info.isFile() || info.size() > kMaxShownBytes) return {};
  QFile f(info.filePath());
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

void showFile(QTextBrowser* browser, const QString& path) {
  QFile f(path);
  QByteArray bytes;
  const bool readable = QFileInfo(path).isFile() && f.open(QIODevice::ReadOnly);
  if (readable) bytes = f.read(kMaxShownBytes);
  const QString suffix = QFileInfo(path).suffix().toLower();
  browser->clear();
  if (readable && (suffix == u"htm" || suffix == u"html")) {
    browser->document()->setBaseUrl(QUrl::fromLocalFile(path));
    browser->setHtml(decodeHtml(bytes));
  } else if (readable && !bytes.left(8192).contains('\0')) {
    browser->setPlainText(decodeUtf8OrCp932(bytes));
  } else {
    browser->setHtml(QStringLiteral("<p>%1</p><p>このファイルはここでは表示できません。</p>")
                         .arg(QFileInfo(path).fileName().toHtmlEscaped()));
  }
}

}  // namespace attachments

namespace forms {

QString TenpFoldForm::AttachmentFolder() { return paths::resolve(QStringLiteral("\\添付フォルダ")); }

TenpFoldForm::TenpFoldForm() : ui::Form(QStringLiteral("TenpFoldForm")) {
  setCaption(QStringLiteral("添付フォルダの状況"));
  QWidget* c = client();
  File1 = ui::control<attachments::FileList>(c, QStringLiteral("File1"), 0, 120, 3015, 2550);
  Command1 = ui::control<QPushButton>(c, QStringLiteral("Command1"), 120, 2760, 855, 300, QStringLiteral("削除"));
  Picture5 = framedLabel(c, QStringLiteral("Picture5"), QStringLiteral("Label1_3"), QStringLiteral("ファイル数"), 1080,
                         2760, 1005, 300, &Label1_3);
  Text1 = ui::control<QLineEdit>(c, QStringLiteral("Text1"), 2160, 2760, 855, 300);
  Text1->setReadOnly(true);
  Picture1 = framedLabel(c, QStringLiteral("Picture1"), QStringLiteral("Label1_0"),
                         QStringLiteral("画像表示用（JPEG,GIF等）"), 0, 3120, 3015, 330, &Label1_0);
  Image1 = ui::control<QLabel>(c, QStringLiteral("Image1"), 0, 3480, 3015, 2415);
  Image1->setScaledContents(true);
  Image1->setFrameShape(QFrame::Box);
  Image2 = ui::control<QLabel>(c, QStringLiteral("Image2"), 0, 5970, 3015, 1500);
  Image2->setPixmap(decoration(Image2->size()));
  WebBrowser1 = ui::control<attachments::PageView>(c, QStringLiteral("WebBrowser1"), 3120, 0, kDesignScaleWidth - 3120,
                                          kDesignScaleHeight);
  // An attachment's links lead nowhere from here.
  WebBrowser1->setOpenLinks(false);
  WebBrowser1->setOpenExternalLinks(false);
  Dir1 = hiddenBox(c, QStringLiteral("Dir1"));
  Drive1 = ui::control<QComboBox>(c, QStringLiteral("Drive1"), 0, 0, 100, 100);
  Drive1->hide();
  Text2 = hiddenBox(c, QStringLiteral("Text2"));
  Text3 = hiddenBox(c, QStringLiteral("Text3"));
  Text4 = hiddenBox(c, QStringLiteral("Text4"));

  // A click on a file: see eventFilter.
  File1->viewport()->installEventFilter(this);
  ui::clickOnKeyboardRowChange(File1, [this] { File1_Click(); });
  connect(Command1, &QPushButton::clicked, this, [this] { Command1_Click(); });
  connect(Dir1, &QLineEdit::textChanged, this, [this] { Dir1_Change(); });
  connect(Drive1, &QComboBox::currentIndexChanged, this, [this] { Drive1_Change(); });

  const QSize extra = ui::frameExtra(this);
  Move(1200, 900, kDesignScaleWidth + ui::tw(extra.width()), kDesignScaleHeight + ui::tw(extra.height()));
}

bool TenpFoldForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == File1->viewport() && !resending_) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      // Only the left button chooses a file; the others leave the
      // highlight on the file chosen. A click with Ctrl or Shift is a click.
      if (mouse->button() != Qt::LeftButton) return true;
      mouse->setModifiers(mouse->modifiers() & ~(Qt::ControlModifier | Qt::ShiftModifier | Qt::MetaModifier));
      const bool onFile = File1->itemAt(mouse->position().toPoint()) != nullptr;
      if (type != QEvent::MouseButtonRelease) {
        pressedOnFile_ = onFile;
        // A press beside the files leaves the highlight where it is.
        if (!onFile) return true;
        return ui::Form::eventFilter(watched, event);
      }
      // The list takes the release first; then the file highlighted (also
      // after a press on one file and a release on another) is the file
      // chosen, as by a click on it.
      resending_ = true;
      QCoreApplication::sendEvent(watched, event);
      resending_ = false;
      const bool pressed = pressedOnFile_;
      pressedOnFile_ = false;
      QListWidgetItem* item = File1->currentItem();
      if ((onFile || pressed) && item) {
        if (!item->isSelected()) File1->setCurrentItem(item, QItemSelectionModel::ClearAndSelect);
        File1_Click();
      }
      return true;
    }
  }
  return ui::Form::eventFilter(watched, event);
}

bool TenpFoldForm::highlightSelected() {
  const QString name = QFileInfo(Text3->text()).fileName();
  if (Text3->text().isEmpty() || fullPath(name) != Text3->text()) return false;
  const auto items = File1->findItems(name, Qt::MatchExactly);
  if (items.isEmpty()) return false;
  File1->setCurrentItem(items.front(), QItemSelectionModel::ClearAndSelect);
  return true;
}

QString TenpFoldForm::fullPath(const QString& name) const { return QDir(File1->Path()).filePath(name); }

void TenpFoldForm::Form_Load() {
  // 1. Nothing selected yet.
  Text4->setText(QStringLiteral("0"));
  Text1->setText(QString::number(File1->ListCount()));
  // 2. The list pinned to the attachment folder.
  const QString folder = AttachmentFolder();
  if (Dir1->text() == folder) Dir1_Change();
  else Dir1->setText(folder);
  // 3. The size kept from the last closing; nothing kept gives the design
  // size. The height shares its key with the Cc list's 0/1 help switch, so a
  // height too small for any window is taken as nothing kept.
  const int w = settings::readNumber(settings::key::TenpFoldWidth);
  const int h = settings::readNumber(settings::key::TenpFoldHeight);
  const QSize extra = ui::frameExtra(this);
  setWidth(w > 0 ? w : kDesignScaleWidth + ui::tw(extra.width()));
  setHeight(h >= kSmallestKeptHeight ? h : kDesignScaleHeight + ui::tw(extra.height()));
  Form_Resize();
}

void TenpFoldForm::Dir1_Change() {
  File1->setPath(AttachmentFolder());
  Text1->setText(QString::number(File1->ListCount()));
}

void TenpFoldForm::Drive1_Change() {
  const QString folder = AttachmentFolder();
  if (Dir1->text() == folder) Dir1_Change();
  else Dir1->setText(folder);
}

void TenpFoldForm::File1_Click() {
  QListWidgetItem* item = File1->currentItem();
  if (!item) return;
  const QString path = fullPath(item->text());
  Text4->setText(QStringLiteral("1"));
  Text3->setText(path);
  if (seams::MsgBox(kWarning, seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes) return;
  Text1->setText(QString::number(File1->ListCount()));
  // A picture goes to the preview; any other file to the page view.
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  const QImage picture = reader.read();
  if (!picture.isNull()) {
    Image1->setPixmap(QPixmap::fromImage(picture));
    Text3->setText(path);
    return;
  }
  Text2->setText(path);
  attachments::showFile(WebBrowser1, Text2->text());
  Text3->setText(path);
}

void TenpFoldForm::Command1_Click() {
  if (Text4->text() == u"0") {
    seams::MsgBox(QStringLiteral("ファイルが選択されていません。"), seams::vbOKOnly);
    return;
  }
  // The question names the file that goes.
  const QString path = Text3->text();
  if (seams::MsgBox(QStringLiteral("選択したファイルを削除しますか？ \r\n\r\n") + QFileInfo(path).fileName(),
                    seams::vbYesNo | seams::vbQuestion, QStringLiteral("確認")) != seams::vbYes) {
    // Nothing is chosen any more: nothing stays highlighted either.
    Text4->setText(QStringLiteral("0"));
    File1->clearSelection();
    return;
  }
  // Only a plain file is deleted, never a folder.
  const bool deleted = QFileInfo(path).isFile() && QFile::remove(path);
  File1->Refresh();
  Text1->setText(QString::number(File1->ListCount()));
  if (deleted) {
    Text4->setText(QStringLiteral("0"));
  } else {
    seams::MsgBox(QStringLiteral("削除出来ないファイルです。エクスプローラで削除して下さい。"), seams::vbOKOnly);
    // The file stays chosen, and highlighted while it is listed.
    highlightSelected();
  }
}

void TenpFoldForm::Form_Resize() {
  const int W = Width();
  const int H = Height();
  QRect g = WebBrowser1->geometry();
  if (H > 3500) {
    g.setHeight(std::max(0, ui::px(H - 500)));
    if (W > 3500) g.setWidth(std::max(0, ui::px(W - ui::tw(Image1->width()) - 200)));
  }
  // (never beyond the client area, where the rule's allowance for the frame
  // falls short of the frame this window has)
  g.setWidth(std::clamp(g.width(), 0, std::max(0, client()->width() - g.x())));
  g.setHeight(std::clamp(g.height(), 0, std::max(0, client()->height() - g.y())));
  WebBrowser1->setGeometry(g);
}

void TenpFoldForm::Form_Unload(int& cancel) {
  (void)cancel;
  settings::writeNumber(settings::key::TenpFoldWidth, Width());
  settings::writeNumber(settings::key::TenpFoldHeight, Height());
}

}  // namespace forms
