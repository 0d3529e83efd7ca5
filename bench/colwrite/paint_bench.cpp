// One full paint of a mail body of 32,000 characters, as the viewer does it
// twice a second: read and decode "test.txt", then draw every column.
// Goal: well under 50 ms, so that the redraw never makes the window sluggish.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include "colwrite/vertical.h"
#include "platform/codepage.h"
#include "platform/gdi.h"
#include "platform/ui.h"

namespace {

// A Japanese mail body with lines of varied length, punctuation and ASCII.
QString mailBody(int length) {
  const QString lines[] = {
      QStringLiteral("いつもお世話になっております。「縦書き文字」の表示を試すためのメールです。"),
      QStringLiteral("句読点（、。）や括弧『』《》【】、長音「ー」、コロン：の向きをご確認下さい。"),
      QStringLiteral("ASCII: Hello, world - 2026/12/10"),
      QStringLiteral("明日の会議は十時から、第二会議室で行います。よろしくお願いします。"),
      QString()};
  QString text;
  for (int i = 0; text.size() < length; ++i) text += lines[i % 5] + QStringLiteral("\r\n");
  text.truncate(length);
  return text;
}

struct Setup {
  QTemporaryDir dir;
  QString path;
  colwrite::GlyphStrip strip;
  Setup() {
    path = dir.filePath(QStringLiteral("test.txt"));
    const std::string bytes = cp932::encode(mailBody(32000));
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    strip.fore = 0x000000;
    strip.back = 0xC0C0FF;
    strip.font = colwrite::viewerFont();
    strip.build();
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

// st: x of the first column; w x h the window's client; limit the column height limit.
void paint(benchmark::State& state, int st, int w, int h, int limit) {
  Setup& s = setup();
  colwrite::TypeCase type(colwrite::viewerFont());
  QImage canvas = gdi::surface(w, h, s.strip.back);
  for (auto _ : state) {
    const auto text = colwrite::readHandOff(s.path);
    colwrite::paintColumns(canvas, *text, st, limit, s.strip, type, 0x000000);
    benchmark::DoNotOptimize(canvas.constBits());
  }
}

// The design window: the first columns show, the rest lie to the left.
void BM_PaintDesignWindow(benchmark::State& state) { paint(state, 500, 555, 505, 428); }
// Scrolled far to the right: the last columns of the text show.
void BM_PaintScrolledToTheEnd(benchmark::State& state) { paint(state, 36000, 555, 505, 428); }
// A maximised window on a large screen with every visible cell filled.
void BM_PaintMaximised(benchmark::State& state) { paint(state, 2500, 2560, 1400, 1200); }
// A column height of one cell: 32,000 one-cell columns to walk.
void BM_PaintOneCellColumns(benchmark::State& state) { paint(state, 704000, 555, 505, 0); }

BENCHMARK(BM_PaintDesignWindow)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintScrolledToTheEnd)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintMaximised)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PaintOneCellColumns)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ui::installFontSubstitutions();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
