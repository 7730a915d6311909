// The loader through the real gdk-pixbuf, registered in a private loaders
// cache the way a desktop registers it, and the thumbnailer over it.
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "tests/desktop/pictures.h"
#include "tests/support/damaged_tags.h"

namespace {

std::string g_dir;

// Runs a program with the test's environment; under the sanitizers, the
// module it loads needs their runtime preloaded.
int RunProgram(const std::vector<std::string>& args, std::string* out) {
  std::vector<char*> argv;
  for (const std::string& a : args)
    argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  gchar** envp = g_get_environ();
#ifdef TLG_SANITIZER_RUNTIME
  envp = g_environ_setenv(envp, "LD_PRELOAD", TLG_SANITIZER_RUNTIME, TRUE);
  envp = g_environ_setenv(envp, "ASAN_OPTIONS", "detect_leaks=0", TRUE);
#endif
  gchar* child_out = nullptr;
  gint status = -1;
  GError* error = nullptr;
  const gboolean ran = g_spawn_sync(nullptr, argv.data(), envp, G_SPAWN_DEFAULT, nullptr, nullptr,
                                    &child_out, nullptr, &status, &error);
  g_strfreev(envp);
  if (!ran) {
    ADD_FAILURE() << args[0] << ": " << error->message;
    g_error_free(error);
    return -1;
  }
  if (out != nullptr)
    *out = child_out;
  g_free(child_out);
  return g_spawn_check_wait_status(status, nullptr) ? 0 : 1;
}

class LoadersCache : public ::testing::Environment {
 public:
  void SetUp() override {
    g_dir = MakeTempDir("gdk_pixbuf_test");
    std::string cache;
    ASSERT_EQ(RunProgram({TLG_QUERY_LOADERS, TLG_PIXBUF_MODULE}, &cache), 0);
    ASSERT_NE(cache.find("\"image/x-tlg\""), std::string::npos) << cache;
    const std::string path = g_dir + "/loaders.cache";
    WriteFile(path, Bytes(cache.begin(), cache.end()));
    setenv("GDK_PIXBUF_MODULE_FILE", path.c_str(), 1);
    // gdk-pixbuf knows a file's type by the MIME database first.
    const std::string mime = g_dir + "/share/mime";
    ASSERT_EQ(g_mkdir_with_parents((mime + "/packages").c_str(), 0755), 0);
    WriteFile(mime + "/packages/tlg.xml", ReadFile(TLG_SOURCE_DIR "/gdk-pixbuf/data/tlg.xml"));
    setenv("XDG_DATA_HOME", (g_dir + "/share").c_str(), 1);
    ASSERT_EQ(RunProgram({TLG_UPDATE_MIME_DATABASE, mime}, nullptr), 0);
  }
};
const auto* const kCache = ::testing::AddGlobalTestEnvironment(new LoadersCache);

struct ErrorHolder {
  GError* error = nullptr;
  ~ErrorHolder() { g_clear_error(&error); }
};

void ExpectPixels(GdkPixbuf* pixbuf, const Rgba& expected, unsigned colours) {
  ASSERT_NE(pixbuf, nullptr);
  ASSERT_EQ(size_t(gdk_pixbuf_get_width(pixbuf)), expected.width);
  ASSERT_EQ(size_t(gdk_pixbuf_get_height(pixbuf)), expected.height);
  const bool alpha = colours == 4;
  ASSERT_EQ(gdk_pixbuf_get_has_alpha(pixbuf), alpha);
  ASSERT_EQ(gdk_pixbuf_get_n_channels(pixbuf), alpha ? 4 : 3);
  const int channels = alpha ? 4 : 3;
  for (size_t y = 0; y < expected.height; y++) {
    const guchar* row = gdk_pixbuf_read_pixels(pixbuf) + y * size_t(gdk_pixbuf_get_rowstride(pixbuf));
    for (size_t x = 0; x < expected.width; x++) {
      const uint8_t* want = &expected.pixels[(y * expected.width + x) * 4];
      if (alpha)
        ASSERT_EQ(want[3], row[x * 4 + 3]) << "alpha at " << x << "," << y;
      else
        ASSERT_EQ(want[3], 255) << "a three-colour picture with alpha at " << x << "," << y;
      ASSERT_EQ(0, std::memcmp(want, row + x * channels, 3)) << "pixel " << x << "," << y;
    }
  }
}

// What the loader reports while it is fed.
struct Events {
  int size_prepared = 0;
  int area_prepared = 0;
  bool prepared_in_order = true;
  size_t fed = 0;
  size_t fed_at_size = 0;
  int width = 0;
  int height = 0;
  std::vector<int> rows_updated;
  bool updates_in_bounds = true;
};

void OnSizePrepared(GdkPixbufLoader*, int width, int height, gpointer user) {
  auto* e = static_cast<Events*>(user);
  e->size_prepared++;
  e->width = width;
  e->height = height;
  e->fed_at_size = e->fed;
}

void OnAreaPrepared(GdkPixbufLoader* loader, gpointer user) {
  auto* e = static_cast<Events*>(user);
  e->area_prepared++;
  GdkPixbuf* pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
  e->prepared_in_order &= e->size_prepared == 1 && pixbuf != nullptr &&
                          gdk_pixbuf_get_width(pixbuf) == e->width &&
                          gdk_pixbuf_get_height(pixbuf) == e->height;
}

void OnAreaUpdated(GdkPixbufLoader*, int x, int y, int width, int height, gpointer user) {
  auto* e = static_cast<Events*>(user);
  e->updates_in_bounds &= e->area_prepared == 1 && x >= 0 && y >= 0 && width > 0 && height > 0 &&
                          x + width <= e->width && y + height <= e->height;
  for (int row = y; row < y + height; row++)
    e->rows_updated.push_back(row);
}

// Feeds the file to a loader in pieces whose sizes next_piece gives; returns
// the pixbuf (a reference the caller drops) or null with the error.
GdkPixbuf* LoadInPieces(const Bytes& file, const std::function<size_t()>& next_piece,
                        Events* events, GError** error, const char* type = nullptr) {
  GdkPixbufLoader* loader =
      type != nullptr ? gdk_pixbuf_loader_new_with_type(type, error) : gdk_pixbuf_loader_new();
  if (loader == nullptr)
    return nullptr;
  g_signal_connect(loader, "size-prepared", G_CALLBACK(OnSizePrepared), events);
  g_signal_connect(loader, "area-prepared", G_CALLBACK(OnAreaPrepared), events);
  g_signal_connect(loader, "area-updated", G_CALLBACK(OnAreaUpdated), events);
  bool ok = true;
  while (ok && events->fed < file.size()) {
    const size_t n = std::min(next_piece(), file.size() - events->fed);
    const uint8_t* piece = file.data() + events->fed;
    events->fed += n;  // what the loader has seen once this write is under way
    ok = gdk_pixbuf_loader_write(loader, piece, n, error);
  }
  // A failed write has closed the loader already.
  if (ok)
    ok = gdk_pixbuf_loader_close(loader, error);
  GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
  if (pixbuf != nullptr)
    g_object_ref(pixbuf);
  g_object_unref(loader);
  return pixbuf;
}

TEST(GdkPixbuf, RecognisesTheFormatByContent) {
  // Whatever the name; the size comes without the pixels.
  const std::string unnamed = g_dir + "/picture.bin";
  WriteFile(unnamed, ReadFile(TLG_SOURCE_DIR "/samples/tiles-wrapped.tlg"));
  int width = 0, height = 0;
  GdkPixbufFormat* format = gdk_pixbuf_get_file_info(unnamed.c_str(), &width, &height);
  ASSERT_NE(format, nullptr);
  EXPECT_EQ(width, 120);
  EXPECT_EQ(height, 84);
  gchar* name = gdk_pixbuf_format_get_name(format);
  gchar** mime_types = gdk_pixbuf_format_get_mime_types(format);
  gchar** extensions = gdk_pixbuf_format_get_extensions(format);
  EXPECT_STREQ(name, "tlg");
  EXPECT_STREQ(mime_types[0], "image/x-tlg");
  EXPECT_STREQ(extensions[0], "tlg");
  g_free(name);
  g_strfreev(mime_types);
  g_strfreev(extensions);
}

TEST(GdkPixbuf, LoadsWholeFilesAndPiecesWithTheToolsPixels) {
  std::mt19937 random(7);
  for (const TestFile& f : TestFiles(g_dir)) {
    SCOPED_TRACE(f.name);
    Rgba expected;
    ASSERT_TRUE(ToolDecode(f.path, &expected));
    ErrorHolder e;
    GdkPixbuf* whole = gdk_pixbuf_new_from_file(f.path.c_str(), &e.error);
    ASSERT_NE(whole, nullptr) << e.error->message;
    ExpectPixels(whole, expected, f.colours);
    g_object_unref(whole);

    const Bytes file = ReadFile(f.path);
    const std::function<size_t()> pieces[] = {
        [] { return size_t(1); },
        [&random] { return size_t(random() % 700 + 1); },
    };
    for (const auto& piece : pieces) {
      const bool bytewise = &piece == &pieces[0];
      Events events;
      // Byte-wise to a loader told the type, as viewers that know it do; the
      // other sniffs the type from the first 4 KiB.
      GdkPixbuf* pixbuf = LoadInPieces(file, piece, &events, &e.error, bytewise ? "tlg" : nullptr);
      ASSERT_NE(pixbuf, nullptr) << e.error->message;
      ExpectPixels(pixbuf, expected, f.colours);
      g_object_unref(pixbuf);
      EXPECT_EQ(events.size_prepared, 1);
      EXPECT_EQ(events.area_prepared, 1);
      EXPECT_TRUE(events.prepared_in_order);
      // The size is known as soon as the header is.
      if (bytewise) {
        tlg_info info;
        EXPECT_EQ(tlg_read_info(file.data(), events.fed_at_size - 1, &info), TLG_ERROR_TRUNCATED);
        EXPECT_EQ(tlg_read_info(file.data(), events.fed_at_size, &info), TLG_OK);
      }
      EXPECT_TRUE(events.updates_in_bounds);
      std::vector<int> rows(expected.height);
      for (size_t i = 0; i < rows.size(); i++)
        rows[i] = int(i);
      EXPECT_EQ(events.rows_updated, rows);
    }
  }
}

// A damaged file ends in the given error both ways: whole, and fed one byte
// at a time to a loader that was told the type.
void ExpectError(const Bytes& file, GdkPixbufError code) {
  const std::string path = g_dir + "/damaged.tlg";
  WriteFile(path, file);
  ErrorHolder whole;
  GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), &whole.error);
  EXPECT_EQ(pixbuf, nullptr);
  ASSERT_NE(whole.error, nullptr);
  EXPECT_TRUE(g_error_matches(whole.error, GDK_PIXBUF_ERROR, code)) << whole.error->message;

  Events events;
  ErrorHolder pieces;
  pixbuf = LoadInPieces(file, [] { return size_t(1); }, &events, &pieces.error, "tlg");
  EXPECT_EQ(pixbuf, nullptr);
  ASSERT_NE(pieces.error, nullptr);
  EXPECT_TRUE(g_error_matches(pieces.error, GDK_PIXBUF_ERROR, code)) << pieces.error->message;
}

TEST(GdkPixbuf, DamagedFilesEndInAnError) {
  const Bytes tlg5 = ReadFile(TLG_SOURCE_DIR "/samples/dusk-tlg5.tlg");
  const Bytes tlg6 = ReadFile(TLG_SOURCE_DIR "/samples/badge-tlg6.tlg");
  const Bytes wrapped = ReadFile(TLG_SOURCE_DIR "/samples/tiles-wrapped.tlg");
  // Cut in the header or in the image data (a wrapper's chunks follow the image).
  for (const Bytes* file : {&tlg5, &tlg6, &wrapped}) {
    for (size_t cut : {size_t(20), file->size() / 2, file == &wrapped ? size_t(300) : file->size() - 1}) {
      SCOPED_TRACE(cut);
      ExpectError(Truncated(*file, cut), GDK_PIXBUF_ERROR_CORRUPT_IMAGE);
    }
  }
  ExpectError(Bytes(), GDK_PIXBUF_ERROR_CORRUPT_IMAGE);
  Bytes colours = tlg5;
  colours[11] = 2;  // a colour count no picture has
  ExpectError(colours, GDK_PIXBUF_ERROR_CORRUPT_IMAGE);

  // No pixels: nothing a pixbuf can hold.
  ExpectError(Encode(Rgba{0, 0, Bytes(4)}, TLG_KIND_TLG6, false), GDK_PIXBUF_ERROR_CORRUPT_IMAGE);

  // Over the pixel limit: refused from the header, before any allocation.
  const Bytes huge = Tlg5WithWidth(tlg5, 1u << 24);
  tlg_info info;
  ASSERT_EQ(tlg_read_info(huge.data(), huge.size(), &info), TLG_OK);
  ASSERT_EQ(info.width, size_t(1) << 24);
  ExpectError(huge, GDK_PIXBUF_ERROR_INSUFFICIENT_MEMORY);

  // Not TLG at all, to a loader told it is.
  Events events;
  ErrorHolder e;
  const Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  EXPECT_EQ(LoadInPieces(png, [] { return size_t(3); }, &events, &e.error, "tlg"), nullptr);
  ASSERT_NE(e.error, nullptr);
  EXPECT_TRUE(g_error_matches(e.error, GDK_PIXBUF_ERROR, GDK_PIXBUF_ERROR_UNKNOWN_TYPE));
}

// Whole and in pieces: the picture, with the tags before the damage as options.
TEST(GdkPixbuf, DamagedTagsKeepTheEntriesBeforeTheDamage) {
  const Rgba picture = MakeRgba(13, 9, true, 5);
  const auto damaged = DamagedTagsFiles(Encode(picture, TLG_KIND_TLG6, true, TagsToDamage()));
  ASSERT_EQ(damaged.size(), 4u);
  const std::string kept = std::string("tlg::") + kKeptTagKey;
  const std::string lost = std::string("tlg::") + kDamagedTagKey;
  for (const DamagedTagsFile& file : damaged) {
    SCOPED_TRACE(file.what);
    const std::string path = g_dir + "/damaged-tags.tlg";
    WriteFile(path, file.bytes);
    for (bool whole : {true, false}) {
      ErrorHolder e;
      Events events;
      GdkPixbuf* pixbuf = whole ? gdk_pixbuf_new_from_file(path.c_str(), &e.error)
                                : LoadInPieces(file.bytes, [] { return size_t(1); }, &events, &e.error, "tlg");
      ASSERT_NE(pixbuf, nullptr) << e.error->message;
      ExpectPixels(pixbuf, picture, 4);
      EXPECT_STREQ(gdk_pixbuf_get_option(pixbuf, kept.c_str()), kKeptTagValue);
      EXPECT_EQ(gdk_pixbuf_get_option(pixbuf, lost.c_str()), nullptr);
      g_object_unref(pixbuf);
    }
  }
}

TEST(GdkPixbuf, ThumbnailerWritesAThumbnail) {
  // Four flat quarters, so that the scaled picture keeps their colours.
  const uint8_t quarters[4][3] = {{200, 30, 40}, {20, 180, 60}, {30, 50, 210}, {230, 220, 20}};
  Rgba picture{300, 200, Bytes(300 * 200 * 4)};
  for (size_t y = 0; y < 200; y++) {
    for (size_t x = 0; x < 300; x++) {
      uint8_t* p = &picture.pixels[(y * 300 + x) * 4];
      std::memcpy(p, quarters[(y >= 100) * 2 + (x >= 150)], 3);
      p[3] = 255;
    }
  }
  const std::string in = g_dir + "/quarters.tlg", out = g_dir + "/quarters.png";
  WriteFile(in, Encode(picture, TLG_KIND_TLG6, false));
  ASSERT_EQ(RunProgram({TLG_THUMBNAILER, "-s", "128", in, out}, nullptr), 0);
  ErrorHolder e;
  GdkPixbuf* thumbnail = gdk_pixbuf_new_from_file(out.c_str(), &e.error);
  ASSERT_NE(thumbnail, nullptr) << e.error->message;
  const int width = gdk_pixbuf_get_width(thumbnail), height = gdk_pixbuf_get_height(thumbnail);
  EXPECT_EQ(width, 128);
  EXPECT_NEAR(height, 85, 1);
  const int channels = gdk_pixbuf_get_n_channels(thumbnail);
  for (int q = 0; q < 4; q++) {
    const int x = width / 4 + (q % 2) * width / 2, y = height / 4 + (q / 2) * height / 2;
    const guchar* p = gdk_pixbuf_read_pixels(thumbnail) +
                      y * gdk_pixbuf_get_rowstride(thumbnail) + x * channels;
    for (int c = 0; c < 3; c++)
      EXPECT_NEAR(p[c], quarters[q][c], 2) << "quarter " << q;
  }
  g_object_unref(thumbnail);

  // A damaged picture: a failure, and no thumbnail.
  const std::string damaged = g_dir + "/damaged.tlg", none = g_dir + "/none.png";
  WriteFile(damaged, Truncated(ReadFile(in), 40));
  EXPECT_NE(RunProgram({TLG_THUMBNAILER, "-s", "128", damaged, none}, nullptr), 0);
  EXPECT_FALSE(g_file_test(none.c_str(), G_FILE_TEST_EXISTS));
}

}  // namespace
