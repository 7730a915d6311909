// The plug-in Qt finds in imageformats/: key "tlg".
#include <QImageIOPlugin>

#include "tlg_image_handler.h"

class TlgImagePlugin : public QImageIOPlugin {
  Q_OBJECT
  Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "tlg.json")

 public:
  Capabilities capabilities(QIODevice* device, const QByteArray& format) const override {
    if (format == "tlg")
      return CanRead | CanWrite;
    if (!format.isEmpty())
      return {};
    Capabilities caps;
    if (device != nullptr && device->isReadable() && TlgImageHandler::canRead(device))
      caps |= CanRead;
    if (device != nullptr && device->isWritable())
      caps |= CanWrite;
    return caps;
  }

  QImageIOHandler* create(QIODevice* device, const QByteArray& format) const override {
    QImageIOHandler* handler = new TlgImageHandler;
    handler->setDevice(device);
    handler->setFormat(format);
    return handler;
  }
};

#include "tlg_image_plugin.moc"
