// The plug-in DLL loaded the way a viewer loads it, and our host program run
// as a user runs it. Windows only.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/plugin_api.h"
#include "tests/support/dib_rows.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"

namespace {

typedef int(WINAPI* GetPluginInfoFn)(int, LPSTR, int);
typedef int(WINAPI* IsSupportedFn)(LPCSTR, ULONG_PTR);
typedef int(WINAPI* GetPictureInfoFn)(LPCSTR, LONG_PTR, unsigned, PictureInfo*);
typedef int(WINAPI* GetPictureFn)(LPCSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, ProgressCallback,
                                  LONG_PTR);
typedef int(WINAPI* GetPictureWFn)(LPCWSTR, LONG_PTR, unsigned, HLOCAL*, HLOCAL*, ProgressCallback,
                                   LONG_PTR);
typedef int(WINAPI* GetPluginInfoWFn)(int, LPWSTR, int);

struct Export {
  const char* name;
  int argumentBytes;
};
const Export kExports[] = {{"GetPluginInfo", 12},  {"IsSupported", 8},  {"GetPictureInfo", 16},
                           {"GetPicture", 28},     {"GetPreview", 28},  {"GetPluginInfoW", 12},
                           {"IsSupportedW", 8},    {"GetPictureInfoW", 16}, {"GetPictureW", 28},
                           {"GetPreviewW", 28}};

class PluginDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryA(TLG_PLUGIN_NAME);
    ASSERT_NE(module_, nullptr) << TLG_PLUGIN_NAME;
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  template <typename F>
  F Get(const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  HMODULE module_ = nullptr;
};

const TestImage& Image() {
  static const TestImage image = MakeTestImage(ImagePattern::kSprite, 37, 29, 8, false);
  return image;
}

struct Picture {
  int code = -99;
  std::vector<uint32_t> pixels;
};

// Calls GetPicture, checks what the host receives, and frees it as a host does.
Picture TakePicture(GetPictureFn getPicture, LPCSTR buffer, LONG_PTR length, unsigned flags) {
  Picture picture;
  HLOCAL info = nullptr, bits = nullptr;
  picture.code = getPicture(buffer, length, flags, &info, &bits, nullptr, 0);
  if (picture.code != 0) return picture;
  // Movable blocks, unlocked: a handle is not the address it locks to.
  EXPECT_EQ(LocalFlags(info) & LMEM_LOCKCOUNT, 0u);
  EXPECT_EQ(LocalFlags(bits) & LMEM_LOCKCOUNT, 0u);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
  const auto* pixels = static_cast<const uint8_t*>(LocalLock(bits));
  EXPECT_NE(static_cast<const void*>(pixels), static_cast<const void*>(bits));
  EXPECT_EQ(LocalSize(info), sizeof(BITMAPINFOHEADER));
  EXPECT_EQ(LocalSize(bits), static_cast<SIZE_T>(header->biWidth) * 4 * header->biHeight);
  picture.pixels = BottomUpToTopDown(pixels, header->biWidth, header->biHeight);
  LocalUnlock(bits);
  LocalUnlock(info);
  EXPECT_EQ(LocalFree(info), nullptr);
  EXPECT_EQ(LocalFree(bits), nullptr);
  return picture;
}

TEST_F(PluginDll, ExportsEveryNameAtOneAddress) {
  for (const auto& e : kExports) {
    const FARPROC plain = GetProcAddress(module_, e.name);
    ASSERT_NE(plain, nullptr) << e.name;
#ifndef _WIN64
    const std::string decorated = "_" + std::string(e.name) + "@" + std::to_string(e.argumentBytes);
    EXPECT_EQ(GetProcAddress(module_, decorated.c_str()), plain) << decorated;
#endif
  }
  char buffer[32];
  EXPECT_EQ(Get<GetPluginInfoFn>("GetPluginInfo")(0, buffer, 32), 4);
  EXPECT_STREQ(buffer, "00IN");
  EXPECT_EQ(Get<GetPluginInfoFn>("GetPluginInfo")(2, buffer, 3), 2);
  EXPECT_STREQ(buffer, "*.");
  EXPECT_EQ(Get<GetPictureFn>("GetPreview")(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), -1);
}

TEST_F(PluginDll, ImportsSystemLibrariesOnly) {
  const auto* base = reinterpret_cast<const uint8_t*>(module_);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const auto& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  ASSERT_NE(directory.VirtualAddress, 0u);
  const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
  const std::vector<std::string> system = {"kernel32.dll", "msvcrt.dll", "ntdll.dll",
                                           "user32.dll", "advapi32.dll"};
  int count = 0;
  for (; entry->Name != 0; ++entry, ++count) {
    std::string name = reinterpret_cast<const char*>(base + entry->Name);
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
    const bool isSystem = std::find(system.begin(), system.end(), name) != system.end() ||
                          name.rfind("api-ms-win-", 0) == 0;
    EXPECT_TRUE(isSystem) << name;
  }
  EXPECT_GT(count, 0);
}

TEST_F(PluginDll, IsSupportedOnAHandleAndOnAMemoryHead) {
  auto isSupported = Get<IsSupportedFn>("IsSupported");
  const auto file = EncodeTestImage(TlgKind::kTlg6, Image());
  TempFile temp(file);
  HANDLE handle = CreateFileA(temp.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(isSupported(temp.path().c_str(), reinterpret_cast<ULONG_PTR>(handle)), 1);
  LARGE_INTEGER zero, position;
  zero.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) << "the handle stays open";
  EXPECT_EQ(position.QuadPart, 11);
  CloseHandle(handle);

  std::vector<uint8_t> head = WrappedSample(TlgKind::kTlg5, Image(), {});
  head.resize(2048);
  EXPECT_EQ(isSupported("a.tlg", reinterpret_cast<ULONG_PTR>(head.data())), 1);
  head[0] = 'X';
  EXPECT_EQ(isSupported("a.tlg", reinterpret_cast<ULONG_PTR>(head.data())), 0);
}

TEST_F(PluginDll, PicturesMatchTheDecoderFromFileAndMemory) {
  auto getPictureInfo = Get<GetPictureInfoFn>("GetPictureInfo");
  auto getPicture = Get<GetPictureFn>("GetPicture");
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    const auto file = WrappedSample(kind, Image(), {{"name", "sprite"}});
    int result = 0;
    const auto decoded = DecodeToPixels(file, &result);
    ASSERT_EQ(result, 0);

    PictureInfo info = {};
    ASSERT_EQ(getPictureInfo(reinterpret_cast<LPCSTR>(file.data()), static_cast<LONG_PTR>(file.size()), 1, &info), 0);
    EXPECT_EQ(info.width, static_cast<int32_t>(Image().width));
    EXPECT_EQ(info.height, static_cast<int32_t>(Image().height));
    EXPECT_EQ(info.colourDepth, 32);

    const auto fromMemory = TakePicture(getPicture, reinterpret_cast<LPCSTR>(file.data()),
                                        static_cast<LONG_PTR>(file.size()), 1);
    ASSERT_EQ(fromMemory.code, 0);
    EXPECT_EQ(fromMemory.pixels, decoded);

    std::string path;
    {
      TempFile temp(file);
      path = temp.path();
      PictureInfo fromFile = {};
      ASSERT_EQ(getPictureInfo(path.c_str(), 0, 0, &fromFile), 0);
      EXPECT_EQ(std::memcmp(&info, &fromFile, sizeof info), 0);
      const auto picture = TakePicture(getPicture, path.c_str(), 0, 0);
      ASSERT_EQ(picture.code, 0);
      EXPECT_EQ(picture.pixels, decoded);
      EXPECT_TRUE(DeleteFileA(path.c_str())) << "the plug-in must not hold the file";
    }
  }
}

TEST_F(PluginDll, UnicodeFileNamesDecodeThroughTheWEntryPoints) {
  const auto file = WrappedSample(TlgKind::kTlg5, Image(), {});
  int result = 0;
  const auto decoded = DecodeToPixels(file, &result);
  ASSERT_EQ(result, 0);
  TempFile temp(file, "-\xE7\x94\xBB\xE5\x83\x8F.tlg");  // "画像": outside any Western code page
  const auto* name = reinterpret_cast<LPCWSTR>(temp.widePath().c_str());
  HLOCAL info = nullptr, bits = nullptr;
  ASSERT_EQ(Get<GetPictureWFn>("GetPictureW")(name, 0, 0, &info, &bits, nullptr, 0), 0);
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
  const auto* pixels = static_cast<const uint8_t*>(LocalLock(bits));
  EXPECT_EQ(BottomUpToTopDown(pixels, header->biWidth, header->biHeight), decoded);
  LocalUnlock(bits);
  LocalUnlock(info);
  LocalFree(info);
  LocalFree(bits);

  WCHAR text[8];
  EXPECT_EQ(Get<GetPluginInfoWFn>("GetPluginInfoW")(0, text, 8), 4);
  EXPECT_EQ(std::wstring(text), L"00IN");
}

TEST(SpiHost, WritesTheBitmapAViewerWouldShow) {
  const auto file = WrappedSample(TlgKind::kTlg6, Image(), {});
  TempFile image(file);
  TempFile bmp({});
  for (const char* mode : {"", " --memory"}) {
    const std::string command = "spi_host.exe " TLG_PLUGIN_NAME " \"" + image.path() + "\" \"" +
                                bmp.path() + "\"" + mode;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &process));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    ASSERT_EQ(exitCode, 0u) << command;

    const auto written = ReadWholeFile(bmp.path());
    const size_t offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    ASSERT_EQ(written.size(), offset + Image().pixels.size() * 4);
    EXPECT_EQ(written[0], 'B');
    EXPECT_EQ(written[1], 'M');
    EXPECT_EQ(BottomUpToTopDown(written.data() + offset, static_cast<int32_t>(Image().width),
                                static_cast<int32_t>(Image().height)),
              Image().pixels);
  }
}

}  // namespace
