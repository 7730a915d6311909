// Decode throughput of TLG5, TLG6 (each way of decoding its streams that the
// processor has), the plug-in path, libpng and libwebp on
// the same pictures, plus a plain copy of the decoded size; and encode
// throughput of our encoders (TLG6 also on every core), libpng and libwebp.
// Usage: tlg_bench [benchmark flags] CORPUS_DIR (made by prepare_corpus).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/corpus.h"
#include "bench/decoders.h"
#include "bench/encoders.h"
#include "encoder/tlg5_encoder.h"
#include "encoder/tlg6_encoder.h"

namespace {

std::vector<CorpusImage> corpus;

size_t PixelCount(const CorpusImage& image) { return size_t{image.width} * image.height; }

// Counters the report reads: pixels per iteration, file size, and the rate.
void Count(benchmark::State& state, const CorpusImage& image, size_t fileBytes) {
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * PixelCount(image)));
  state.counters["pixels"] = static_cast<double>(PixelCount(image));
  state.counters["file_bytes"] = static_cast<double>(fileBytes);
}

// A decoder that writes the picture's pixels into a buffer of its size.
using BufferDecoder = bool (*)(const CorpusImage&, const std::vector<uint8_t>&, uint32_t*);

bool TlgIntoBuffer(const CorpusImage& image, const std::vector<uint8_t>& file, uint32_t* pixels) {
  return DecodeTlgToBuffer(file, pixels, image.width);
}

template <Tlg6Lanes kLanes>
bool Tlg6LanesIntoBuffer(const CorpusImage& image, const std::vector<uint8_t>& file,
                         uint32_t* pixels) {
  return DecodeTlg6ToBuffer(file, pixels, image.width, kLanes);
}

// The ways of decoding TLG6 streams, by benchmark name.
struct Tlg6Way {
  Tlg6Lanes lanes;
  const char* name;
  BufferDecoder decode;
};
const Tlg6Way kTlg6Ways[] = {
    {Tlg6Lanes::kAvx512, "tlg6-avx512", Tlg6LanesIntoBuffer<Tlg6Lanes::kAvx512>},
    {Tlg6Lanes::kAvx2, "tlg6-avx2", Tlg6LanesIntoBuffer<Tlg6Lanes::kAvx2>},
    {Tlg6Lanes::kNone, "tlg6-one-by-one", Tlg6LanesIntoBuffer<Tlg6Lanes::kNone>}};

bool PngIntoBuffer(const CorpusImage& image, const std::vector<uint8_t>& file, uint32_t* pixels) {
  return DecodePng(file, pixels, image.width, image.height);
}

bool WebpIntoBuffer(const CorpusImage& image, const std::vector<uint8_t>& file, uint32_t* pixels) {
  return DecodeWebp(file, pixels, image.width, image.height);
}

void DecodeIntoBuffer(benchmark::State& state, const CorpusImage* image, FileKind kind,
                      BufferDecoder decode) {
  std::vector<uint32_t> pixels(PixelCount(*image));
  const auto& file = image->File(kind);
  for (auto _ : state) {
    if (!decode(*image, file, pixels.data())) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  Count(state, *image, file.size());
}

void DecodePlugin(benchmark::State& state, const CorpusImage* image, FileKind kind) {
  const auto& file = image->File(kind);
  for (auto _ : state) {
    if (!DecodeThroughPlugin(file)) state.SkipWithError("GetPicture failed");
  }
  Count(state, *image, file.size());
}

// The memory limit: writing the decoded size once, from a buffer as large.
void CopyPixels(benchmark::State& state, const CorpusImage* image) {
  std::vector<uint32_t> source(PixelCount(*image), 0x80808080u);
  std::vector<uint32_t> pixels(PixelCount(*image));
  for (auto _ : state) {
    std::memcpy(pixels.data(), source.data(), pixels.size() * sizeof(uint32_t));
    benchmark::DoNotOptimize(pixels.data());
    benchmark::ClobberMemory();
  }
  Count(state, *image, pixels.size() * sizeof(uint32_t));
}

enum class Encoder { kTlg5, kTlg6, kTlg6Threads, kPng, kWebp };

std::vector<uint8_t> EncodeWith(Encoder encoder, const std::vector<uint32_t>& pixels,
                                uint32_t width, uint32_t height) {
  switch (encoder) {
    case Encoder::kTlg5: return EncodeTlg5(pixels.data(), width, height);
    case Encoder::kTlg6: return EncodeTlg6(pixels.data(), width, height);
    case Encoder::kTlg6Threads: {
      Tlg6EncodeOptions options;
      options.threads = std::max(1u, std::thread::hardware_concurrency());
      return EncodeTlg6(pixels.data(), width, height, options);
    }
    case Encoder::kPng: return EncodePng(pixels.data(), width, height);
    case Encoder::kWebp: return EncodeWebp(pixels.data(), width, height);
  }
  return {};
}

void Encode(benchmark::State& state, const CorpusImage* image, Encoder encoder) {
  std::vector<uint32_t> pixels(PixelCount(*image));
  DecodePng(image->File(FileKind::kPng), pixels.data(), image->width, image->height);
  size_t size = 0;
  for (auto _ : state) {
    size = EncodeWith(encoder, pixels, image->width, image->height).size();
    if (size == 0) state.SkipWithError("encode failed");
    benchmark::DoNotOptimize(size);
  }
  Count(state, *image, size);
}

// TLG6 decoded each way this processor has, checked by `same`.
template <class Same>
bool SameEveryWay(const std::vector<uint8_t>& file, uint32_t width, uint32_t* pixels, Same same) {
  for (const Tlg6Way& way : kTlg6Ways) {
    if (HasTlg6Lanes(way.lanes) &&
        !same(DecodeTlg6ToBuffer(file, pixels, width, way.lanes), way.name)) {
      return false;
    }
  }
  return true;
}

// Every contender must hand back the pixels libpng does, or the race is void.
bool SamePixelsEverywhere(const CorpusImage& image) {
  const size_t n = PixelCount(image);
  std::vector<uint32_t> expected(n), actual(n);
  if (!DecodePng(image.File(FileKind::kPng), expected.data(), image.width, image.height)) return false;
  auto same = [&](bool decoded, const char* what) {
    if (decoded && actual == expected) return true;
    std::fprintf(stderr, "tlg_bench: %s/%s: %s differs from libpng\n", image.set.c_str(),
                 image.name.c_str(), what);
    return false;
  };
  return same(DecodeTlgToBuffer(image.File(FileKind::kTlg5), actual.data(), image.width), "TLG5") &&
         same(DecodeTlgToBuffer(image.File(FileKind::kTlg6), actual.data(), image.width), "TLG6") &&
         SameEveryWay(image.File(FileKind::kTlg6), image.width, actual.data(), same) &&
         same(DecodeThroughPlugin(image.File(FileKind::kTlg5), actual.data()), "plug-in TLG5") &&
         same(DecodeThroughPlugin(image.File(FileKind::kTlg6), actual.data()), "plug-in TLG6") &&
         same(DecodeWebp(image.File(FileKind::kWebp), actual.data(), image.width, image.height),
              "WebP");
}

// The fastest repetition: other jobs on a shared machine only ever slow a
// run down, so the minimum is the figure least disturbed by them.
double Fastest(const std::vector<double>& values) {
  return values.empty() ? 0.0 : *std::min_element(values.begin(), values.end());
}

void RegisterAll() {
  for (const CorpusImage& image : corpus) {
    const std::string suffix = "/" + image.set + "/" + image.name;
    const CorpusImage* p = &image;
    const auto decode = [&](const std::string& name, auto function, auto... args) {
      benchmark::RegisterBenchmark(("decode/" + name + suffix).c_str(), function, p, args...)
          ->ComputeStatistics("min", Fastest);
    };
    decode("tlg5", DecodeIntoBuffer, FileKind::kTlg5, TlgIntoBuffer);
    decode("tlg6", DecodeIntoBuffer, FileKind::kTlg6, TlgIntoBuffer);
    decode("plugin-tlg5", DecodePlugin, FileKind::kTlg5);
    // Each way of decoding TLG6 streams that this processor has.
    for (const Tlg6Way& way : kTlg6Ways) {
      if (HasTlg6Lanes(way.lanes)) decode(way.name, DecodeIntoBuffer, FileKind::kTlg6, way.decode);
    }
    decode("plugin-tlg6", DecodePlugin, FileKind::kTlg6);
    decode("png", DecodeIntoBuffer, FileKind::kPng, PngIntoBuffer);
    decode("webp", DecodeIntoBuffer, FileKind::kWebp, WebpIntoBuffer);
    decode("copy", CopyPixels);
    const auto encode = [&](const std::string& name, Encoder encoder) {
      benchmark::RegisterBenchmark(("encode/" + name + suffix).c_str(), Encode, p, encoder)
          ->ComputeStatistics("min", Fastest)
          ->UseRealTime();
    };
    encode("tlg5", Encoder::kTlg5);
    encode("tlg6", Encoder::kTlg6);
    encode("tlg6-threads", Encoder::kTlg6Threads);
    encode("png", Encoder::kPng);
    encode("webp", Encoder::kWebp);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: tlg_bench [benchmark flags] CORPUS_DIR\n");
    return 2;
  }
  try {
    corpus = LoadCorpus(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tlg_bench: %s\n", e.what());
    return 1;
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "tlg_bench: no pictures in %s\n", argv[1]);
    return 1;
  }
  for (const CorpusImage& image : corpus) {
    if (!SamePixelsEverywhere(image)) return 1;
  }
  RegisterAll();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
