// Writing a whole file atomically: a temporary file in the same folder,
// renamed over the target once written whole and flushed.
#pragma once

#include <cstdint>
#include <vector>

#include "tlg/tlg.h"

namespace libtlg {

// TLG_ERROR_IO when anything fails; nothing of the attempt is left then.
tlg_error WriteFileAtomically(const char* path, const std::vector<uint8_t>& bytes);
#ifdef _WIN32
tlg_error WriteFileAtomically(const wchar_t* path, const std::vector<uint8_t>& bytes);
#endif

}  // namespace libtlg
