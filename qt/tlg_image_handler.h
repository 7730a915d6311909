// Reads and writes TLG pictures for QImageReader and QImageWriter.
#pragma once

#include <QByteArray>
#include <QImageIOHandler>

class TlgImageHandler : public QImageIOHandler {
 public:
  bool canRead() const override;
  bool read(QImage* image) override;
  bool write(const QImage& image) override;
  QVariant option(ImageOption option) const override;
  void setOption(ImageOption option, const QVariant& value) override;
  bool supportsOption(ImageOption option) const override;

  // Whether the device's next bytes carry a TLG signature; reads nothing.
  static bool canRead(QIODevice* device);

 private:
  QByteArray subType_ = "tlg6";
};
