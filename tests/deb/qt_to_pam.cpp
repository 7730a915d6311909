// Reads a picture through QImageReader, with the plug-ins Qt finds by itself,
// and writes it as a PAM in the tlg tool's form (RGBA, 8 bits).
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s PICTURE OUT.pam\n", argv[0]);
    return 2;
  }
  QImageReader reader(QString::fromLocal8Bit(argv[1]));
  const QImage image = reader.read().convertToFormat(QImage::Format_RGBA8888);
  if (image.isNull()) {
    std::fprintf(stderr, "%s: %s (format '%s')\n", argv[1], qPrintable(reader.errorString()),
                 reader.format().constData());
    return 1;
  }
  std::FILE* out = std::fopen(argv[2], "wb");
  if (!out) {
    std::perror(argv[2]);
    return 1;
  }
  std::fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
               image.width(), image.height());
  for (int y = 0; y < image.height(); y++) std::fwrite(image.constScanLine(y), 4, image.width(), out);
  return std::fclose(out) == 0 ? 0 : 1;
}
