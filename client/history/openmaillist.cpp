#include "client/history/openmaillist.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPushButton>
#include <QTextEdit>
#include <QTreeWidget>
#include <vector>

#include "client/history/editorcommands.h"
#include "client/history/mailrows.h"
#include "client/history/neighbours.h"
#include "client/history/tyakuform.h"
#include "client/mainwindow/globals.h"
#include "client/mainwindow/recordfile.h"
#include "platform/seams.h"
#include "platform/vbstring.h"

namespace history {

namespace {

struct Kind {
  const char16_t* caption;
  QColor colour;
};

const Kind& kindOf(int kind) {
  static const Kind kinds[6] = {
      {u"着信履歴　（フォームのストレッチ、最大化が可能です）", QColor(210, 250, 250)},
      {u"送信履歴　（フォームのストレッチ、最大化が可能です）", QColor(250, 250, 255)},
      {u"金の金庫　（フォームのストレッチ、最大化が可能です）", QColor(200, 177, 128)},
      {u"銀の金庫　（フォームのストレッチ、最大化が可能です）", QColor(116, 103, 107)},
      {u"銅の金庫　（フォームのストレッチ、最大化が可能です）", QColor(166, 34, 17)},
      {u"VIP Room（フォームのストレッチ、最大化が可能です）", QColor(0, 252, 124)},
  };
  return kinds[std::clamp(kind, 1, 6) - 1];
}

// A field of the record bytes as the fixed-width text (padding kept).
QString paddedField(const char* bytes, std::size_t offset, int width) {
  QString s = records::takeField(bytes + offset, static_cast<std::size_t>(width));
  if (s.size() < width) s += QString(width - s.size(), QLatin1Char(' '));
  return s;
}

constexpr std::size_t kSubjectAt = 0, kDateAt = 100, kFromToAt = 190, kBodyAt = 280;
constexpr int kSubjectWidth = 100, kDateWidth = 90, kFromToWidth = 90, kBodyWidth = 32000;

// The row of one record: its subject, sender or recipient and date as
// stored, cut at their first NUL.
QTreeWidgetItem* rowOf(const char* bytes) {
  auto* item = new QTreeWidgetItem;
  item->setText(0, vb::TrimAtNull(paddedField(bytes, kSubjectAt, kSubjectWidth)));
  item->setText(1, vb::TrimAtNull(paddedField(bytes, kFromToAt, kFromToWidth)));
  item->setText(2, vb::TrimAtNull(paddedField(bytes, kDateAt, kDateWidth)));
  return item;
}

}  // namespace

QString listFile(int kind) { return records::mailListFile(kind); }

int recordCount(const QString& programPath) {
  records::MailFile f(programPath);
  f.open();
  return std::max(0, f.count());
}

void clipboardPass(QTextEdit* box) {
  QClipboard* cb = QApplication::clipboard();
  cb->clear();
  cb->setText(vb::TrimAtNull(EditorText(box)));
  SetEditorText(box, vb::Trim(cb->text()));
}

void setListColour(QTreeWidget* view, const QColor& c) {
  view->setProperty("backColor", c);
  QPalette p = view->palette();
  p.setColor(QPalette::Base, c);
  view->setPalette(p);
  view->viewport()->setPalette(p);
}

int fillList(int kind, bool trimBoxes) {
  auto& f = ::TyakuForm();
  f.MailListView->clear();
  f.Text5->clear();
  f.ShownRow = 0;
  records::MailRecord* buffer = records::mailListBuffer(kind);
  records::MailFile file(listFile(kind));

  std::vector<QTreeWidgetItem*> rows;
  bool anyBody = false;
  std::string last;
  const bool read = file.scan(
      [&](int, const char* bytes) {
        rows.push_back(rowOf(bytes));
        if (!anyBody) {
          for (std::size_t i = kBodyAt; i < kBodyAt + kBodyWidth; ++i)
            if (bytes[i] != ' ' && bytes[i] != '\0') {
              anyBody = true;
              break;
            }
        }
        last.assign(bytes, records::MailRecord::kSize);
      },
      [&](int count) { rows.reserve(static_cast<std::size_t>(std::max(0, count))); });
  if (!read)
    seams::MsgBox(QStringLiteral("メールの一覧を読み込めませんでした。\r\n") + file.errorText(),
                  seams::vbOKOnly | seams::vbExclamation);

  QList<QTreeWidgetItem*> items(rows.begin(), rows.end());
  f.MailListView->addTopLevelItems(items);

  if (!last.empty() && buffer) {
    // The boxes keep the last record listed; its body ends on the clipboard.
    buffer->fromBytes(last.data());
    if (trimBoxes) {
      f.Text7->setText(vb::Trim(buffer->Subject));
      f.Text8->setText(vb::Trim(buffer->FromTo));
      f.Text9->setText(vb::Trim(buffer->MailDate));
      SetEditorText(f.rtfEd, vb::Trim(buffer->Body));
    } else {
      f.Text7->setText(buffer->Subject.padded());
      f.Text8->setText(buffer->FromTo.padded());
      f.Text9->setText(buffer->MailDate.padded());
      SetEditorText(f.rtfEd, buffer->Body);
    }
    clipboardPass(f.rtfEd);
    if (anyBody) DocumentModified = true;
  }
  return static_cast<int>(rows.size());
}

int addNewRows(int kind) {
  auto& f = ::TyakuForm();
  records::MailFile file(listFile(kind));
  const int count = file.count();
  int rows = f.MailListView->topLevelItemCount();
  if (count <= rows) return rows;
  std::string bytes(records::MailRecord::kSize, '\0');
  QList<QTreeWidgetItem*> items;
  for (int n = rows + 1; n <= count && file.readBytes(n, bytes.data()); ++n) items << rowOf(bytes.data());
  f.MailListView->addTopLevelItems(items);
  rows += static_cast<int>(items.size());
  f.setCount(QString::number(rows));
  if (kind == 6) neighbours::setVipCount(QString::number(rows));
  return rows;
}

QString tooLongText(int count) {
  return QStringLiteral("この一覧のメールは %1 件で、一覧に入る %2 件を超えています。"
                        "新しいメールはこの一覧に保存できません。不要なメールを削除して下さい。")
      .arg(count)
      .arg(records::kMaxRecords);
}

}  // namespace history

void OpenMailList(int kind) {
  if (kind < 1 || kind > 6) return;
  if (kind == 2) MailListKind = 2;
  auto& f = ::TyakuForm();
  f.Command7->setEnabled(kind == 1 || kind == 6);
  f.Command8->setEnabled(kind == 1 || kind == 6);
  if (kind == 1 || kind == 2 || kind == 6) neighbours::putMascotAway();
  f.Show();
  if (kind >= 3 && kind <= 5) {
    f.Text7->clear();
    f.Text8->clear();
    f.Text9->clear();
    SetEditorText(f.rtfEd, QString());
  }
  f.setCaption(QString::fromUtf16(history::kindOf(kind).caption));
  if (kind == 2) f.Command6->setEnabled(true);
  else MailListKind = static_cast<std::int16_t>(kind);
  f.ShownListKind = static_cast<std::int16_t>(kind);
  history::setListColour(f.MailListView, history::kindOf(kind).colour);
  f.MailListView->clear();
  SetEditorText(f.rtfEd, QString());
  const int rows = history::fillList(kind, true);
  f.setCount(QString::number(rows));
  // A list copied in from elsewhere may hold more mails than a list can:
  // every one is listed and can be read, and the user is told.
  if (rows > records::kMaxRecords) seams::MsgBox(history::tooLongText(rows), seams::vbOKOnly | seams::vbExclamation);
}
