// Build-time tool: writes the program's icons for the desktop's icon theme,
// drawn by the program's own image code, as
//   <folder>/<N>x<N>/apps/tervane.png for each size given, and
//   <folder>/scalable/apps/tervane.svg.
// Usage: tervane_make_icons <folder> <size>...
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "images.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tervane_make_icons <folder> <size>...\n");
    return 2;
  }
  // Drawing needs no screen.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    if (size <= 0 || !QDir().mkpath(dir) ||
        !DrawImage(tiGrey, size).save(dir + QStringLiteral("/tervane.png"), "PNG")) {
      std::fprintf(stderr, "tervane_make_icons: cannot write the %s pixel icon\n", argv[i]);
      return 1;
    }
  }
  const QString dir = folder + QStringLiteral("/scalable/apps");
  QFile svg(dir + QStringLiteral("/tervane.svg"));
  if (!QDir().mkpath(dir) || !svg.open(QIODevice::WriteOnly) ||
      svg.write(ImageSvg(tiGrey).toUtf8()) < 0) {
    std::fprintf(stderr, "tervane_make_icons: cannot write the scalable icon\n");
    return 1;
  }
  return 0;
}
