// Errors, the version, option defaults and freeing.
#include <cstdlib>

#include "libtlg/internal.h"

extern "C" {

const char* tlg_error_string(int error) {
  switch (error) {
    case TLG_OK: return "success";
    case TLG_ERROR_NOT_TLG: return "not a TLG image";
    case TLG_ERROR_TRUNCATED: return "the image is cut short";
    case TLG_ERROR_CORRUPT: return "the image is corrupt";
    case TLG_ERROR_TOO_LARGE: return "the image is too large";
    case TLG_ERROR_OUT_OF_MEMORY: return "out of memory";
    case TLG_ERROR_IO: return "the file could not be read or written";
    case TLG_ERROR_STOPPED: return "stopped by the caller";
    case TLG_ERROR_INVALID_ARGUMENT: return "invalid argument";
  }
  return "unknown error";
}

uint32_t tlg_version(void) { return TLG_VERSION; }

void tlg_options_init(tlg_options* options) {
  if (options == nullptr) return;
  *options = tlg_options{};
  options->struct_size = sizeof(tlg_options);
  options->max_pixels = TLG_DEFAULT_MAX_PIXELS;
}

void tlg_encode_options_init(tlg_encode_options* options) {
  if (options == nullptr) return;
  *options = tlg_encode_options{};
  options->struct_size = sizeof(tlg_encode_options);
  options->kind = TLG_KIND_TLG6;
}

void tlg_free(void* memory) { std::free(memory); }

}  // extern "C"
