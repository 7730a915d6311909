#include "wic/registration.h"

#include <wincodec.h>

#include <cstdint>
#include <string>

#include "wic/guids.h"
#include "wic/module.h"

#define TLG_WIDEN2(text) L##text
#define TLG_WIDEN(text) TLG_WIDEN2(text)

namespace tlg_wic {
namespace {

#ifdef _WIN64
constexpr REGSAM kView = KEY_WOW64_64KEY;
#else
constexpr REGSAM kView = KEY_WOW64_32KEY;
#endif

const wchar_t kClsid[] = TLG_WIDEN(TLG_WIC_DECODER_CLSID);
const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\" TLG_WIDEN(TLG_WIC_DECODER_CLSID);
const wchar_t kCategoryKey[] =
    L"Software\\Classes\\CLSID\\{7ED96837-96F0-4812-B211-F13C24117ED3}\\Instance";
const wchar_t kFriendlyName[] = L"TLG Decoder";
const wchar_t kMimeType[] = L"image/x-tlg";
const wchar_t kExtension[] = L".tlg";

// The shell's values for .tlg: thumbnails through the system's photo
// thumbnail provider (which serves any format the imaging component reads),
// the "picture" kind, and Windows Photo Viewer's list of what it opens.
struct ShellValue {
  const wchar_t* key;
  const wchar_t* name;  // null: the key's default value
  const wchar_t* data;
};
const ShellValue kShellValues[] = {
    {L"Software\\Classes\\.tlg", L"Content Type", kMimeType},
    {L"Software\\Classes\\.tlg", L"PerceivedType", L"image"},
    {L"Software\\Classes\\SystemFileAssociations\\.tlg\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}",
     nullptr, L"{C7657C4A-9F68-40fa-A4DF-96BC08EB3551}"},
    {L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\KindMap", L".tlg", L"picture"},
    {L"Software\\Microsoft\\Windows Photo Viewer\\Capabilities\\FileAssociations", L".tlg",
     L"PhotoViewer.FileAssoc.Tiff"},
};
// Keys that were made for the values above, deepest first; each goes only
// when nothing else is left in it.
const wchar_t* const kShellKeys[] = {
    L"Software\\Classes\\SystemFileAssociations\\.tlg\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}",
    L"Software\\Classes\\SystemFileAssociations\\.tlg\\ShellEx",
    L"Software\\Classes\\SystemFileAssociations\\.tlg",
    L"Software\\Classes\\.tlg",
};

// The three signatures, each at the start of the file.
constexpr DWORD kSignatureBytes = 11;
const uint8_t kSignatures[][kSignatureBytes] = {
    {'T', 'L', 'G', '5', '.', '0', 0, 'r', 'a', 'w', 0x1a},
    {'T', 'L', 'G', '6', '.', '0', 0, 'r', 'a', 'w', 0x1a},
    {'T', 'L', 'G', '0', '.', '0', 0, 's', 'd', 's', 0x1a},
};

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

LSTATUS Create(const std::wstring& path, Key* key) {
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ | KEY_WRITE | kView, nullptr, key->out(), nullptr);
}

LSTATUS Open(const std::wstring& path, REGSAM access, Key* key) {
  return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access | kView, key->out());
}

LSTATUS SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

LSTATUS SetDword(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LSTATUS SetBinary(HKEY key, const wchar_t* name, const uint8_t* data, DWORD size) {
  return RegSetValueExW(key, name, 0, REG_BINARY, data, size);
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(Module(), &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

LSTATUS WriteClass() {
  const std::wstring path = ModulePath();
  if (path.empty()) return static_cast<LSTATUS>(GetLastError());
  Key key;
  LSTATUS status = Create(kClassKey, &key);
  const HKEY k = key.get();
  if (status == ERROR_SUCCESS) status = SetString(k, L"FriendlyName", kFriendlyName);
  if (status == ERROR_SUCCESS) status = SetString(k, L"Vendor", TLG_WIDEN(TLG_WIC_VENDOR));
  if (status == ERROR_SUCCESS) status = SetString(k, L"Author", L"the tlg authors");
  if (status == ERROR_SUCCESS) status = SetString(k, L"Description", L"TLG image decoder (TLG5, TLG6, TLG0)");
  if (status == ERROR_SUCCESS) status = SetString(k, L"Version", TLG_WIDEN(TLG_VERSION_STRING));
  if (status == ERROR_SUCCESS) status = SetString(k, L"ContainerFormat", TLG_WIDEN(TLG_WIC_CONTAINER_FORMAT));
  if (status == ERROR_SUCCESS) status = SetString(k, L"MimeTypes", kMimeType);
  if (status == ERROR_SUCCESS) status = SetString(k, L"FileExtensions", kExtension);
  if (status == ERROR_SUCCESS) status = SetDword(k, L"SupportLossless", 1);
  if (status == ERROR_SUCCESS) status = SetDword(k, L"SupportAnimation", 0);
  if (status == ERROR_SUCCESS) status = SetDword(k, L"SupportChromakey", 0);
  if (status == ERROR_SUCCESS) status = SetDword(k, L"SupportMultiframe", 0);
  if (status != ERROR_SUCCESS) return status;

  for (const GUID* format : {&GUID_WICPixelFormat32bppBGRA, &GUID_WICPixelFormat32bppBGR}) {
    Key formatKey;
    status = Create(std::wstring(kClassKey) + L"\\Formats\\" + GuidText(*format), &formatKey);
    if (status != ERROR_SUCCESS) return status;
  }

  Key server;
  status = Create(std::wstring(kClassKey) + L"\\InprocServer32", &server);
  if (status == ERROR_SUCCESS) status = SetString(server.get(), nullptr, path);
  if (status == ERROR_SUCCESS) status = SetString(server.get(), L"ThreadingModel", L"Both");
  if (status != ERROR_SUCCESS) return status;

  // Numbered from 0 without gaps; the pattern already masked.
  const uint8_t mask[kSignatureBytes] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  int number = 0;
  for (const auto& signature : kSignatures) {
    Key pattern;
    status = Create(std::wstring(kClassKey) + L"\\Patterns\\" + std::to_wstring(number++), &pattern);
    if (status == ERROR_SUCCESS) status = SetDword(pattern.get(), L"Position", 0);
    if (status == ERROR_SUCCESS) status = SetDword(pattern.get(), L"Length", kSignatureBytes);
    if (status == ERROR_SUCCESS) status = SetBinary(pattern.get(), L"Pattern", signature, kSignatureBytes);
    if (status == ERROR_SUCCESS) status = SetBinary(pattern.get(), L"Mask", mask, kSignatureBytes);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

LSTATUS WriteCategory() {
  Key key;
  LSTATUS status = Create(std::wstring(kCategoryKey) + L"\\" + kClsid, &key);
  if (status == ERROR_SUCCESS) status = SetString(key.get(), L"CLSID", kClsid);
  if (status == ERROR_SUCCESS) status = SetString(key.get(), L"FriendlyName", kFriendlyName);
  return status;
}

LSTATUS WriteShell() {
  for (const ShellValue& value : kShellValues) {
    Key key;
    LSTATUS status = Create(value.key, &key);
    if (status == ERROR_SUCCESS) status = SetString(key.get(), value.name, value.data);
    if (status != ERROR_SUCCESS) return status;
  }
  return ERROR_SUCCESS;
}

// Deletes a subkey and everything under it; absent is fine.
LSTATUS DeleteTree(const std::wstring& parentPath, const wchar_t* name) {
  Key parent;
  LSTATUS status = Open(parentPath, KEY_READ | KEY_WRITE, &parent);
  if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (status != ERROR_SUCCESS) return status;
  status = RegDeleteTreeW(parent.get(), name);
  return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Removes a value only while it still holds what we put there: another
// program may have claimed .tlg since.
void DeleteValueIfOurs(const ShellValue& value) {
  Key key;
  if (Open(value.key, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
  wchar_t data[128] = {};
  DWORD type = 0;
  DWORD size = sizeof data - sizeof(wchar_t);
  if (RegQueryValueExW(key.get(), value.name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return;
  }
  if (lstrcmpiW(data, value.data) == 0) RegDeleteValueW(key.get(), value.name);
}

void DeleteKeyIfEmpty(const wchar_t* path) {
  DWORD subkeys = 1, values = 1;
  {
    Key key;
    if (Open(path, KEY_READ, &key) != ERROR_SUCCESS) return;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return;
    }
  }
  if (subkeys == 0 && values == 0) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, path, kView, 0);
}

void NotifyShell() {
  // Loaded here only, so that programs decoding pictures need not load the shell.
  typedef void(WINAPI * ChangeNotifyFn)(LONG, UINT, LPCVOID, LPCVOID);
  HMODULE shell = LoadLibraryW(L"shell32.dll");
  if (shell == nullptr) return;
  const auto notify =
      reinterpret_cast<ChangeNotifyFn>(reinterpret_cast<void*>(GetProcAddress(shell, "SHChangeNotify")));
  constexpr LONG kAssociationsChanged = 0x08000000;  // SHCNE_ASSOCCHANGED
  constexpr UINT kNoItems = 0x0000;                  // SHCNF_IDLIST with no items
  if (notify != nullptr) notify(kAssociationsChanged, kNoItems, nullptr, nullptr);
  FreeLibrary(shell);
}

HRESULT Unregister(bool notify) {
  LSTATUS status = DeleteTree(L"Software\\Classes\\CLSID", kClsid);
  const LSTATUS categoryStatus = DeleteTree(kCategoryKey, kClsid);
  if (status == ERROR_SUCCESS) status = categoryStatus;
  for (const ShellValue& value : kShellValues) DeleteValueIfOurs(value);
  for (const wchar_t* key : kShellKeys) DeleteKeyIfEmpty(key);
  if (notify) NotifyShell();
  return HRESULT_FROM_WIN32(status);
}

}  // namespace

HRESULT RegisterServer() {
  LSTATUS status = WriteClass();
  if (status == ERROR_SUCCESS) status = WriteCategory();
  if (status == ERROR_SUCCESS) status = WriteShell();
  if (status != ERROR_SUCCESS) {
    Unregister(false);  // leave nothing half written
    return HRESULT_FROM_WIN32(status);
  }
  NotifyShell();
  return S_OK;
}

HRESULT UnregisterServer() { return Unregister(true); }

}  // namespace tlg_wic
