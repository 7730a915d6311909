/* The few calls the JavaScript side makes into libtlg, with the records of
 * tlg.h laid out as flat arrays of 32-bit words, so that the JavaScript reads
 * no C structure but tlg_tag. */
#include <stddef.h>
#include <stdint.h>

#include <emscripten/emscripten.h>

#include "tlg/tlg.h"

/* tlg_tag as the JavaScript side reads and writes it: key, key_size, value,
 * value_size, one 32-bit word each. */
_Static_assert(sizeof(tlg_tag) == 16 && offsetof(tlg_tag, value_size) == 12,
               "tlg_tag is four 32-bit words on wasm32");

/* Words of the info array: kind, raster, colours, width, height, has_tags. */
enum { kInfoWords = 6 };

static void FillInfo(const tlg_info* info, uint32_t* out) {
  out[0] = (uint32_t)info->kind;
  out[1] = (uint32_t)info->raster;
  out[2] = info->colours;
  out[3] = (uint32_t)info->width;
  out[4] = (uint32_t)info->height;
  out[5] = info->has_tags != 0;
}

EMSCRIPTEN_KEEPALIVE int tlgw_read_info(const void* data, size_t size, uint32_t* out) {
  tlg_info info;
  const tlg_error error = tlg_read_info(data, size, &info);
  if (error == TLG_OK) FillInfo(&info, out);
  return error;
}

/* max_pixels comes from JavaScript as a double: 0 for the default, whole
 * numbers above 2^53 are clamped by the caller. */
EMSCRIPTEN_KEEPALIVE int tlgw_decode(const void* data, size_t size, double max_pixels,
                                     void** pixels, uint32_t* out) {
  tlg_options options;
  tlg_options_init(&options);
  options.max_pixels = max_pixels >= 1 ? (uint64_t)max_pixels : 0;
  tlg_info info;
  const tlg_error error = tlg_decode_alloc(data, size, TLG_RGBA8, &options, pixels, &info);
  if (error == TLG_OK) FillInfo(&info, out);
  return error;
}

EMSCRIPTEN_KEEPALIVE int tlgw_read_tags(const void* data, size_t size, tlg_tag** tags,
                                        size_t* count) {
  return tlg_read_tags(data, size, tags, count);
}

/* RGBA rows of width * 4 bytes; kind 5 or 6; tags may be none, in which case
 * wrap says whether to wrap all the same. */
EMSCRIPTEN_KEEPALIVE int tlgw_encode(const void* pixels, size_t width, size_t height, int kind,
                                     const tlg_tag* tags, size_t tag_count, int wrap,
                                     void** out, size_t* out_size) {
  tlg_encode_options options;
  tlg_encode_options_init(&options);
  options.kind = kind;
  options.wrap = wrap;
  options.tags = tag_count != 0 ? tags : NULL;
  options.tag_count = tag_count;
  if (width > SIZE_MAX / 4) return TLG_ERROR_TOO_LARGE;
  return tlg_encode(pixels, width, height, width * 4, TLG_RGBA8, &options, out, out_size);
}

EMSCRIPTEN_KEEPALIVE void tlgw_free(void* memory) { tlg_free(memory); }
