// After regsvr32 /u, in a fresh process: the factory no longer finds the
// decoder, and the registration is gone, but a value another program has
// claimed since is left alone. Run only after unregistering.
#include <gtest/gtest.h>

#include "tests/wic/wic_support.h"
#include "wic/guids.h"

namespace {

const wchar_t kKindMap[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap";

bool KeyExists(const std::wstring& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ValueExists(const wchar_t* key, const wchar_t* name) {
  return RegGetValueW(HKEY_LOCAL_MACHINE, key, name, RRF_RT_ANY, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::wstring Clsid() {
  const std::string text = TLG_WIC_DECODER_CLSID;
  return std::wstring(text.begin(), text.end());
}

TEST(WicUnregistered, TheFactoryNoLongerFindsTheDecoder) {
  ComScope com;
  Com<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(MakeFactory(&factory));
  const auto file = EncodeTlg(MakeTestImage(ImagePattern::kFlat, 8, 8, 1, true), TLG_KIND_TLG6, false);
  std::vector<uint8_t> pixels;
  EXPECT_EQ(DecodeThroughFactory(factory.get(), file, &pixels), WINCODEC_ERR_COMPONENTNOTFOUND);
  Com<IWICComponentInfo> info;
  EXPECT_HRESULT_FAILED(factory->CreateComponentInfo(tlg_wic::kDecoderClsid, info.out()));

  EXPECT_FALSE(KeyExists(L"Software\\Classes\\CLSID\\" + Clsid()));
  EXPECT_FALSE(KeyExists(L"Software\\Classes\\CLSID\\{7ED96837-96F0-4812-B211-F13C24117ED3}\\Instance\\" + Clsid()));
  EXPECT_FALSE(KeyExists(L"Software\\Classes\\.tlg"));
  EXPECT_FALSE(KeyExists(L"Software\\Classes\\SystemFileAssociations\\.tlg"));
  EXPECT_FALSE(ValueExists(kKindMap, L".tlg"));
}

TEST(WicUnregistered, AValueAnotherProgramClaimedIsKept) {
  HMODULE dll = LoadLibraryA(TLG_WIC_DLL_NAME);
  ASSERT_NE(dll, nullptr);
  const auto registerServer = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
  const auto unregisterServer = reinterpret_cast<HRESULT(WINAPI*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
  ASSERT_NE(registerServer, nullptr);
  ASSERT_NE(unregisterServer, nullptr);
  ASSERT_HRESULT_SUCCEEDED(registerServer());
  const wchar_t other[] = L"document";
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, kKindMap, L".tlg", REG_SZ, other, sizeof other), ERROR_SUCCESS);
  ASSERT_HRESULT_SUCCEEDED(unregisterServer());
  wchar_t data[32] = {};
  DWORD size = sizeof data;
  EXPECT_EQ(RegGetValueW(HKEY_LOCAL_MACHINE, kKindMap, L".tlg", RRF_RT_REG_SZ, nullptr, data, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(data), other);
  EXPECT_FALSE(KeyExists(L"Software\\Classes\\CLSID\\" + Clsid()));
  RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kKindMap, L".tlg");
  FreeLibrary(dll);
}

}  // namespace
