#include "tlg_image_handler.h"

#include <QFile>
#include <QIODevice>
#include <QImage>
#include <QList>
#include <QLoggingCategory>
#include <QSize>
#include <QVariant>

#include <algorithm>
#include <climits>

#include "tlg/tlg.h"

namespace {

Q_LOGGING_CATEGORY(lcTlg, "tlg.imageio", QtWarningMsg)

// Every header, raw or wrapped, fits in far fewer bytes.
constexpr qint64 kHeaderPeek = 4096;

// QImage's 32-bit formats hold each pixel as one 0xAARRGGBB word, which is
// B, G, R, A in memory on little-endian machines. Elsewhere pixels go through
// a byte-ordered image.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr tlg_pixel_format kWordOrder = TLG_BGRA8;
constexpr bool kDirect = true;
#else
constexpr tlg_pixel_format kWordOrder = TLG_RGBA8;
constexpr bool kDirect = false;
#endif

bool PeekInfo(QIODevice* device, tlg_info* info) {
  if (device == nullptr || !device->isReadable())
    return false;
  const QByteArray head = device->peek(kHeaderPeek);
  return tlg_read_info(head.constData(), size_t(head.size()), info) == TLG_OK;
}

bool Fail(const char* what) {
  qCWarning(lcTlg, "Cannot handle the TLG picture: %s", what);
  return false;
}

bool Fail(tlg_error error) {
  return Fail(tlg_error_string(error));
}

// A wrapper's tags as the image's text, read as UTF-8. Tags that cannot be
// read leave the picture without text; they never fail it.
void SetTextFromTags(const QByteArray& data, QImage* image) {
  tlg_tag* tags = nullptr;
  size_t count = 0;
  if (tlg_read_tags(data.constData(), size_t(data.size()), &tags, &count) != TLG_OK)
    return;
  for (size_t i = 0; i < count; i++) {
    image->setText(QString::fromUtf8(tags[i].key, qsizetype(tags[i].key_size)),
                   QString::fromUtf8(tags[i].value, qsizetype(tags[i].value_size)));
  }
  tlg_free(tags);
}

// QImageWriter opens, and so creates, its file before the handler learns the
// subtype. A file still empty and opened for this write alone is removed when
// the write is refused, so that nothing is left behind.
void RemoveUnwrittenFile(QIODevice* device) {
  auto* file = qobject_cast<QFile*>(device);
  if (file != nullptr && (file->openMode() & (QIODevice::ReadOnly | QIODevice::Append)) == 0 &&
      file->pos() == 0 && file->size() == 0)
    file->remove();
}

}  // namespace

bool TlgImageHandler::canRead(QIODevice* device) {
  if (device == nullptr)
    return false;
  const QByteArray head = device->peek(11);
  return tlg_probe(head.constData(), size_t(head.size())) != TLG_KIND_NONE;
}

bool TlgImageHandler::canRead() const {
  if (!canRead(device()))
    return false;
  setFormat("tlg");
  return true;
}

bool TlgImageHandler::read(QImage* image) {
  if (device() == nullptr)
    return false;
  const QByteArray data = device()->readAll();
  tlg_info info;
  const tlg_error error = tlg_read_info(data.constData(), size_t(data.size()), &info);
  if (error != TLG_OK)
    return Fail(error);
  if (info.width == 0 || info.height == 0)
    return Fail("the picture has no pixels");
  if (info.width > INT_MAX || info.height > INT_MAX)
    return Fail(TLG_ERROR_TOO_LARGE);

  const QImage::Format format = info.colours == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
  const QSize size(int(info.width), int(info.height));
  QImage decoded;
  // Refuses sizes over QImageReader's allocation limit before taking memory.
  if (!allocateImage(size, kDirect ? format : QImage::Format_RGBA8888, &decoded))
    return Fail("the picture is larger than the allocation limit");
  const tlg_error decode_error =
      tlg_decode(data.constData(), size_t(data.size()), kDirect ? kWordOrder : TLG_RGBA8,
                 decoded.bits(), size_t(decoded.bytesPerLine()), size_t(decoded.sizeInBytes()),
                 nullptr);
  if (decode_error != TLG_OK)
    return Fail(decode_error);
  *image = kDirect ? decoded : decoded.convertToFormat(format);
  if (info.has_tags)
    SetTextFromTags(data, image);
  return true;
}

namespace {

// Qt's writer has no setting for threads, so a program or its user asks for
// them through the environment, as Qt's own QT_IMAGEIO_MAXALLOC sets a limit.
unsigned WriterThreads() {
  constexpr int kMostThreads = 256;  // more only cost memory
  bool ok = false;
  const int threads = qEnvironmentVariableIntValue("TLG_THREADS", &ok);
  return ok && threads > 1 ? unsigned(std::min(threads, kMostThreads)) : 1;
}

}  // namespace

bool TlgImageHandler::write(const QImage& image) {
  tlg_encode_options options;
  tlg_encode_options_init(&options);
  options.threads = WriterThreads();
  const QByteArray sub_type = subType_.toLower();
  if (sub_type == "tlg5")
    options.kind = TLG_KIND_TLG5;
  else if (sub_type == "tlg6")
    options.kind = TLG_KIND_TLG6;
  else {
    RemoveUnwrittenFile(device());
    qCWarning(lcTlg, "Cannot write the TLG picture: unknown subtype \"%s\" (tlg5 or tlg6)",
              subType_.constData());
    return false;
  }
  if (image.isNull() || device() == nullptr)
    return false;

  const QImage pixels =
      image.convertToFormat(kDirect ? QImage::Format_ARGB32 : QImage::Format_RGBA8888);
  if (pixels.isNull())
    return Fail(TLG_ERROR_OUT_OF_MEMORY);
  void* out = nullptr;
  size_t out_size = 0;
  const tlg_error error =
      tlg_encode(pixels.constBits(), size_t(pixels.width()), size_t(pixels.height()),
                 size_t(pixels.bytesPerLine()), kDirect ? kWordOrder : TLG_RGBA8, &options, &out,
                 &out_size);
  if (error != TLG_OK)
    return Fail(error);
  const bool written = device()->write(static_cast<const char*>(out), qint64(out_size)) ==
                       qint64(out_size);
  tlg_free(out);
  return written || Fail(TLG_ERROR_IO);
}

QVariant TlgImageHandler::option(ImageOption option) const {
  tlg_info info;
  switch (option) {
    case Size:
      if (PeekInfo(device(), &info) && info.width <= INT_MAX && info.height <= INT_MAX)
        return QSize(int(info.width), int(info.height));
      return {};
    case ImageFormat:
      if (PeekInfo(device(), &info))
        return info.colours == 4 ? QImage::Format_ARGB32 : QImage::Format_RGB32;
      return {};
    case SubType:
      // A picture being read tells its own; otherwise the one to write.
      if (PeekInfo(device(), &info))
        return QByteArray(info.raster == TLG_KIND_TLG5 ? "tlg5" : "tlg6");
      return subType_;
    case SupportedSubTypes:
      return QVariant::fromValue(QList<QByteArray>{"tlg5", "tlg6"});
    default:
      return {};
  }
}

void TlgImageHandler::setOption(ImageOption option, const QVariant& value) {
  if (option == SubType) {
    const QByteArray sub_type = value.toByteArray();
    subType_ = sub_type.isEmpty() ? QByteArray("tlg6") : sub_type;
  }
}

bool TlgImageHandler::supportsOption(ImageOption option) const {
  return option == Size || option == ImageFormat || option == SubType ||
         option == SupportedSubTypes;
}
