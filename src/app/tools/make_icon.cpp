// Writes the program icon as a PNG of the given size, for the desktop entry:
//   make_icon FILE.png SIZE
// The same drawing as the window's own icon (app/pictures.cpp).

#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/pictures.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_icon FILE.png SIZE\n");
    return 2;
  }
  const int size = std::atoi(argv[2]);
  if (size < 16 || size > 1024 || !app::ProgramIconImage(size).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "make_icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
