// A small host that does what an image viewer does with an import plug-in:
// loads it, asks whether a file is supported, asks its size, decodes it, and
// writes the picture to a BMP file.
//
//   spi_host PLUGIN IMAGE OUT.bmp [--memory]
//
// --memory hands the plug-in the whole file in memory instead of its name.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

#pragma pack(push, 1)
struct HostPictureInfo {
  LONG left, top, width, height;
  WORD xDensity, yDensity;
  SHORT colourDepth;
#ifdef _WIN64
  BYTE padding[2];
#endif
  HLOCAL text;
};
#pragma pack(pop)

typedef int(WINAPI* ProgressFn)(int, int, LONG_PTR);
typedef int(WINAPI* IsSupportedFn)(LPCSTR, ULONG_PTR);
typedef int(WINAPI* GetPictureInfoFn)(LPCSTR, LONG_PTR, unsigned, HostPictureInfo*);
typedef int(WINAPI* GetPictureFn)(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, ProgressFn, LONG_PTR);

template <typename F>
F Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Counts the progress reports; the data word points at the count.
int WINAPI CountProgress(int, int, LONG_PTR data) {
  ++*reinterpret_cast<int*>(data);
  return 0;
}

bool WriteBmp(const char* path, HLOCAL info, HLOCAL pixels) {
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
  const auto* bits = static_cast<const BYTE*>(LocalLock(pixels));
  const DWORD imageBytes = static_cast<DWORD>(header->biWidth) * 4 * static_cast<DWORD>(header->biHeight);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + imageBytes;
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(header), sizeof(BITMAPINFOHEADER));
  if (imageBytes != 0) out.write(reinterpret_cast<const char*>(bits), imageBytes);
  LocalUnlock(pixels);
  LocalUnlock(info);
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: spi_host PLUGIN IMAGE OUT.bmp [--memory]\n");
    return 2;
  }
  const char* pluginPath = argv[1];
  const char* imagePath = argv[2];
  const char* outPath = argv[3];
  const bool fromMemory = argc > 4 && std::strcmp(argv[4], "--memory") == 0;

  HMODULE plugin = LoadLibraryA(pluginPath);
  if (plugin == nullptr) {
    std::fprintf(stderr, "%s: cannot load the plug-in\n", pluginPath);
    return 1;
  }
  auto isSupported = Resolve<IsSupportedFn>(plugin, "IsSupported");
  auto getPictureInfo = Resolve<GetPictureInfoFn>(plugin, "GetPictureInfo");
  auto getPicture = Resolve<GetPictureFn>(plugin, "GetPicture");
  if (isSupported == nullptr || getPictureInfo == nullptr || getPicture == nullptr) {
    std::fprintf(stderr, "%s: not a picture import plug-in\n", pluginPath);
    return 1;
  }

  std::ifstream in(imagePath, std::ios::binary);
  std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.eof() && !in) {
    std::fprintf(stderr, "%s: cannot read\n", imagePath);
    return 1;
  }
  std::vector<char> head(2048, 0);
  std::memcpy(head.data(), file.data(), file.size() < head.size() ? file.size() : head.size());
  if (!isSupported(imagePath, reinterpret_cast<ULONG_PTR>(head.data()))) {
    std::fprintf(stderr, "%s: the plug-in does not support this file\n", imagePath);
    return 1;
  }

  const LPCSTR source = fromMemory ? file.data() : imagePath;
  const LONG_PTR length = fromMemory ? static_cast<LONG_PTR>(file.size()) : 0;
  const unsigned flags = fromMemory ? 1 : 0;
  HostPictureInfo info = {};
  if (getPictureInfo(source, length, flags, &info) != 0) {
    std::fprintf(stderr, "%s: no picture size\n", imagePath);
    return 1;
  }
  std::printf("%s: %ld x %ld, %d bits\n", imagePath, static_cast<long>(info.width),
              static_cast<long>(info.height), info.colourDepth);

  HLOCAL bitmapInfo = nullptr, bitmap = nullptr;
  int reports = 0;
  const int code = getPicture(source, length, flags, &bitmapInfo, &bitmap, CountProgress,
                              reinterpret_cast<LONG_PTR>(&reports));
  if (code != 0) {
    std::fprintf(stderr, "%s: decoding failed with code %d\n", imagePath, code);
    return 1;
  }
  const bool written = WriteBmp(outPath, bitmapInfo, bitmap);
  LocalFree(bitmapInfo);
  LocalFree(bitmap);
  FreeLibrary(plugin);
  if (!written) {
    std::fprintf(stderr, "%s: cannot write\n", outPath);
    return 1;
  }
  std::printf("wrote %s (%d progress reports)\n", outPath, reports);
  return 0;
}
