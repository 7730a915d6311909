#include "tests/support/tlg_samples.h"

#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"
#include "stream/binary_stream.h"
#include "tests/support/row_collector.h"
#include "tlg/tlg_loader.h"

std::vector<uint8_t> EncodeTestImage(TlgKind kind, const TestImage& image) {
  return kind == TlgKind::kTlg5 ? EncodeTlg5(image.pixels.data(), image.width, image.height)
                                : EncodeTlg6(image.pixels.data(), image.width, image.height);
}

std::vector<uint8_t> WrappedSample(TlgKind kind, const TestImage& image, const TagList& tags) {
  return WrapTlg0(EncodeTestImage(kind, image),
                  {{"tags", MakeTagsChunkData(tags)}, {"misc", {1, 2, 3, 4, 5}}});
}

std::vector<uint32_t> DecodeToPixels(const std::vector<uint8_t>& file, int* result) {
  RowCollector collector;
  tMemDataStream stream(file.data(), static_cast<uint32_t>(file.size()));
  *result = LoadTlg(&collector, CollectSize, CollectRow, nullptr, stream);
  return collector.pixels;
}
