#include "platform/testing/window_check.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTextDocument>
#include <QWidget>
#include <functional>

#include "platform/ui.h"

namespace windowcheck {
namespace {

QString nameOf(const QWidget* w) {
  if (!w) return QStringLiteral("nothing");
  return w->objectName().isEmpty() ? QString::fromLatin1(w->metaObject()->className()) : w->objectName();
}

QString box(const QRect& r) { return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height()); }

bool isControl(const QWidget* w) {
  const QString n = w->objectName();
  return !n.isEmpty() && !n.startsWith(QLatin1String("qt_"));
}

// A control whose inside is its own (scrolled contents, a box's parts).
bool ownsItsInside(const QWidget* w) {
  return qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
         qobject_cast<const QComboBox*>(w) || qobject_cast<const QLineEdit*>(w) || qobject_cast<const QTabBar*>(w) ||
         qobject_cast<const QAbstractButton*>(w);
}

// A button's caption as it shows: "&&" an ampersand, a lone "&" the
// mnemonic's mark, not drawn.
QString shownCaption(QString s) {
  QString out;
  for (qsizetype i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') out += u'&', ++i;
      continue;
    }
    out += s[i];
  }
  return out;
}

// Whether lines of text at fm fit room (each line's width, all lines' height).
QString linesFault(const QStringList& lines, const QFontMetrics& fm, const QRect& room) {
  int widest = 0;
  for (const QString& l : lines) widest = std::max(widest, fm.horizontalAdvance(l));
  const int high = fm.height() + (static_cast<int>(lines.size()) - 1) * fm.lineSpacing();
  if (widest > room.width()) return QStringLiteral("text %1 px wide in %2").arg(widest).arg(room.width());
  if (high > room.height()) return QStringLiteral("text %1 px high in %2").arg(high).arg(room.height());
  return {};
}

struct Walked {
  const QWidget* w;
  QRect clipped;  // in the client's coordinates, cut by every panel it lies on
};

// The widget's child of ancestor a on the way down to w (w itself when a is its parent).
const QWidget* childOnTheWay(const QWidget* a, const QWidget* w) {
  while (w && w->parentWidget() != a) w = w->parentWidget();
  return w;
}

// Whether d is drawn over c: below their nearest common panel, d's branch
// comes later in the stacking order than c's. Never when one holds the other.
bool drawnOver(const QWidget* d, const QWidget* c) {
  if (d->isAncestorOf(c) || c->isAncestorOf(d)) return false;
  const QWidget* a = c->parentWidget();
  while (a && !a->isAncestorOf(d)) a = a->parentWidget();
  if (!a) return false;
  const QWidget* cb = childOnTheWay(a, c);
  const QWidget* db = childOnTheWay(a, d);
  const QObjectList& z = a->children();
  return z.indexOf(const_cast<QWidget*>(db)) > z.indexOf(const_cast<QWidget*>(cb));
}

}  // namespace

QString textFault(const QWidget* control) {
  if (auto* l = qobject_cast<const QLabel*>(control)) {
    if (l->text().isEmpty() || !l->pixmap().isNull()) return {};
    QString text = l->text();
    if (l->textFormat() == Qt::RichText || (l->textFormat() == Qt::AutoText && Qt::mightBeRichText(text))) {
      QTextDocument d;
      d.setHtml(text);
      text = d.toPlainText();
    }
    const QFontMetrics fm(l->font());
    const int m = l->margin();
    const QRect room = l->contentsRect().adjusted(m, m, -m, -m);
    if (l->wordWrap()) {
      const QRect need = fm.boundingRect(QRect(0, 0, room.width(), 100000), Qt::TextWordWrap | l->alignment(), text);
      if (need.height() > room.height())
        return QStringLiteral("wrapped text %1 px high in %2").arg(need.height()).arg(room.height());
      return {};
    }
    return linesFault(text.split(u'\n'), fm, room);
  }
  if (auto* b = qobject_cast<const QPushButton*>(control)) {
    if (b->text().isEmpty()) return {};
    if (b->text().contains(u'…') && !b->toolTip().isEmpty()) return QStringLiteral("caption cut: %1").arg(b->text());
    QStyleOptionButton opt;
    opt.initFrom(b);
    const QRect room = b->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, b).adjusted(1, 0, -1, 0);
    return linesFault(shownCaption(b->text()).split(u'\n'), QFontMetrics(b->font()), room);
  }
  if (qobject_cast<const QCheckBox*>(control) || qobject_cast<const QRadioButton*>(control)) {
    auto* b = static_cast<const QAbstractButton*>(control);
    if (b->text().isEmpty()) return {};
    QStyleOptionButton opt;
    opt.initFrom(b);
    opt.text = b->text();
    const bool check = qobject_cast<const QCheckBox*>(control) != nullptr;
    const QRect room =
        b->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &opt, b);
    return linesFault(shownCaption(b->text()).split(u'\n'), QFontMetrics(b->font()), room);
  }
  if (auto* e = qobject_cast<const QLineEdit*>(control)) {
    const QFontMetrics fm(e->font());
    QStyleOptionFrame opt;
    opt.initFrom(e);
    opt.lineWidth = e->hasFrame() ? e->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, e) : 0;
    const QRect r = e->style()->subElementRect(QStyle::SE_LineEditContents, &opt, e);
    const QMargins tm = e->textMargins();
    // (a box keeps one pixel above and below its line)
    const int high = r.height() - tm.top() - tm.bottom() - 2;
    if (fm.height() > high) return QStringLiteral("line %1 px high in %2").arg(fm.height()).arg(high);
    const int wide = fm.horizontalAdvance(e->displayText());
    if (wide > ui::textRoom(e)) return QStringLiteral("text %1 px wide in %2").arg(wide).arg(ui::textRoom(e));
    return {};
  }
  return {};
}

QStringList faults(const QWidget* window, const Rules& rules) {
  QStringList out;
  const auto* form = dynamic_cast<const ui::Form*>(window);
  const QWidget* client = form ? form->client() : window;
  if (!client->isVisible()) return {QStringLiteral("the window is not shown")};

  // The shown controls, each cut by the panels it lies on.
  QList<Walked> controls;
  std::function<void(const QWidget*, const QRect&)> walk = [&](const QWidget* parent, const QRect& clip) {
    for (QObject* o : parent->children()) {
      auto* w = qobject_cast<QWidget*>(o);
      if (!w || w->isWindow() || !w->isVisible() || rules.skip.contains(w)) continue;
      const QRect inClient(w->mapTo(client, QPoint(0, 0)), w->size());
      const QRect clipped = inClient.intersected(clip);
      const QRect room = w->parentWidget() == client ? client->rect() : w->parentWidget()->rect();
      if (rules.mayLieOutside.contains(w) && !room.intersects(w->geometry())) continue;
      if (isControl(w) && !w->size().isEmpty()) {
        controls.append({w, clipped});
        // Whole inside the panel it lies on (and so, panel by panel, inside
        // the client area).
        if (!room.contains(w->geometry()))
          out << QStringLiteral("%1 at %2 is not whole inside %3 (%4)")
                     .arg(nameOf(w), box(w->geometry()), nameOf(w->parentWidget()), box(room));
        if (!rules.textMayBeCut.contains(w)) {
          const QString t = textFault(w);
          if (!t.isEmpty()) out << QStringLiteral("%1: %2").arg(nameOf(w), t);
        }
      } else if (isControl(w) && !textFault(w).isEmpty()) {
        out << QStringLiteral("%1 has no room for its text").arg(nameOf(w));
      }
      if (!ownsItsInside(w)) walk(w, clipped);
    }
  };
  walk(client, client->rect());

  auto allowed = [&](const QWidget* a, const QWidget* b) {
    for (const auto& p : rules.mayOverlap) {
      const bool pa = p.first == a || p.first->isAncestorOf(a), pb = p.second == b || p.second->isAncestorOf(b);
      const bool qa = p.second == a || p.second->isAncestorOf(a), qb = p.first == b || p.first->isAncestorOf(b);
      if ((pa && pb) || (qa && qb)) return true;
    }
    return false;
  };
  // Covered: another control drawn over more than a pixel's seam of it.
  for (const Walked& c : controls) {
    QList<QPair<const QWidget*, QRect>> by;
    for (const Walked& d : controls) {
      if (c.w == d.w) continue;
      const QRect over = c.clipped.intersected(d.clipped);
      if (over.width() < 2 || over.height() < 2) continue;
      if (!drawnOver(d.w, c.w) || allowed(c.w, d.w)) continue;
      by.append({d.w, over});
    }
    // (a covering panel named, not also every control on it)
    QStringList names;
    for (const auto& [d, over] : by) {
      bool onCovering = false;
      for (const auto& e : by) onCovering = onCovering || (e.first != d && e.first->isAncestorOf(d));
      if (!onCovering) names << QStringLiteral("%1 at %2").arg(nameOf(d), box(over));
    }
    if (!names.isEmpty()) out << QStringLiteral("%1 is covered by %2").arg(nameOf(c.w), names.join(QStringLiteral(", ")));
  }
  return out;
}

namespace {
class Still : public QObject {
 public:
  explicit Still(QWidget* w) : w_(w) {
    w->installEventFilter(this);
    quiet_.start();
  }
  ~Still() override {
    if (w_) w_->removeEventFilter(this);
  }
  qint64 quietFor() const { return quiet_.elapsed(); }

 protected:
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Resize || e->type() == QEvent::Move || e->type() == QEvent::WindowStateChange ||
        e->type() == QEvent::Show)
      quiet_.restart();
    return false;
  }

 private:
  QPointer<QWidget> w_;
  QElapsedTimer quiet_;
};
}  // namespace

void waitUntilStill(QWidget* w, const std::function<bool()>& done) {
  Still still(w);
  if (done) (void)QTest::qWaitFor(done, 5000);
  QElapsedTimer all;
  all.start();
  while (still.quietFor() < 150 && all.elapsed() < 3000) QTest::qWait(10);
}

QStringList faultsAtEverySize(ui::Form& f, const Rules& rules) {
  QStringList out;
  if (!f.isVisible()) f.Show();
  if (!QTest::qWaitForWindowExposed(&f)) return {QStringLiteral("the window is not shown")};
  waitUntilStill(&f);
  const QSize design = f.size();
  const QPoint at = f.pos();
  auto check = [&](const QString& size) {
    for (const QString& l : faults(&f, rules))
      out << QStringLiteral("%1 %2x%3: %4").arg(size).arg(f.width()).arg(f.height()).arg(l);
  };
  check(QStringLiteral("design"));
  if (f.minimumSize() == f.maximumSize()) return out;
  const QRect screen = f.screen()->availableGeometry();
  const QSize largest = screen.size() - ui::frameExtra(&f);
  const QSize small = (design * 0.6).expandedTo(f.minimumSize());
  const QSize large = (design * 1.5).boundedTo(largest).boundedTo(f.maximumSize()).expandedTo(design);
  for (const auto& [name, size] : {std::pair{QStringLiteral("small"), small}, std::pair{QStringLiteral("large"), large}}) {
    f.move(screen.topLeft());
    f.resize(size);
    waitUntilStill(&f, [&] { return f.size() == size; });
    check(name);
  }
  f.showMaximized();
  waitUntilStill(&f, [&] { return f.isMaximized() && f.width() > largest.width() * 3 / 4; });
  check(QStringLiteral("maximised"));
  f.showNormal();
  waitUntilStill(&f, [&] { return !f.isMaximized(); });
  f.resize(design);
  f.move(at);
  waitUntilStill(&f, [&] { return f.size() == design; });
  return out;
}

}  // namespace windowcheck
