/* Opens a picture through GdkPixbuf, with whatever loaders the system has
 * registered, and writes it as a PAM in the tlg tool's form (RGBA, 8 bits). */
#include <stdio.h>

#include <gdk-pixbuf/gdk-pixbuf.h>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: %s PICTURE OUT.pam\n", argv[0]);
    return 2;
  }
  GError* error = NULL;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(argv[1], &error);
  if (pixbuf == NULL) {
    fprintf(stderr, "%s: %s\n", argv[1], error->message);
    return 1;
  }
  const int width = gdk_pixbuf_get_width(pixbuf);
  const int height = gdk_pixbuf_get_height(pixbuf);
  const int channels = gdk_pixbuf_get_n_channels(pixbuf);
  const int stride = gdk_pixbuf_get_rowstride(pixbuf);
  const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
  FILE* out = fopen(argv[2], "wb");
  if (out == NULL) {
    perror(argv[2]);
    return 1;
  }
  fprintf(out, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", width,
          height);
  for (int y = 0; y < height; y++) {
    for (int x = 0; x < width; x++) {
      const guchar* p = pixels + (size_t)y * stride + (size_t)x * channels;
      const unsigned char rgba[4] = {p[0], p[1], p[2], channels == 4 ? p[3] : 255};
      fwrite(rgba, 1, 4, out);
    }
  }
  g_object_unref(pixbuf);
  return fclose(out) == 0 ? 0 : 1;
}
