// Decoding through the Windows Imaging Component against libtlg's own
// tlg_decode, on the same files in the same run (under Wine, with the decoder
// registered): for each file, the fastest of several interleaved rounds of
//   tlg_decode   from memory into the caller's buffer;
//   WIC          a stream over the same memory (not copied), the factory's
//                CreateDecoderFromStream (finding the decoder by content),
//                GetFrame and CopyPixels of the whole picture into the
//                caller's buffer (the factory made once, as programs keep it);
//   decoder      the same without the factory's search: our class created by
//                its CLSID, Initialize, GetFrame, CopyPixels.
// Prints one row per set (the folder each file is in) and the totals.
//   wic_bench.exe [--rounds N] FILE...
#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "tlg/tlg.h"
#include "wic/guids.h"

namespace {

struct File {
  std::string path;
  std::string set;
  std::vector<uint8_t> bytes;
  size_t width = 0, height = 0;
  double bestLibtlg = 1e30, bestWic = 1e30, bestDecoder = 1e30;
};

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) / double(frequency.QuadPart);
}

std::string SetOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos || slash == 0) return ".";
  const size_t before = path.find_last_of("/\\", slash - 1);
  std::string set = path.substr(before == std::string::npos ? 0 : before + 1, slash - before - 1);
  const size_t dot = path.find_last_of('.');
  return set + " " + (dot == std::string::npos ? "" : path.substr(dot + 1));
}

// Through the factory (byFactory) or our class directly.
bool DecodeWic(IWICImagingFactory* factory, const File& file, std::vector<uint8_t>& pixels, bool byFactory) {
  IWICStream* stream = nullptr;
  IWICBitmapDecoder* decoder = nullptr;
  IWICBitmapFrameDecode* frame = nullptr;
  HRESULT hr = factory->CreateStream(&stream);
  if (SUCCEEDED(hr)) hr = stream->InitializeFromMemory(const_cast<BYTE*>(file.bytes.data()), DWORD(file.bytes.size()));
  if (SUCCEEDED(hr) && byFactory) {
    hr = factory->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, &decoder);
  } else if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(tlg_wic::kDecoderClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IWICBitmapDecoder,
                          reinterpret_cast<void**>(&decoder));
    if (SUCCEEDED(hr)) hr = decoder->Initialize(stream, WICDecodeMetadataCacheOnDemand);
  }
  if (SUCCEEDED(hr)) hr = decoder->GetFrame(0, &frame);
  if (SUCCEEDED(hr)) hr = frame->CopyPixels(nullptr, UINT(file.width * 4), UINT(pixels.size()), pixels.data());
  if (frame != nullptr) frame->Release();
  if (decoder != nullptr) decoder->Release();
  if (stream != nullptr) stream->Release();
  return SUCCEEDED(hr);
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = 7;
  std::vector<File> files;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    File file;
    file.path = argv[i];
    file.set = SetOf(file.path);
    std::ifstream in(file.path, std::ios::binary);
    file.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    tlg_info info;
    if (tlg_read_info(file.bytes.data(), file.bytes.size(), &info) != TLG_OK) {
      std::fprintf(stderr, "%s: not a TLG file\n", file.path.c_str());
      return 2;
    }
    file.width = info.width;
    file.height = info.height;
    files.push_back(std::move(file));
  }
  if (files.empty()) {
    std::fprintf(stderr, "usage: wic_bench [--rounds N] FILE...\n");
    return 2;
  }

  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IWICImagingFactory* factory = nullptr;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory)))) {
    std::fprintf(stderr, "no imaging factory\n");
    return 1;
  }
  for (File& file : files) {
    std::vector<uint8_t> expected(file.width * file.height * 4), pixels(expected.size());
    // Both ways give the same pixels before anything is timed.
    if (tlg_decode(file.bytes.data(), file.bytes.size(), TLG_BGRA8, expected.data(), file.width * 4,
                   expected.size(), nullptr) != TLG_OK ||
        !DecodeWic(factory, file, pixels, true) || pixels != expected ||
        !DecodeWic(factory, file, pixels, false) || pixels != expected) {
      std::fprintf(stderr, "%s: the decoder through WIC does not give libtlg's pixels (is it registered?)\n",
                   file.path.c_str());
      return 1;
    }
  }
  for (int round = 0; round < rounds; ++round) {
    for (File& file : files) {
      std::vector<uint8_t> pixels(file.width * file.height * 4, 1);
      // Each way first in turn.
      for (int k = 0; k < 3; ++k) {
        const int way = (k + round) % 3;
        const double start = Now();
        if (way == 0) {
          tlg_decode(file.bytes.data(), file.bytes.size(), TLG_BGRA8, pixels.data(), file.width * 4, pixels.size(),
                     nullptr);
          file.bestLibtlg = std::min(file.bestLibtlg, Now() - start);
        } else if (way == 1) {
          DecodeWic(factory, file, pixels, true);
          file.bestWic = std::min(file.bestWic, Now() - start);
        } else {
          DecodeWic(factory, file, pixels, false);
          file.bestDecoder = std::min(file.bestDecoder, Now() - start);
        }
      }
    }
  }
  factory->Release();
  CoUninitialize();

  struct Sum {
    double pixels = 0, libtlg = 0, wic = 0, decoder = 0;
  };
  std::map<std::string, Sum> sets;
  Sum total;
  for (const File& file : files) {
    for (Sum* sum : {&sets[file.set], &total}) {
      sum->pixels += double(file.width) * double(file.height);
      sum->libtlg += file.bestLibtlg;
      sum->wic += file.bestWic;
      sum->decoder += file.bestDecoder;
    }
  }
  std::printf("| set | megapixels | tlg_decode ms | WIC factory ms | / tlg_decode | decoder alone ms | / tlg_decode |\n");
  std::printf("| --- | --- | --- | --- | --- | --- | --- |\n");
  sets["all"] = total;
  for (const auto& [name, sum] : sets) {
    std::printf("| %s | %.1f | %.1f | %.1f | %.3f | %.1f | %.3f |\n", name.c_str(), sum.pixels / 1e6,
                sum.libtlg * 1e3, sum.wic * 1e3, sum.wic / sum.libtlg, sum.decoder * 1e3, sum.decoder / sum.libtlg);
  }
  return 0;
}
