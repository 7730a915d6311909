// The image plug-in as Qt programs meet it: found by QImageReader and
// QImageWriter through QT_PLUGIN_PATH, under the offscreen platform.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "tests/desktop/pictures.h"
#include "tests/support/damaged_tags.h"

namespace {

std::string g_dir;

// Damaged pictures are expected here; their warnings would only be noise.
constexpr char kQuietRules[] = "tlg.imageio.warning=false\nqt.gui.imageio.warning=false";

QString g_warning;
void CaptureWarning(QtMsgType, const QMessageLogContext&, const QString& message) {
  g_warning = message;
}

QByteArray ToQt(const Bytes& bytes) {
  return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

void ExpectPixels(const QImage& image, const Rgba& expected) {
  ASSERT_EQ(size_t(image.width()), expected.width);
  ASSERT_EQ(size_t(image.height()), expected.height);
  for (size_t y = 0; y < expected.height; y++) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(int(y)));
    for (size_t x = 0; x < expected.width; x++) {
      const uint8_t* want = &expected.pixels[(y * expected.width + x) * 4];
      ASSERT_EQ(row[x], qRgba(want[0], want[1], want[2], want[3])) << "pixel " << x << "," << y;
    }
  }
}

TEST(QtPlugin, IsListedForReadingAndWriting) {
  EXPECT_TRUE(QImageReader::supportedImageFormats().contains("tlg"));
  EXPECT_TRUE(QImageReader::supportedMimeTypes().contains("image/x-tlg"));
  EXPECT_TRUE(QImageWriter::supportedImageFormats().contains("tlg"));
  QBuffer buffer;
  QImageWriter writer(&buffer, "tlg");
  EXPECT_EQ(writer.supportedSubTypes(), (QList<QByteArray>{"tlg5", "tlg6"}));
}

TEST(QtPlugin, ReadsWithTheToolsPixels) {
  for (const TestFile& f : TestFiles(g_dir)) {
    SCOPED_TRACE(f.name);
    Rgba expected;
    ASSERT_TRUE(ToolDecode(f.path, &expected));
    // Under a name that says nothing: the signature alone tells the format.
    const QString path = QString::fromStdString(g_dir + "/" + f.name + ".bin");
    WriteFile(path.toStdString(), ReadFile(f.path));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "tlg");
    EXPECT_EQ(reader.size(), QSize(int(expected.width), int(expected.height)));
    const QImage::Format format = f.colours == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    EXPECT_EQ(reader.imageFormat(), format);
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    EXPECT_EQ(image.format(), format);
    ExpectPixels(image, expected);
  }
}

TEST(QtPlugin, SizeComesFromTheHeaderAlone) {
  // Cut right after the header: the size is there, the pixels are not.
  const Bytes file = ReadFile(TLG_SOURCE_DIR "/samples/dusk-tlg5.tlg");
  QByteArray head = ToQt(Truncated(file, 40));
  QBuffer buffer(&head);
  QImageReader reader(&buffer, "tlg");
  EXPECT_EQ(reader.size(), QSize(240, 160));
  EXPECT_EQ(reader.subType(), "tlg5");
  EXPECT_TRUE(reader.read().isNull());
}

TEST(QtPlugin, WriterToReaderRoundTripIsExact) {
  const Rgba alpha = MakeRgba(53, 31, true, 3);
  QImage argb(int(alpha.width), int(alpha.height), QImage::Format_ARGB32);
  for (int y = 0; y < argb.height(); y++) {
    for (int x = 0; x < argb.width(); x++) {
      const uint8_t* p = &alpha.pixels[(size_t(y) * alpha.width + size_t(x)) * 4];
      argb.setPixel(x, y, qRgba(p[0], p[1], p[2], p[3]));
    }
  }
  QImage rgb = argb.convertToFormat(QImage::Format_RGB32);
  struct Case {
    const char* sub_type;  // empty: the default
    tlg_kind kind;
  };
  for (const Case c : {Case{"tlg5", TLG_KIND_TLG5}, Case{"tlg6", TLG_KIND_TLG6}, Case{"", TLG_KIND_TLG6}}) {
    for (const QImage* image : {&argb, &rgb}) {
      SCOPED_TRACE(std::string(c.sub_type) + (image == &argb ? " alpha" : " opaque"));
      QByteArray file;
      QBuffer out(&file);
      out.open(QIODevice::WriteOnly);
      QImageWriter writer(&out, "tlg");
      if (*c.sub_type != '\0')
        writer.setSubType(c.sub_type);
      ASSERT_TRUE(writer.write(*image)) << writer.errorString().toStdString();
      out.close();

      tlg_info info;
      ASSERT_EQ(tlg_read_info(file.constData(), size_t(file.size()), &info), TLG_OK);
      EXPECT_EQ(info.kind, c.kind);
      EXPECT_EQ(info.colours, image == &argb ? 4u : 3u);

      QBuffer in(&file);
      QImageReader reader(&in);
      const QImage back = reader.read();
      ASSERT_EQ(back.format(), image->format()) << reader.errorString().toStdString();
      EXPECT_EQ(back, *image);
    }
  }

  QBuffer out;
  out.open(QIODevice::WriteOnly);
  QImageWriter writer(&out, "tlg");
  writer.setSubType("tlg7");
  EXPECT_FALSE(writer.write(argb));
  EXPECT_TRUE(out.data().isEmpty());
  // To a file, which the writer opens before the handler learns the subtype:
  // nothing is left behind, and the warning names what was refused.
  const QString path = QString::fromStdString(g_dir + "/tlg7.tlg");
  QImageWriter to_file(path);
  to_file.setSubType("tlg7");
  QLoggingCategory::setFilterRules("qt.gui.imageio.warning=false");
  const QtMessageHandler previous = qInstallMessageHandler(CaptureWarning);
  EXPECT_FALSE(to_file.write(argb));
  qInstallMessageHandler(previous);
  QLoggingCategory::setFilterRules(kQuietRules);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_TRUE(g_warning.contains("unknown subtype \"tlg7\"")) << g_warning.toStdString();
}

// Threads of this process, from the kernel's own count.
int ThreadCount() {
  QFile status("/proc/self/status");
  if (!status.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
  }
  return 0;
}

QByteArray WriteTlg6(const QImage& image) {
  QByteArray file;
  QBuffer out(&file);
  out.open(QIODevice::WriteOnly);
  QImageWriter writer(&out, "tlg");
  EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
  return file;
}

TEST(QtPlugin, WriterTakesItsThreadsFromTheEnvironment) {
  QImage image(1024, 1024, QImage::Format_ARGB32);
  for (int y = 0; y < image.height(); y++) {
    for (int x = 0; x < image.width(); x++) image.setPixel(x, y, qRgba(x * y, x ^ y, x + y, y));
  }
  qunsetenv("TLG_THREADS");
  const QByteArray alone = WriteTlg6(image);
  for (const char* odd : {"0", "-3", "many", "100000"}) {
    qputenv("TLG_THREADS", odd);
    EXPECT_EQ(WriteTlg6(image), alone) << odd;
  }

  // Four asked for: the process runs more threads while it writes.
  qputenv("TLG_THREADS", "4");
  const int before = ThreadCount();
  std::atomic<int> most{0};
  std::atomic<bool> done{false};
  std::thread watcher([&] {
    while (!done) most = std::max(most.load(), ThreadCount());
  });
  const QByteArray threaded = WriteTlg6(image);
  done = true;
  watcher.join();
  qunsetenv("TLG_THREADS");
  EXPECT_EQ(threaded, alone);
  EXPECT_GE(most.load(), before + 1 + 3);  // the watcher and three helpers
}

// Reading fails cleanly, with the reason in QImageReader::error().
void ExpectReadFails(const Bytes& file, QImageReader::ImageReaderError error) {
  QByteArray data = ToQt(file);
  QBuffer buffer(&data);
  QImageReader reader(&buffer, "tlg");
  EXPECT_TRUE(reader.read().isNull());
  EXPECT_EQ(reader.error(), error);
  EXPECT_FALSE(reader.errorString().isEmpty());
}

TEST(QtPlugin, DamagedTagsKeepTheEntriesBeforeTheDamage) {
  const Rgba picture = MakeRgba(13, 9, true, 5);
  const auto damaged = DamagedTagsFiles(Encode(picture, TLG_KIND_TLG5, true, TagsToDamage()));
  ASSERT_EQ(damaged.size(), 4u);
  for (const DamagedTagsFile& file : damaged) {
    SCOPED_TRACE(file.what);
    QByteArray data = ToQt(file.bytes);
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "tlg");
    const QImage image = reader.read();
    ASSERT_FALSE(image.isNull()) << reader.errorString().toStdString();
    ExpectPixels(image, picture);
    EXPECT_EQ(image.text(kKeptTagKey), kKeptTagValue);
    EXPECT_EQ(image.textKeys(), QStringList{kKeptTagKey});
  }
}

TEST(QtPlugin, DamagedFilesFailCleanly) {
  const Bytes tlg5 = ReadFile(TLG_SOURCE_DIR "/samples/dusk-tlg5.tlg");
  const Bytes tlg6 = ReadFile(TLG_SOURCE_DIR "/samples/badge-tlg6.tlg");
  for (const Bytes* file : {&tlg5, &tlg6}) {
    for (size_t cut : {size_t(5), size_t(20), file->size() / 2, file->size() - 1}) {
      SCOPED_TRACE(cut);
      ExpectReadFails(Truncated(*file, cut), QImageReader::InvalidDataError);
    }
  }
  Bytes colours = tlg5;
  colours[11] = 2;
  ExpectReadFails(colours, QImageReader::InvalidDataError);
  ExpectReadFails(Tlg5WithWidth(tlg5, 1u << 24), QImageReader::InvalidDataError);
  ExpectReadFails(Encode(Rgba{0, 0, Bytes(4)}, TLG_KIND_TLG5, false), QImageReader::InvalidDataError);
  ExpectReadFails(Bytes{'P', 'K', 3, 4, 0, 0, 0, 0, 0, 0, 0, 0}, QImageReader::InvalidDataError);

}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  QLoggingCategory::setFilterRules(kQuietRules);
  ::testing::InitGoogleTest(&argc, argv);
  g_dir = MakeTempDir("qt_test");
  return RUN_ALL_TESTS();
}
