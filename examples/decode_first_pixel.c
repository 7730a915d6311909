/* Decodes a TLG file with libtlg and prints its size and its first pixel. */
#include <stdio.h>

#include <tlg/tlg.h>

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE.tlg\n", argv[0]);
    return 2;
  }
  void* pixels = NULL;
  tlg_info info;
  const tlg_error error = tlg_decode_file_alloc(argv[1], TLG_RGBA8, NULL, &pixels, &info);
  if (error != TLG_OK) {
    fprintf(stderr, "%s: %s\n", argv[1], tlg_error_string(error));
    return 1;
  }
  printf("%lu x %lu\n", (unsigned long)info.width, (unsigned long)info.height);
  if (info.width > 0 && info.height > 0) {
    const unsigned char* p = (const unsigned char*)pixels;
    printf("first pixel: R %u G %u B %u A %u\n", p[0], p[1], p[2], p[3]);
  }
  tlg_free(pixels);
  return 0;
}
