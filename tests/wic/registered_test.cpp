// The registered decoder through the system's imaging factory, the way
// thumbnailers and picture programs reach it.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/support/temp_file.h"
#include "tests/wic/wic_support.h"
#include "wic/guids.h"

namespace {

struct Kind {
  tlg_kind kind;
  bool wrap;
  bool alpha;
};
const Kind kKinds[] = {{TLG_KIND_TLG5, false, true}, {TLG_KIND_TLG6, false, false},
                       {TLG_KIND_TLG5, true, false}, {TLG_KIND_TLG6, true, true}};

TestImage Sprite(bool alpha) { return MakeTestImage(ImagePattern::kSprite, 53, 31, 5, !alpha); }

class Wic : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory_)); }
  ComScope com_;
  Com<IWICImagingFactory> factory_;
};

TEST_F(Wic, FactoryFindsTheDecoderByContentForEveryKind) {
  for (const Kind& k : kKinds) {
    const auto file = EncodeTlg(Sprite(k.alpha), k.kind, k.wrap);
    const auto expected = ReferenceBgra(file);
    ASSERT_FALSE(expected.empty());
    TempFile temp(file);  // named .bin: found by content, not by name
    const std::wstring path(temp.widePath().begin(), temp.widePath().end());
    {
      Com<IWICBitmapDecoder> decoder;
      ASSERT_HRESULT_SUCCEEDED(factory_->CreateDecoderFromFilename(
          path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, decoder.out()));
      GUID container;
      ASSERT_HRESULT_SUCCEEDED(decoder->GetContainerFormat(&container));
      EXPECT_TRUE(IsEqualGUID(container, tlg_wic::kContainerFormat));
      UINT count = 0;
      ASSERT_HRESULT_SUCCEEDED(decoder->GetFrameCount(&count));
      EXPECT_EQ(count, 1u);
      Com<IWICBitmapFrameDecode> frame;
      ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.out()));
      EXPECT_EQ(decoder->GetFrame(1, frame.out()), WINCODEC_ERR_FRAMEMISSING);
      ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.out()));
      // The file is not held open once the picture is read.
      EXPECT_TRUE(DeleteFileW(path.c_str()));

      WICPixelFormatGUID format;
      ASSERT_HRESULT_SUCCEEDED(frame->GetPixelFormat(&format));
      EXPECT_TRUE(IsEqualGUID(format, k.alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat32bppBGR));
      double dpiX = 0, dpiY = 0;
      ASSERT_HRESULT_SUCCEEDED(frame->GetResolution(&dpiX, &dpiY));
      EXPECT_EQ(dpiX, 96.0);
      EXPECT_EQ(dpiY, 96.0);
      UINT width = 0, height = 0;
      std::vector<uint8_t> pixels;
      ASSERT_HRESULT_SUCCEEDED(CopyWhole(frame.get(), &width, &height, &pixels));
      EXPECT_EQ(width, 53u);
      EXPECT_EQ(height, 31u);
      EXPECT_EQ(pixels, expected);
    }
    std::vector<uint8_t> fromMemory;
    ASSERT_HRESULT_SUCCEEDED(DecodeThroughFactory(factory_.get(), file, &fromMemory));
    EXPECT_EQ(fromMemory, expected);
  }
  EXPECT_TRUE(DecoderDllHasNoObjects());
}

TEST_F(Wic, DecoderByContainerFormatSeeksForItself) {
  const auto file = EncodeTlg(Sprite(true), TLG_KIND_TLG6, true);
  Com<IWICBitmapDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(factory_->CreateDecoder(tlg_wic::kContainerFormat, nullptr, decoder.out()));
  Com<IStream> stream;
  ASSERT_HRESULT_SUCCEEDED(MakeStream(file, &stream));
  LARGE_INTEGER move;
  move.QuadPart = 7;
  ULARGE_INTEGER position;
  ASSERT_HRESULT_SUCCEEDED(stream->Seek(move, STREAM_SEEK_SET, nullptr));
  DWORD capability = 0;
  ASSERT_HRESULT_SUCCEEDED(decoder->QueryCapability(stream.get(), &capability));
  EXPECT_TRUE(capability & WICBitmapDecoderCapabilityCanDecodeAllImages);
  move.QuadPart = 0;
  ASSERT_HRESULT_SUCCEEDED(stream->Seek(move, STREAM_SEEK_CUR, &position));
  EXPECT_EQ(position.QuadPart, 7u) << "QueryCapability puts the stream back";
  UINT count = 0;
  EXPECT_EQ(decoder->GetFrameCount(&count), WINCODEC_ERR_NOTINITIALIZED);

  ASSERT_HRESULT_SUCCEEDED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand));
  EXPECT_EQ(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand), WINCODEC_ERR_WRONGSTATE);
  Com<IWICBitmapFrameDecode> frame;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, frame.out()));
  UINT width = 0, height = 0;
  std::vector<uint8_t> pixels;
  ASSERT_HRESULT_SUCCEEDED(CopyWhole(frame.get(), &width, &height, &pixels));
  EXPECT_EQ(pixels, ReferenceBgra(file));

  // What the format does not have, answered the documented way.
  Com<IWICBitmapSource> source;
  Com<IWICMetadataQueryReader> reader;
  Com<IWICPalette> palette;
  ASSERT_HRESULT_SUCCEEDED(factory_->CreatePalette(palette.out()));
  UINT contexts = 9;
  EXPECT_EQ(decoder->GetThumbnail(source.out()), WINCODEC_ERR_CODECNOTHUMBNAIL);
  EXPECT_EQ(frame->GetThumbnail(source.out()), WINCODEC_ERR_CODECNOTHUMBNAIL);
  EXPECT_EQ(decoder->GetPreview(source.out()), WINCODEC_ERR_UNSUPPORTEDOPERATION);
  EXPECT_EQ(decoder->GetMetadataQueryReader(reader.out()), WINCODEC_ERR_UNSUPPORTEDOPERATION);
  EXPECT_EQ(frame->GetMetadataQueryReader(reader.out()), WINCODEC_ERR_UNSUPPORTEDOPERATION);
  EXPECT_EQ(decoder->GetColorContexts(0, nullptr, &contexts), WINCODEC_ERR_UNSUPPORTEDOPERATION);
  EXPECT_EQ(frame->GetColorContexts(0, nullptr, &contexts), WINCODEC_ERR_UNSUPPORTEDOPERATION);
  EXPECT_EQ(decoder->CopyPalette(palette.get()), WINCODEC_ERR_PALETTEUNAVAILABLE);
  EXPECT_EQ(frame->CopyPalette(palette.get()), WINCODEC_ERR_PALETTEUNAVAILABLE);
  EXPECT_EQ(source.get(), nullptr);
  EXPECT_EQ(reader.get(), nullptr);

  Com<IWICBitmapDecoderInfo> info;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetDecoderInfo(info.out()));
  CLSID clsid;
  ASSERT_HRESULT_SUCCEEDED(info->GetCLSID(&clsid));
  EXPECT_TRUE(IsEqualGUID(clsid, tlg_wic::kDecoderClsid));
}

std::wstring Text(IWICBitmapCodecInfo* info, HRESULT(STDMETHODCALLTYPE IWICBitmapCodecInfo::*get)(UINT, WCHAR*, UINT*)) {
  UINT length = 0;
  if (FAILED((info->*get)(0, nullptr, &length)) || length == 0) return L"?";
  std::wstring text(length, L'\0');
  if (FAILED((info->*get)(length, &text[0], &length))) return L"?";
  text.resize(length - 1);
  return text;
}

TEST_F(Wic, ComponentInfoComesFromTheRegistration) {
  Com<IWICComponentInfo> component;
  ASSERT_HRESULT_SUCCEEDED(factory_->CreateComponentInfo(tlg_wic::kDecoderClsid, component.out()));
  Com<IWICBitmapDecoderInfo> info;
  ASSERT_HRESULT_SUCCEEDED(component->QueryInterface(IID_IWICBitmapDecoderInfo, info.outVoid()));
  UINT length = 0;
  WCHAR name[64] = {};
  ASSERT_HRESULT_SUCCEEDED(info->GetFriendlyName(64, name, &length));
  EXPECT_EQ(std::wstring(name), L"TLG Decoder");
  EXPECT_EQ(Text(info.get(), &IWICBitmapCodecInfo::GetFileExtensions), L".tlg");
  EXPECT_EQ(Text(info.get(), &IWICBitmapCodecInfo::GetMimeTypes), L"image/x-tlg");
  GUID guid;
  ASSERT_HRESULT_SUCCEEDED(info->GetContainerFormat(&guid));
  EXPECT_TRUE(IsEqualGUID(guid, tlg_wic::kContainerFormat));
  ASSERT_HRESULT_SUCCEEDED(info->GetVendorGUID(&guid));
  EXPECT_TRUE(IsEqualGUID(guid, tlg_wic::kVendor));
  WICComponentType type;
  ASSERT_HRESULT_SUCCEEDED(info->GetComponentType(&type));
  EXPECT_EQ(type, WICDecoder);

  GUID formats[4];
  UINT formatCount = 0;
  ASSERT_HRESULT_SUCCEEDED(info->GetPixelFormats(4, formats, &formatCount));
  ASSERT_EQ(formatCount, 2u);
  EXPECT_TRUE((IsEqualGUID(formats[0], GUID_WICPixelFormat32bppBGRA) && IsEqualGUID(formats[1], GUID_WICPixelFormat32bppBGR)) ||
              (IsEqualGUID(formats[1], GUID_WICPixelFormat32bppBGRA) && IsEqualGUID(formats[0], GUID_WICPixelFormat32bppBGR)));

  UINT patternCount = 0, bytes = 0;
  ASSERT_HRESULT_SUCCEEDED(info->GetPatterns(0, nullptr, &patternCount, &bytes));
  ASSERT_EQ(patternCount, 3u);
  std::vector<uint8_t> block(bytes);
  auto* patterns = reinterpret_cast<WICBitmapPattern*>(block.data());
  ASSERT_HRESULT_SUCCEEDED(info->GetPatterns(bytes, patterns, &patternCount, &bytes));
  tlg_kind seen[3];
  for (UINT i = 0; i < 3; ++i) {
    EXPECT_EQ(patterns[i].Position.QuadPart, 0u);
    ASSERT_EQ(patterns[i].Length, 11u);
    EXPECT_FALSE(patterns[i].EndOfStream);
    for (UINT b = 0; b < 11; ++b) EXPECT_EQ(patterns[i].Mask[b], 0xFF);
    seen[i] = tlg_probe(patterns[i].Pattern, patterns[i].Length);
  }
  EXPECT_EQ(seen[0] + seen[1] + seen[2], TLG_KIND_TLG5 + TLG_KIND_TLG6 + TLG_KIND_WRAPPED);
  EXPECT_TRUE(seen[0] != seen[1] && seen[1] != seen[2] && seen[0] != seen[2]);
}

// The shell's values, which only the registry shows.
std::wstring ReadValue(const wchar_t* key, const wchar_t* name) {
  wchar_t data[128] = {};
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) {
    return L"(none)";
  }
  return data;
}

TEST(WicRegistration, TellsTheShellAboutTlgFiles) {
  EXPECT_EQ(ReadValue(L"Software\\Classes\\.tlg", L"Content Type"), L"image/x-tlg");
  EXPECT_EQ(ReadValue(L"Software\\Classes\\.tlg", L"PerceivedType"), L"image");
  EXPECT_EQ(ReadValue(L"Software\\Classes\\SystemFileAssociations\\.tlg\\ShellEx\\"
                      L"{e357fccd-a995-4576-b01f-234630154e96}", nullptr),
            L"{C7657C4A-9F68-40fa-A4DF-96BC08EB3551}");
  EXPECT_EQ(ReadValue(L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", L".tlg"), L"picture");
  const std::string clsid = TLG_WIC_DECODER_CLSID;
  const std::wstring server = L"Software\\Classes\\CLSID\\" + std::wstring(clsid.begin(), clsid.end()) +
                              L"\\InprocServer32";
  EXPECT_EQ(ReadValue(server.c_str(), L"ThreadingModel"), L"Both");
}

}  // namespace
