// The exports called in-process, as a host calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plugin/entry_points.h"
#include "tests/support/dib_rows.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"

namespace {

const HLOCAL kUntouched = reinterpret_cast<HLOCAL>(static_cast<intptr_t>(0x5A5A));

struct Progress {
  std::vector<int> rows;
  int rowCount = -1;
  int stopAtRow = -1;
};

int WINAPI RecordProgress(int row, int rowCount, LONG_PTR data) {
  auto& progress = *reinterpret_cast<Progress*>(data);
  progress.rows.push_back(row);
  progress.rowCount = rowCount;
  return row == progress.stopAtRow ? 1 : 0;
}

const TestImage& Image() {
  static const TestImage image = MakeTestImage(ImagePattern::kAlphaRamp, 19, 11, 3, false);
  return image;
}

LPCSTR AsBuffer(const std::vector<uint8_t>& bytes) { return reinterpret_cast<LPCSTR>(bytes.data()); }
LONG_PTR Size(const std::vector<uint8_t>& bytes) { return static_cast<LONG_PTR>(bytes.size()); }

// The picture handed over, top row first, read through the bottom-up block.
std::vector<uint32_t> TopDownPixels(HLOCAL info, HLOCAL pixels) {
  const auto* header = static_cast<const BITMAPINFOHEADER*>(LocalLock(info));
  const int32_t width = header->biWidth, height = header->biHeight;
  EXPECT_EQ(header->biBitCount, 32);
  LocalUnlock(info);
  const auto out = BottomUpToTopDown(static_cast<const uint8_t*>(LocalLock(pixels)), width, height);
  LocalUnlock(pixels);
  return out;
}

TEST(GetPluginInfo, CopiesTruncatesAndRejectsBadIndexes) {
  char buffer[80];
  EXPECT_EQ(GetPluginInfo(0, buffer, 80), 4);
  EXPECT_STREQ(buffer, "00IN");
  EXPECT_EQ(GetPluginInfo(1, buffer, 80), 17);
  EXPECT_STREQ(buffer, "DEREZUVE TLG FILE");
  EXPECT_EQ(GetPluginInfo(3, buffer, 80), 15);
  EXPECT_STREQ(buffer, "TLG file(*.TLG)");
  EXPECT_EQ(GetPluginInfo(2, buffer, 3), 2);
  EXPECT_STREQ(buffer, "*.");
  std::memset(buffer, 'q', sizeof buffer);
  EXPECT_EQ(GetPluginInfo(4, buffer, 80), 0);
  EXPECT_EQ(GetPluginInfo(-1, buffer, 80), 0);
  EXPECT_EQ(buffer[0], 'q');
}

TEST(IsSupported, MemoryHeadAndBorrowedHandle) {
  std::vector<uint8_t> head = WrapTlg0({1, 2, 3}, {});  // any wrapper passes: only 11 bytes count
  head.resize(kSupportedHeadSize);
  EXPECT_EQ(IsSupported("x.tlg", reinterpret_cast<ULONG_PTR>(head.data())), 1);
  head[3] = '9';
  EXPECT_EQ(IsSupported("x.tlg", reinterpret_cast<ULONG_PTR>(head.data())), 0);

  const auto file = EncodeTestImage(TlgKind::kTlg6, Image());
  TempFile temp(file);
  HANDLE handle = CreateFileA(temp.path().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  ASSERT_LE(reinterpret_cast<ULONG_PTR>(handle), kLargestHandleValue);
  EXPECT_EQ(IsSupported(temp.path().c_str(), reinterpret_cast<ULONG_PTR>(handle)), 1);
  LARGE_INTEGER zero, position;
  zero.QuadPart = 0;
  ASSERT_TRUE(SetFilePointerEx(handle, zero, &position, FILE_CURRENT)) << "the handle stays open";
  EXPECT_EQ(position.QuadPart, 11);
  CloseHandle(handle);
}

TEST(GetPictureInfo, FillsTheRecordFromEitherInput) {
  const auto file = WrappedSample(TlgKind::kTlg6, MakeTestImage(ImagePattern::kFlat, 640, 480, 1, true), {});
  PictureInfo info;
  std::memset(&info, 0x77, sizeof info);
  ASSERT_EQ(GetPictureInfo(AsBuffer(file), Size(file), 1, &info), kSpiSuccess);
  EXPECT_EQ(info.left, 0);
  EXPECT_EQ(info.top, 0);
  EXPECT_EQ(info.width, 640);
  EXPECT_EQ(info.height, 480);
  EXPECT_EQ(info.xDensity, 0);
  EXPECT_EQ(info.yDensity, 0);
  EXPECT_EQ(info.colourDepth, 32);
  EXPECT_EQ(info.text, nullptr);

  TempFile temp(file);
  PictureInfo fromFile;
  ASSERT_EQ(GetPictureInfo(temp.path().c_str(), 1234, 0x10 /* bits above the kind are ignored */,
                           &fromFile), kSpiSuccess);
  EXPECT_EQ(std::memcmp(&info, &fromFile, sizeof info), 0) << "the offset is not used";

  std::memset(&info, 0x77, sizeof info);
  EXPECT_EQ(GetPictureInfo(AsBuffer(file), 10, 1, &info), kSpiUnknownFormat);
  EXPECT_EQ(info.width, 0x77777777) << "left untouched on failure";
  EXPECT_EQ(GetPictureInfo("no-such-file.tlg", 0, 0, &info), kSpiUnknownFormat);
}

TEST(GetPicture, DeliversThePicturesPixelsFromEitherInput) {
  for (TlgKind kind : {TlgKind::kTlg5, TlgKind::kTlg6}) {
    const auto file = WrappedSample(kind, Image(), {{"k", "v"}});
    Progress progress;
    HLOCAL info = kUntouched, pixels = kUntouched;
    ASSERT_EQ(GetPicture(AsBuffer(file), Size(file), 1, &info, &pixels, RecordProgress,
                         reinterpret_cast<LONG_PTR>(&progress)), kSpiSuccess);
    EXPECT_EQ(TopDownPixels(info, pixels), Image().pixels);
    std::vector<int> expectedRows(Image().height);
    for (uint32_t i = 0; i < Image().height; ++i) expectedRows[i] = static_cast<int>(i);
    EXPECT_EQ(progress.rows, expectedRows);
    EXPECT_EQ(progress.rowCount, static_cast<int>(Image().height));
    EXPECT_EQ(LocalFree(info), nullptr);
    EXPECT_EQ(LocalFree(pixels), nullptr);

    TempFile temp(file);
    ASSERT_EQ(GetPicture(temp.path().c_str(), 0, 0, &info, &pixels, nullptr, 0), kSpiSuccess);
    EXPECT_EQ(TopDownPixels(info, pixels), Image().pixels);
    LocalFree(info);
    LocalFree(pixels);
  }
}

TEST(GetPicture, StopsAndFailuresLeaveTheOutsAlone) {
  const auto file = EncodeTestImage(TlgKind::kTlg6, Image());
  for (int stopAt : {0, 1}) {
    Progress progress;
    progress.stopAtRow = stopAt;
    HLOCAL info = kUntouched, pixels = kUntouched;
    EXPECT_EQ(GetPicture(AsBuffer(file), Size(file), 1, &info, &pixels, RecordProgress,
                         reinterpret_cast<LONG_PTR>(&progress)), kSpiStopped);
    EXPECT_EQ(info, kUntouched);
    EXPECT_EQ(pixels, kUntouched);
    EXPECT_EQ(progress.rows.size(), static_cast<size_t>(stopAt + 1));
  }
  const std::vector<uint8_t> cut(file.begin(), file.end() - 5);
  HLOCAL info = kUntouched, pixels = kUntouched;
  EXPECT_EQ(GetPicture(AsBuffer(cut), Size(cut), 1, &info, &pixels, nullptr, 0), kSpiDecodeFailed);
  EXPECT_EQ(info, kUntouched);
  EXPECT_EQ(pixels, kUntouched);
  EXPECT_EQ(GetPicture("no-such-file.tlg", 0, 0, &info, &pixels, nullptr, 0), kSpiDecodeFailed);
  EXPECT_EQ(GetPicture(AsBuffer(file), 10, 1, &info, &pixels, nullptr, 0), kSpiDecodeFailed);
  EXPECT_EQ(info, kUntouched);
}

TEST(GetPicture, LetsGoOfTheFileAtOnce) {
  const auto file = EncodeTestImage(TlgKind::kTlg5, Image());
  TempFile temp(file);
  const std::string& path = temp.path();
  HLOCAL info = nullptr, pixels = nullptr;
  ASSERT_EQ(GetPicture(path.c_str(), 0, 0, &info, &pixels, nullptr, 0), kSpiSuccess);
  // Opening it with no sharing succeeds only when nobody holds it.
  HANDLE exclusive = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(exclusive, INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  LocalFree(info);
  LocalFree(pixels);
}

TEST(GetPreview, IsNotImplemented) {
  EXPECT_EQ(GetPreview(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), kSpiNotImplemented);
}

}  // namespace

namespace {

std::u16string Wide(const char* ascii) { return std::u16string(ascii, ascii + std::strlen(ascii)); }
const WCHAR* AsWide(const std::u16string& text) { return reinterpret_cast<const WCHAR*>(text.c_str()); }

TEST(UnicodeEntryPoints, PluginInfoIsTheSameStringsInUtf16) {
  WCHAR buffer[80];
  EXPECT_EQ(GetPluginInfoW(1, buffer, 80), 17);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer)), Wide("DEREZUVE TLG FILE"));
  EXPECT_EQ(GetPluginInfoW(2, buffer, 3), 2);
  EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(buffer)), Wide("*."));
  buffer[0] = 'q';
  EXPECT_EQ(GetPluginInfoW(4, buffer, 80), 0);
  EXPECT_EQ(GetPluginInfoW(-1, buffer, 80), 0);
  EXPECT_EQ(buffer[0], 'q');
}

TEST(UnicodeEntryPoints, FileNamesOutsideTheCodePageDecode) {
  const auto file = WrappedSample(TlgKind::kTlg6, Image(), {});
  TempFile temp(file, "-\xE7\x94\xBB\xE5\x83\x8F-\xC3\xA9t\xC3\xA9.tlg");  // "画像", "été"
  PictureInfo info;
  ASSERT_EQ(GetPictureInfoW(AsWide(temp.widePath()), 0, 0, &info), kSpiSuccess);
  EXPECT_EQ(info.width, static_cast<int32_t>(Image().width));
  HLOCAL header = nullptr, pixels = nullptr;
  ASSERT_EQ(GetPictureW(AsWide(temp.widePath()), 0, 0, &header, &pixels, nullptr, 0), kSpiSuccess);
  EXPECT_EQ(TopDownPixels(header, pixels), Image().pixels);
  LocalFree(header);
  LocalFree(pixels);

  // Memory input and the signature test behave as in the narrow forms.
  HLOCAL untouched = kUntouched;
  EXPECT_EQ(GetPictureW(reinterpret_cast<LPCWSTR>(file.data()), 10, 1, &untouched, &untouched,
                        nullptr, 0), kSpiDecodeFailed);
  EXPECT_EQ(untouched, kUntouched);
  std::vector<uint8_t> head = file;
  head.resize(kSupportedHeadSize);
  EXPECT_EQ(IsSupportedW(AsWide(temp.widePath()), reinterpret_cast<ULONG_PTR>(head.data())), 1);
  const std::u16string missing = temp.widePath() + u"-missing";
  EXPECT_EQ(GetPictureInfoW(AsWide(missing), 0, 0, &info), kSpiUnknownFormat);
  EXPECT_EQ(GetPreviewW(nullptr, 0, 0, nullptr, nullptr, nullptr, 0), kSpiNotImplemented);
}

}  // namespace
