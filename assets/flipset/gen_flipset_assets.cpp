// Writes the reversi game's picture, tune and game-end sound into the
// folder given as the one argument.
#include <QGuiApplication>
#include <cstdio>

#include "flipset_assets.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: gen_flipset_assets <folder>\n");
    return 2;
  }
  QGuiApplication app(argc, argv);
  if (!flipset_assets::writeAll(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "gen_flipset_assets: cannot write into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
