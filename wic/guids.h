// The codec's identities. Each is written once, here, as text: the DLL's
// registration, the installer (scripts/make-msi.sh reads this file) and the
// GUID constants all come from these lines. Never change them: programs and
// registries remember them.
#pragma once

#include <windows.h>

#define TLG_WIC_DECODER_CLSID "{E7482769-EAD1-4348-AAC9-84B3D9DBE67A}"
#define TLG_WIC_CONTAINER_FORMAT "{D26BB55E-B406-4512-B57D-433A4BA5CF4B}"
#define TLG_WIC_VENDOR "{B68DD8DB-0B7F-4FD4-BD23-A4A0103A5451}"

namespace tlg_wic {

namespace detail {

constexpr unsigned HexDigit(char c) {
  return c >= '0' && c <= '9' ? unsigned(c - '0')
         : c >= 'A' && c <= 'F' ? unsigned(c - 'A' + 10)
         : c >= 'a' && c <= 'f' ? unsigned(c - 'a' + 10)
                                : throw "not a hex digit";  // fails the compile
}

constexpr unsigned long Hex(const char* text, int digits) {
  unsigned long value = 0;
  for (int i = 0; i < digits; ++i) value = value * 16 + HexDigit(text[i]);
  return value;
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" as a GUID, at compile time.
constexpr GUID ParseGuid(const char* text) {
  GUID guid{};
  guid.Data1 = Hex(text + 1, 8);
  guid.Data2 = static_cast<unsigned short>(Hex(text + 10, 4));
  guid.Data3 = static_cast<unsigned short>(Hex(text + 15, 4));
  guid.Data4[0] = static_cast<unsigned char>(Hex(text + 20, 2));
  guid.Data4[1] = static_cast<unsigned char>(Hex(text + 22, 2));
  for (int i = 0; i < 6; ++i) guid.Data4[2 + i] = static_cast<unsigned char>(Hex(text + 25 + 2 * i, 2));
  return guid;
}

}  // namespace detail

constexpr GUID kDecoderClsid = detail::ParseGuid(TLG_WIC_DECODER_CLSID);
constexpr GUID kContainerFormat = detail::ParseGuid(TLG_WIC_CONTAINER_FORMAT);
constexpr GUID kVendor = detail::ParseGuid(TLG_WIC_VENDOR);

}  // namespace tlg_wic
