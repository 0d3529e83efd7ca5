#include "client/history/listpaint.h"

#include <QAbstractItemView>
#include <QHash>
#include <QHeaderView>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QStyleOptionHeader>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>

namespace {

const QColor kHeaderFace(58, 119, 165);
const QColor kHeaderText(255, 255, 255);
const QColor kEvenRow(255, 255, 192);
const QColor kOddRow(201, 218, 247);

// The header painter: a steel-blue face with a raised soft edge (a flat
// one while the section is pressed) and white, left-aligned text.
class HeaderPainter : public QProxyStyle {
 public:
  void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                   const QWidget* widget) const override {
    if (element != CE_Header) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    const auto* header = qstyleoption_cast<const QStyleOptionHeader*>(option);
    if (!header) {
      QProxyStyle::drawControl(element, option, painter, widget);
      return;
    }
    painter->save();
    QRect r = header->rect;
    painter->fillRect(r, kHeaderFace);
    r.setRight(r.right() - 1);
    const bool pressed = header->state & State_Sunken;
    if (pressed) {
      painter->setPen(QColor(128, 128, 128));
      painter->drawRect(r.adjusted(0, 0, -1, -1));
    } else {
      painter->setPen(QColor(255, 255, 255));
      painter->drawLine(r.topLeft(), r.topRight());
      painter->drawLine(r.topLeft(), r.bottomLeft());
      painter->setPen(QColor(64, 64, 64));
      painter->drawLine(r.bottomLeft(), r.bottomRight());
      painter->drawLine(r.topRight(), r.bottomRight());
    }
    r.setLeft(r.left() + 5);
    painter->setPen(kHeaderText);
    painter->drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, header->text);
    painter->restore();
  }
};

// The row painter: even rows light yellow, odd rows light blue; the text
// colour stays; a selected row keeps the view's highlight.
class RowPainter : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (!(option.state & QStyle::State_Selected))
      painter->fillRect(option.rect, (index.row() % 2 == 0) ? kEvenRow : kOddRow);
    QStyledItemDelegate::paint(painter, option, index);
  }
};

QHeaderView* headerOf(QWidget* listView) {
  if (auto* t = qobject_cast<QTreeView*>(listView)) return t->header();
  if (auto* t = qobject_cast<QTableView*>(listView)) return t->horizontalHeader();
  return nullptr;
}

// What each painter replaced, kept per list view.
struct KeptHeader {
  QPointer<HeaderPainter> painter;
  QPointer<QStyle> previous;  // null: the application style
};
QHash<QObject*, KeptHeader>& keptHeaders() {
  static QHash<QObject*, KeptHeader> h;
  return h;
}
struct KeptRows {
  QPointer<RowPainter> painter;
  QPointer<QAbstractItemDelegate> previous;
};
QHash<QObject*, KeptRows>& keptRows() {
  static QHash<QObject*, KeptRows> h;
  return h;
}

QAbstractItemView* listOfWindow(QWidget* window) {
  if (!window) return nullptr;
  return window->findChild<QAbstractItemView*>(QStringLiteral("MailListView"));
}

void hookRows(QWidget* window) {
  QAbstractItemView* view = listOfWindow(window);
  if (!view || keptRows().contains(view)) return;
  KeptRows k;
  k.previous = view->itemDelegate();
  k.painter = new RowPainter(view);
  view->setItemDelegate(k.painter);
  keptRows().insert(view, k);
  QObject::connect(view, &QObject::destroyed, [view] { keptRows().remove(view); });
  view->viewport()->update();
}

void unhookRows(QWidget* window) {
  QAbstractItemView* view = listOfWindow(window);
  if (!view) return;
  auto it = keptRows().find(view);
  if (it == keptRows().end()) return;
  KeptRows k = *it;
  keptRows().erase(it);
  view->setItemDelegate(k.previous);
  if (k.painter) k.painter->deleteLater();
  view->viewport()->update();
}

}  // namespace

void HookHeader(QWidget* listView) {
  QHeaderView* header = headerOf(listView);
  if (!header || keptHeaders().contains(listView)) return;
  KeptHeader k;
  if (header->testAttribute(Qt::WA_SetStyle)) k.previous = header->style();
  k.painter = new HeaderPainter();
  k.painter->setParent(header);
  header->setStyle(k.painter);
  keptHeaders().insert(listView, k);
  QObject::connect(listView, &QObject::destroyed, [listView] { keptHeaders().remove(listView); });
  header->viewport()->update();
}

void UnhookHeader(QWidget* listView) {
  auto it = keptHeaders().find(listView);
  if (it == keptHeaders().end()) return;
  KeptHeader k = *it;
  keptHeaders().erase(it);
  if (QHeaderView* header = headerOf(listView)) {
    header->setStyle(k.previous);
    header->viewport()->update();
  }
  if (k.painter) k.painter->deleteLater();
}

void HookTyakuList(QWidget* window) { hookRows(window); }
void UnhookTyakuList(QWidget* window) { unhookRows(window); }
void HookFriendList(QWidget* window) { hookRows(window); }
void UnhookFriendList(QWidget* window) { unhookRows(window); }
