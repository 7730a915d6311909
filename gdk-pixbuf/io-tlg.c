/* gdk-pixbuf loader for TLG pictures, over libtlg.
 *
 * libtlg decodes from memory, so incremental loading keeps the bytes as they
 * come, announces the size as soon as the header is readable, and decodes
 * when the data ends, reporting each row as it comes out of the decoder. */
#include <stdio.h>
#include <string.h>

#define GDK_PIXBUF_ENABLE_BACKEND
#include <gdk-pixbuf/gdk-pixbuf-io.h>
#undef GDK_PIXBUF_ENABLE_BACKEND

#include "tlg/tlg.h"

typedef struct {
  GdkPixbufModuleSizeFunc size_func;
  GdkPixbufModulePreparedFunc prepared_func;
  GdkPixbufModuleUpdatedFunc updated_func;
  gpointer user_data;
  GByteArray *data;
  GdkPixbuf *pixbuf;  /* made once the header is readable */
  gboolean declined;  /* the caller asked for no picture (a zero size) */
  gboolean failed;    /* an error was reported; the rest is ignored */
} TlgContext;

static void set_error(GError **error, int code, const char *what) {
  if (error != NULL && *error == NULL)
    g_set_error(error, GDK_PIXBUF_ERROR, code, "Cannot read the TLG picture: %s", what);
}

static void set_tlg_error(GError **error, tlg_error e) {
  int code;
  switch (e) {
    case TLG_ERROR_NOT_TLG: code = GDK_PIXBUF_ERROR_UNKNOWN_TYPE; break;
    case TLG_ERROR_TRUNCATED:
    case TLG_ERROR_CORRUPT: code = GDK_PIXBUF_ERROR_CORRUPT_IMAGE; break;
    case TLG_ERROR_TOO_LARGE:
    case TLG_ERROR_OUT_OF_MEMORY: code = GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY; break;
    default: code = GDK_PIXBUF_ERROR_FAILED; break;
  }
  set_error(error, code, tlg_error_string(e));
}

/* Sizes that a pixbuf cannot hold, or that decoding would refuse, are refused
 * before any memory is taken for them. */
static gboolean check_size(const tlg_info *info, GError **error) {
  if (info->width == 0 || info->height == 0) {
    set_error(error, GDK_PIXBUF_ERROR_CORRUPT_IMAGE, "the picture has no pixels");
    return FALSE;
  }
  if (info->width > G_MAXINT / 4 || info->height > G_MAXINT / 4 ||
      (guint64)info->width * info->height > TLG_DEFAULT_MAX_PIXELS) {
    set_tlg_error(error, TLG_ERROR_TOO_LARGE);
    return FALSE;
  }
  return TRUE;
}

/* A pixbuf for the picture: RGBA for four colours, RGB otherwise. */
static GdkPixbuf *new_pixbuf(const tlg_info *info, GError **error) {
  if (!check_size(info, error))
    return NULL;
  GdkPixbuf *pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, info->colours == 4, 8, (int)info->width,
                                     (int)info->height);
  if (pixbuf == NULL) {
    set_tlg_error(error, TLG_ERROR_OUT_OF_MEMORY);
    return NULL;
  }
  /* Rows not decoded yet (or never, after damage) show as black. */
  gdk_pixbuf_fill(pixbuf, 0);
  return pixbuf;
}

typedef struct {
  GdkPixbuf *pixbuf;
  TlgContext *context; /* null when loading a whole file */
} RowTarget;

static int on_row(void *user, size_t row, const void *pixels, size_t width) {
  RowTarget *target = user;
  GdkPixbuf *pixbuf = target->pixbuf;
  if (row >= (size_t)gdk_pixbuf_get_height(pixbuf) || width != (size_t)gdk_pixbuf_get_width(pixbuf))
    return 1;
  guchar *out = gdk_pixbuf_get_pixels(pixbuf) + row * (size_t)gdk_pixbuf_get_rowstride(pixbuf);
  const guchar *in = pixels;
  if (gdk_pixbuf_get_has_alpha(pixbuf)) {
    memcpy(out, in, width * 4);
  } else {
    for (size_t x = 0; x < width; x++, out += 3, in += 4) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
  if (target->context != NULL && target->context->updated_func != NULL)
    target->context->updated_func(pixbuf, 0, (int)row, (int)width, 1, target->context->user_data);
  return 0;
}

/* A wrapper's tags become the options "tlg::KEY", which hold text: entries
 * whose key or value is not UTF-8 free of zero bytes are left out. Tags that
 * cannot be read leave the picture without them; they never fail it. */
static void set_tag_options(const guint8 *data, gsize size, GdkPixbuf *pixbuf) {
  tlg_tag *tags = NULL;
  size_t count = 0;
  if (tlg_read_tags(data, size, &tags, &count) != TLG_OK)
    return;
  for (size_t i = 0; i < count; i++) {
    if (!g_utf8_validate_len(tags[i].key, tags[i].key_size, NULL) ||
        !g_utf8_validate_len(tags[i].value, tags[i].value_size, NULL))
      continue;
    gchar *key = g_strconcat("tlg::", tags[i].key, NULL);
    gdk_pixbuf_set_option(pixbuf, key, tags[i].value);
    g_free(key);
  }
  tlg_free(tags);
}

static gboolean decode_into(const guint8 *data, gsize size, GdkPixbuf *pixbuf,
                            TlgContext *context, GError **error) {
  RowTarget target = {pixbuf, context};
  const tlg_error e = tlg_decode_rows(data, size, TLG_RGBA8, NULL, on_row, &target, NULL);
  if (e != TLG_OK) {
    /* A stop can only come from a row that does not fit the header's size. */
    set_tlg_error(error, e == TLG_ERROR_STOPPED ? TLG_ERROR_CORRUPT : e);
    return FALSE;
  }
  set_tag_options(data, size, pixbuf);
  return TRUE;
}

/* The header, from data that may be none at all. */
static tlg_error read_info(const GByteArray *data, tlg_info *info) {
  if (data->len == 0)
    return TLG_ERROR_TRUNCATED;
  return tlg_read_info(data->data, data->len, info);
}

static GdkPixbuf *load_bytes(const GByteArray *data, GError **error) {
  tlg_info info;
  const tlg_error e = read_info(data, &info);
  if (e != TLG_OK) {
    set_tlg_error(error, e);
    return NULL;
  }
  GdkPixbuf *pixbuf = new_pixbuf(&info, error);
  if (pixbuf == NULL)
    return NULL;
  if (!decode_into(data->data, data->len, pixbuf, NULL, error)) {
    g_object_unref(pixbuf);
    return NULL;
  }
  return pixbuf;
}

static GdkPixbuf *tlg_load(FILE *f, GError **error) {
  GByteArray *data = g_byte_array_new();
  guint8 chunk[65536];
  size_t n;
  gboolean too_large = FALSE;
  while (!too_large && (n = fread(chunk, 1, sizeof chunk, f)) > 0) {
    too_large = n > G_MAXUINT - data->len;
    if (!too_large)
      g_byte_array_append(data, chunk, (guint)n);
  }
  GdkPixbuf *pixbuf = NULL;
  if (too_large)
    set_tlg_error(error, TLG_ERROR_TOO_LARGE);
  else if (ferror(f))
    set_tlg_error(error, TLG_ERROR_IO);
  else
    pixbuf = load_bytes(data, error);
  g_byte_array_unref(data);
  return pixbuf;
}

static gpointer tlg_begin_load(GdkPixbufModuleSizeFunc size_func,
                               GdkPixbufModulePreparedFunc prepared_func,
                               GdkPixbufModuleUpdatedFunc updated_func, gpointer user_data,
                               GError **error) {
  (void)error;
  TlgContext *context = g_new0(TlgContext, 1);
  context->size_func = size_func;
  context->prepared_func = prepared_func;
  context->updated_func = updated_func;
  context->user_data = user_data;
  context->data = g_byte_array_new();
  return context;
}

/* Once the header is readable: the size, then the (blank) pixbuf. */
static gboolean announce(TlgContext *context, const tlg_info *info, GError **error) {
  if (!check_size(info, error))
    return FALSE;
  if (context->size_func != NULL) {
    int width = (int)info->width, height = (int)info->height;
    context->size_func(&width, &height, context->user_data);
    if (width == 0 || height == 0) {
      /* Only the size was wanted; take no memory for the pixels. */
      context->declined = TRUE;
      return TRUE;
    }
  }
  context->pixbuf = new_pixbuf(info, error);
  if (context->pixbuf == NULL)
    return FALSE;
  if (context->prepared_func != NULL)
    context->prepared_func(context->pixbuf, NULL, context->user_data);
  return TRUE;
}

static gboolean tlg_load_increment(gpointer data, const guchar *buf, guint size, GError **error) {
  TlgContext *context = data;
  if (context->failed) {
    set_error(error, GDK_PIXBUF_ERROR_FAILED, "loading has already failed");
    return FALSE;
  }
  if (context->declined)
    return TRUE;
  if (size > G_MAXUINT - context->data->len) {  /* more than a byte array holds */
    set_tlg_error(error, TLG_ERROR_TOO_LARGE);
    context->failed = TRUE;
    return FALSE;
  }
  g_byte_array_append(context->data, buf, size);
  if (context->pixbuf != NULL)
    return TRUE;
  tlg_info info;
  const tlg_error e = read_info(context->data, &info);
  if (e == TLG_ERROR_TRUNCATED)
    return TRUE;
  if (e != TLG_OK) {
    set_tlg_error(error, e);
    context->failed = TRUE;
    return FALSE;
  }
  if (!announce(context, &info, error)) {
    context->failed = TRUE;
    return FALSE;
  }
  return TRUE;
}

static gboolean tlg_stop_load(gpointer data, GError **error) {
  TlgContext *context = data;
  gboolean ok = FALSE;
  if (context->failed) {
    set_error(error, GDK_PIXBUF_ERROR_FAILED, "loading has already failed");
  } else if (context->declined) {
    ok = TRUE;
  } else if (context->pixbuf == NULL) {
    /* The data ended before the header did, or held none. */
    tlg_info info;
    const tlg_error e = read_info(context->data, &info);
    set_tlg_error(error, e == TLG_OK ? TLG_ERROR_CORRUPT : e);
  } else {
    ok = decode_into(context->data->data, context->data->len, context->pixbuf, context, error);
  }
  if (context->pixbuf != NULL)
    g_object_unref(context->pixbuf);
  g_byte_array_unref(context->data);
  g_free(context);
  return ok;
}

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule *module);
G_MODULE_EXPORT void fill_info(GdkPixbufFormat *info);

G_MODULE_EXPORT void fill_vtable(GdkPixbufModule *module) {
  module->load = tlg_load;
  module->begin_load = tlg_begin_load;
  module->stop_load = tlg_stop_load;
  module->load_increment = tlg_load_increment;
}

G_MODULE_EXPORT void fill_info(GdkPixbufFormat *info) {
  /* The three signatures; the zero byte in each is matched by the mask's 'z'. */
  static GdkPixbufModulePattern signature[] = {
      {"TLG5.0-raw\x1a", "      z    ", 100},
      {"TLG6.0-raw\x1a", "      z    ", 100},
      {"TLG0.0-sds\x1a", "      z    ", 100},
      {NULL, NULL, 0},
  };
  static gchar *mime_types[] = {"image/x-tlg", NULL};
  static gchar *extensions[] = {"tlg", NULL};
  info->name = "tlg";
  info->signature = signature;
  info->description = "TLG image";
  info->mime_types = mime_types;
  info->extensions = extensions;
  info->flags = GDK_PIXBUF_FORMAT_THREADSAFE;
  info->license = "other";
}
