/* libtlg: reading and writing TLG images (raw TLG5, raw TLG6, and either one
 * inside a TLG0 wrapper with tags).
 *
 * Every function may be called from any number of threads at once, as long
 * as no two calls share an output buffer. Nothing is kept between calls.
 * Every size is a size_t; pointer arguments are checked (a null where one is
 * needed gives TLG_ERROR_INVALID_ARGUMENT). On any failure, outputs that the
 * library allocates are left null and nothing stays allocated.
 *
 * Pixels are 8 bits per channel, 4 bytes per pixel, in the byte order the
 * format names (TLG_RGBA8: red first). Three-colour pictures come out with
 * alpha 255. Rows run top to bottom.
 */
#ifndef TLG_TLG_H
#define TLG_TLG_H

#include <stddef.h>
#include <stdint.h>

#include "tlg/tlg_version.h"

/* Define TLG_STATIC when linking the static library on Windows. */
#if defined(TLG_STATIC)
#define TLG_API
#elif defined(_WIN32)
#if defined(TLG_BUILDING)
#define TLG_API __declspec(dllexport)
#else
#define TLG_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define TLG_API __attribute__((visibility("default")))
#else
#define TLG_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum tlg_error {
  TLG_OK = 0,
  TLG_ERROR_NOT_TLG = 1,          /* no TLG signature */
  TLG_ERROR_TRUNCATED = 2,        /* the input ends too early */
  TLG_ERROR_CORRUPT = 3,          /* malformed header or data */
  TLG_ERROR_TOO_LARGE = 4,        /* over the pixel limit, or sizes the library cannot hold */
  TLG_ERROR_OUT_OF_MEMORY = 5,
  TLG_ERROR_IO = 6,               /* a file could not be opened, read or written */
  TLG_ERROR_STOPPED = 7,          /* a callback asked to stop */
  TLG_ERROR_INVALID_ARGUMENT = 8
} tlg_error;

/* A short English description of a tlg_error; never null. */
TLG_API const char* tlg_error_string(int error);

/* The linked library's version: (major << 16) | (minor << 8) | patch. Compare
 * with TLG_VERSION, the version of this header. */
TLG_API uint32_t tlg_version(void);

typedef enum tlg_kind {
  TLG_KIND_NONE = 0,    /* not TLG */
  TLG_KIND_TLG5 = 5,    /* raw TLG5 */
  TLG_KIND_TLG6 = 6,    /* raw TLG6 */
  TLG_KIND_WRAPPED = 7  /* a TLG0 wrapper around a TLG5 or TLG6 image, with chunks */
} tlg_kind;

/* Functions and records take formats and kinds as int, so that whatever a
 * caller passes is well defined; other values are invalid arguments. */
typedef enum tlg_pixel_format {
  TLG_RGBA8 = 0, /* bytes R, G, B, A */
  TLG_BGRA8 = 1  /* bytes B, G, R, A */
} tlg_pixel_format;

/* Pictures of more pixels than this are refused unless the options allow them. */
#define TLG_DEFAULT_MAX_PIXELS ((uint64_t)1 << 28)

/* Decode options. Initialise with tlg_options_init; later versions append
 * fields, which struct_size tells apart. A null options pointer means the
 * defaults. */
typedef struct tlg_options {
  size_t struct_size;  /* sizeof(tlg_options) */
  uint64_t max_pixels; /* refuse pictures of more pixels (width 0 counts as 1 per row); 0: the default */
} tlg_options;

TLG_API void tlg_options_init(tlg_options* options);

typedef struct tlg_info {
  tlg_kind kind;     /* TLG_KIND_TLG5, TLG_KIND_TLG6 or TLG_KIND_WRAPPED */
  tlg_kind raster;   /* TLG_KIND_TLG5 or TLG_KIND_TLG6: the image itself, inside any wrapper */
  unsigned colours;  /* 3 or 4 (TLG6 also 1: blue only) */
  size_t width;
  size_t height;
  int has_tags;      /* nonzero when a wrapper holds a "tags" chunk */
} tlg_info;

/* Recognises TLG by its signature, the first 11 bytes; TLG_KIND_NONE when
 * they are not TLG or fewer are given. */
TLG_API tlg_kind tlg_probe(const void* data, size_t size);

/* Describes a picture from its headers without decoding it. */
TLG_API tlg_error tlg_read_info(const void* data, size_t size, tlg_info* info);
/* The same for a file; the path is UTF-8. */
TLG_API tlg_error tlg_read_info_file(const char* path, tlg_info* info);

/* Decodes into the caller's buffer: height rows of stride bytes (at least
 * width * 4) in buffer_size bytes. On failure the buffer's contents are
 * unspecified. */
TLG_API tlg_error tlg_decode(const void* data, size_t size, int format, void* pixels,
                             size_t stride, size_t buffer_size, const tlg_options* options);
TLG_API tlg_error tlg_decode_file(const char* path, int format, void* pixels,
                                  size_t stride, size_t buffer_size, const tlg_options* options);

/* Decodes into a buffer the library allocates, rows of width * 4 bytes, to
 * be freed with tlg_free. info may be null. An empty picture still gets a
 * (one-byte) buffer. */
TLG_API tlg_error tlg_decode_alloc(const void* data, size_t size, int format,
                                   const tlg_options* options, void** pixels, tlg_info* info);
TLG_API tlg_error tlg_decode_file_alloc(const char* path, int format,
                                        const tlg_options* options, void** pixels, tlg_info* info);

/* Row-by-row decoding. on_info (may be null) is called once with the
 * picture's description before any row; on_row with each row as soon as it is
 * decoded (width * 4 bytes, valid during the call). A nonzero return from
 * either stops the decode with TLG_ERROR_STOPPED. */
typedef int (*tlg_info_callback)(void* user, const tlg_info* info);
typedef int (*tlg_row_callback)(void* user, size_t row, const void* pixels, size_t width);

TLG_API tlg_error tlg_decode_rows(const void* data, size_t size, int format,
                                  tlg_info_callback on_info, tlg_row_callback on_row, void* user,
                                  const tlg_options* options);
TLG_API tlg_error tlg_decode_rows_file(const char* path, int format,
                                       tlg_info_callback on_info, tlg_row_callback on_row,
                                       void* user, const tlg_options* options);

/* One tag of a wrapped picture. Keys and values are byte strings; each is
 * followed by a zero byte that its size does not count. */
typedef struct tlg_tag {
  const char* key;
  size_t key_size;
  const char* value;
  size_t value_size;
} tlg_tag;

/* The tags of a wrapped picture, ordered by key (the last entry for a key
 * wins), in one block freed with tlg_free; no tags gives a null block and a
 * count of 0. A picture that is not wrapped has no tags.
 *
 * A "tags" chunk cut short or malformed (a missing colon or separator, an
 * entry or the file ending early) ends the tags where the damage starts, as
 * it ends decoding's walk of the chunks after a whole picture: the entries
 * stored before it are given (a chunk that the end of the input cuts short
 * gives none of its own) and the result is TLG_OK. The damage is not reported
 * apart, so that a picture that decodes is described the same way by every
 * call. Of the errors that describe the input, only not TLG and truncated
 * (the input ends within the wrapper's header) are given. */
TLG_API tlg_error tlg_read_tags(const void* data, size_t size, tlg_tag** tags, size_t* count);
TLG_API tlg_error tlg_read_tags_file(const char* path, tlg_tag** tags, size_t* count);

/* Encode options. Initialise with tlg_encode_options_init (TLG6, not wrapped);
 * later versions append fields. */
typedef struct tlg_encode_options {
  size_t struct_size;   /* sizeof(tlg_encode_options) */
  int kind;             /* TLG_KIND_TLG5 or TLG_KIND_TLG6 */
  int wrap;             /* nonzero: a TLG0 wrapper with a "tags" chunk (tags may be none) */
  const tlg_tag* tags;  /* written in this order; tags imply wrap */
  size_t tag_count;
  unsigned threads;      /* TLG6 block rows coded on this many threads; 0 or 1: the calling
                          * thread alone. The output is the same bytes for every count. */
  int clear_transparent; /* nonzero: fully transparent pixels are stored as 0, whatever their
                          * colour (smaller files, but that colour is lost) */
} tlg_encode_options;

TLG_API void tlg_encode_options_init(tlg_encode_options* options);

/* Encodes width x height pixels (rows of stride bytes) into memory freed with
 * tlg_free. Pictures whose every alpha is 255 are stored with three colours.
 * options may be null. */
TLG_API tlg_error tlg_encode(const void* pixels, size_t width, size_t height, size_t stride,
                             int format, const tlg_encode_options* options,
                             void** out, size_t* out_size);
/* Encodes into a file, atomically: a temporary file in the same folder is
 * renamed over the path once written whole; on failure nothing is left. */
TLG_API tlg_error tlg_encode_file(const char* path, const void* pixels, size_t width,
                                  size_t height, size_t stride, int format,
                                  const tlg_encode_options* options);

/* Frees what the library allocated; null is allowed. */
TLG_API void tlg_free(void* memory);

#ifdef _WIN32
/* UTF-16 paths. */
TLG_API tlg_error tlg_read_info_file_w(const wchar_t* path, tlg_info* info);
TLG_API tlg_error tlg_decode_file_w(const wchar_t* path, int format, void* pixels,
                                    size_t stride, size_t buffer_size, const tlg_options* options);
TLG_API tlg_error tlg_decode_file_alloc_w(const wchar_t* path, int format,
                                          const tlg_options* options, void** pixels,
                                          tlg_info* info);
TLG_API tlg_error tlg_decode_rows_file_w(const wchar_t* path, int format,
                                         tlg_info_callback on_info, tlg_row_callback on_row,
                                         void* user, const tlg_options* options);
TLG_API tlg_error tlg_read_tags_file_w(const wchar_t* path, tlg_tag** tags, size_t* count);
TLG_API tlg_error tlg_encode_file_w(const wchar_t* path, const void* pixels, size_t width,
                                    size_t height, size_t stride, int format,
                                    const tlg_encode_options* options);
#endif

#ifdef __cplusplus
}
#endif

#endif /* TLG_TLG_H */
