// The tlg tool end to end, through files, as a user runs it.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/damaged_tags.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"
#include "tools/image_io.h"
#include "tools/png_tags.h"
#include "tools/tlg_file.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string out;     // standard output
  std::string err;     // standard error
  std::string output;  // both
};

// `environment`: assignments for the shell to put before the command.
ToolRun Tlg(const std::string& arguments, const std::string& environment = "") {
  const std::string errors = (fs::temp_directory_path() / ("tlg-tool-stderr-" + std::to_string(getpid()))).string();
  const std::string command = environment + " " + std::string(TLG_TOOL) + " " + arguments + " 2>" + errors;
  ToolRun run{-1, "", "", ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.out += buffer;
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  const auto err = ReadWholeFile(errors);
  run.err.assign(err.begin(), err.end());
  fs::remove(errors);
  run.output = run.out + run.err;
  return run;
}

// A PNG as libpng writes it, with exactly the samples and chunks given.
struct RawPng {
  uint32_t width = 0;
  uint32_t height = 0;
  int colourType = PNG_COLOR_TYPE_RGB;
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<uint8_t> rows;  // packed rows, top first, 16-bit samples big-endian
  std::vector<png_color> palette;
  std::vector<png_byte> paletteAlpha;  // tRNS of a palette
  int transparentGrey = -1;            // tRNS of a grey picture
  double gamma = 0;                    // gAMA, when not 0
  std::vector<png_text> texts;
};

RawPng Png(uint32_t width, uint32_t height, int colourType, int bitDepth, bool interlaced = false) {
  RawPng png;
  png.width = width;
  png.height = height;
  png.colourType = colourType;
  png.bitDepth = bitDepth;
  png.interlaced = interlaced;
  return png;
}

// Plain data only here: libpng's errors longjmp back into this function.
bool WriteRawPngFile(std::FILE* file, const RawPng& raw) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, raw.width, raw.height, raw.bitDepth, raw.colourType,
               raw.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!raw.palette.empty()) png_set_PLTE(png, info, raw.palette.data(), static_cast<int>(raw.palette.size()));
  if (!raw.paletteAlpha.empty()) {
    png_set_tRNS(png, info, raw.paletteAlpha.data(), static_cast<int>(raw.paletteAlpha.size()), nullptr);
  }
  if (raw.transparentGrey >= 0) {
    png_color_16 grey;
    std::memset(&grey, 0, sizeof grey);
    grey.gray = static_cast<png_uint_16>(raw.transparentGrey);
    png_set_tRNS(png, info, nullptr, 0, &grey);
  }
  if (raw.gamma != 0) png_set_gAMA(png, info, raw.gamma);
  if (!raw.texts.empty()) png_set_text(png, info, raw.texts.data(), static_cast<int>(raw.texts.size()));
  png_write_info(png, info);
  const size_t stride = raw.rows.size() / raw.height;
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (uint32_t y = 0; y < raw.height; ++y) png_write_row(png, raw.rows.data() + y * stride);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

void Append16(std::vector<uint8_t>& bytes, std::initializer_list<uint16_t> samples) {
  for (uint16_t v : samples) {
    bytes.push_back(static_cast<uint8_t>(v >> 8));
    bytes.push_back(static_cast<uint8_t>(v));
  }
}

png_text Text(int compression, const char* keyword, const char* text) {
  png_text chunk;
  std::memset(&chunk, 0, sizeof chunk);
  chunk.compression = compression;
  chunk.key = const_cast<char*>(keyword);
  chunk.text = const_cast<char*>(text);
  return chunk;
}

TagDictionary Dictionary(const TagList& tags) { return TagDictionary(tags.begin(), tags.end()); }

class TlgTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("tlg-tool-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::string WriteTestPng(const std::string& name, const TestImage& image) {
    Picture picture{image.width, image.height, image.pixels};
    std::string error;
    EXPECT_TRUE(WritePng(Path(name), picture, error)) << error;
    return Path(name);
  }
  void WriteBytes(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string WriteRawPng(const std::string& name, const RawPng& raw) {
    std::FILE* file = std::fopen(Path(name).c_str(), "wb");
    EXPECT_NE(file, nullptr);
    EXPECT_TRUE(WriteRawPngFile(file, raw)) << name;
    std::fclose(file);
    return Path(name);
  }
  // The pixels of a PAM file that 'tlg decode' wrote, as 0xAARRGGBB.
  std::vector<uint32_t> ReadPamPixels(const std::string& path) {
    const auto pam = ReadWholeFile(path);
    const std::string text(pam.begin(), pam.end());
    const size_t start = text.find("ENDHDR\n") + 7;
    std::vector<uint32_t> pixels;
    for (size_t at = start; at + 4 <= pam.size(); at += 4) {
      pixels.push_back(uint32_t{pam[at + 3]} << 24 | uint32_t{pam[at]} << 16 | uint32_t{pam[at + 1]} << 8 | pam[at + 2]);
    }
    return pixels;
  }
  // The tags of a TLG file, and whether it is wrapped.
  TagDictionary TagsOf(const std::string& path, bool* wrapped = nullptr) {
    const auto bytes = ReadWholeFile(path);
    Picture picture;
    TagDictionary tags;
    std::string error;
    EXPECT_TRUE(DecodeTlgFile(bytes, picture, &tags, error)) << path << ": " << error;
    if (wrapped != nullptr) *wrapped = IsWrappedTlg(bytes);
    return tags;
  }
  std::vector<uint32_t> ReadPngPixels(const std::string& path) {
    Picture picture;
    std::string error;
    EXPECT_TRUE(ReadPng(path, picture, error)) << error;
    return picture.pixels;
  }
  // Nothing but the expected files in the folder: no partial output.
  size_t FileCount() const {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(dir_)) count += entry.is_regular_file() ? 1 : 0;
    return count;
  }

  fs::path dir_;
};

TEST_F(TlgTool, PngToTlgToPngKeepsEveryPixel) {
  const struct {
    const char* options;
    bool opaque;
  } cases[] = {{"", false}, {"--format tlg5", false}, {"--format tlg6 --wrap", true},
               {"--format tlg5 --tag title=Sprite --tag by=us", true}};
  for (const auto& c : cases) {
    const auto image = MakeTestImage(ImagePattern::kSprite, 45, 30, 2, c.opaque);
    const std::string png = WriteTestPng("in.png", image);
    const ToolRun encoded = Tlg("encode -f " + png + " -o " + Path("out.tlg") + " " + c.options);
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const ToolRun decoded = Tlg("decode -f " + Path("out.tlg") + " -o " + Path("back.png"));
    ASSERT_EQ(decoded.status, 0) << decoded.output;
    EXPECT_EQ(ReadPngPixels(Path("back.png")), image.pixels) << c.options;
  }
}

TEST_F(TlgTool, InfoNamesEachKind) {
  const auto image = MakeTestImage(ImagePattern::kGradient, 17, 9, 1, true);
  WriteBytes("a.tlg", EncodeTestImage(TlgKind::kTlg5, image));
  WriteBytes("b.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  WriteBytes("c.tlg", WrappedSample(TlgKind::kTlg6, image, {{"title", "ramp"}}));
  const ToolRun run = Tlg("info " + Path("a.tlg") + " " + Path("b.tlg") + " " + Path("c.tlg"));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("a.tlg: TLG5, 3 colours, 17 x 9"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("b.tlg: TLG6, 3 colours, 17 x 9"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("c.tlg: TLG0 (TLG6), 3 colours, 17 x 9"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("title = ramp"), std::string::npos) << run.output;
}

TEST_F(TlgTool, InfoShowsTheTagsBeforeDamage) {
  const auto image = MakeTestImage(ImagePattern::kGradient, 7, 5, 1, true);
  const auto good = WrapTlg0(EncodeTestImage(TlgKind::kTlg6, image), {{"tags", MakeTagsChunkData(TagsToDamage())}});
  const auto damaged = DamagedTagsFiles(good);
  ASSERT_EQ(damaged.size(), 4u);
  for (const DamagedTagsFile& file : damaged) {
    WriteBytes("damaged.tlg", file.bytes);
    const ToolRun run = Tlg("info " + Path("damaged.tlg"));
    EXPECT_EQ(run.status, 0) << file.what << "\n" << run.output;
    EXPECT_NE(run.out.find(std::string(kKeptTagKey) + " = " + kKeptTagValue), std::string::npos)
        << file.what << "\n" << run.output;
    EXPECT_EQ(run.out.find(kDamagedTagKey), std::string::npos) << file.what << "\n" << run.output;
  }
}

TEST_F(TlgTool, DecodesManyFilesIntoAFolder) {
  const auto image = MakeTestImage(ImagePattern::kHardEdges, 20, 20, 4, false);
  WriteBytes("one.tlg", EncodeTestImage(TlgKind::kTlg5, image));
  WriteBytes("two.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  // Neither the folder nor its parent is there yet.
  const ToolRun run = Tlg("decode " + Path("one.tlg") + " " + Path("two.tlg") + " -d " + Path("out/png"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("decoded 2 of 2 files"), std::string::npos) << run.output;
  EXPECT_EQ(ReadPngPixels(Path("out/png/one.png")), image.pixels);
  EXPECT_EQ(ReadPngPixels(Path("out/png/two.png")), image.pixels);

  // A folder that cannot be made is one line, before any file is worked on.
  const ToolRun blocked = Tlg("encode " + Path("out/png/one.png") + " " + Path("out/png/two.png") + " -d " +
                              Path("one.tlg/sub"));
  EXPECT_EQ(blocked.status, 1);
  EXPECT_EQ(blocked.out, "");
  EXPECT_EQ(blocked.err.rfind(Path("one.tlg/sub") + ": cannot create (", 0), 0u) << blocked.err;
  EXPECT_EQ(std::count(blocked.err.begin(), blocked.err.end(), '\n'), 1) << blocked.err;
}

TEST_F(TlgTool, PamOutputIsRgbaTopRowFirst) {
  const auto image = MakeTestImage(ImagePattern::kNoise, 3, 2, 9, false);
  WriteBytes("n.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  ASSERT_EQ(Tlg("decode " + Path("n.tlg") + " -o " + Path("n.pam")).status, 0);
  const auto pam = ReadWholeFile(Path("n.pam"));
  const std::string header = "P7\nWIDTH 3\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
  ASSERT_EQ(pam.size(), header.size() + 24);
  EXPECT_EQ(std::string(pam.begin(), pam.begin() + header.size()), header);
  for (size_t i = 0; i < 6; ++i) {
    const uint32_t p = image.pixels[i];
    const uint8_t* rgba = &pam[header.size() + i * 4];
    EXPECT_EQ(rgba[0], (p >> 16) & 0xFF);
    EXPECT_EQ(rgba[1], (p >> 8) & 0xFF);
    EXPECT_EQ(rgba[2], p & 0xFF);
    EXPECT_EQ(rgba[3], p >> 24);
  }
}

TEST_F(TlgTool, BadInputsSayWhatIsWrongAndLeaveNoOutput) {
  const auto image = MakeTestImage(ImagePattern::kGradient, 30, 20, 1, false);
  const auto good = EncodeTestImage(TlgKind::kTlg6, image);
  WriteBytes("text.tlg", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', '!'});
  WriteBytes("cut.tlg", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
  auto corrupt = good;
  corrupt[11] = 7;  // no such colour count
  WriteBytes("corrupt.tlg", corrupt);
  WriteBytes("fake.png", {'n', 'o', 't', ' ', 'p', 'n', 'g'});
  const auto png = ReadWholeFile(WriteTestPng("good.png", image));
  fs::remove(Path("good.png"));
  WriteBytes("cut.png", std::vector<uint8_t>(png.begin(), png.begin() + png.size() / 2));
  WriteBytes("cut-header.png", std::vector<uint8_t>(png.begin(), png.begin() + 20));
  auto damaged = png;
  const size_t idat = std::string(png.begin(), png.end()).find("IDAT");
  ASSERT_NE(idat, std::string::npos);
  damaged[idat + 10] ^= 0x55;
  WriteBytes("damaged.png", damaged);
  const size_t before = FileCount();

  const struct {
    std::string arguments;
    std::string message;
  } cases[] = {
      {"decode " + Path("text.tlg") + " -o " + Path("x.png"), "text.tlg: not a TLG file"},
      {"decode " + Path("cut.tlg") + " -o " + Path("x.png"), "cut.tlg: cut short"},
      {"decode " + Path("corrupt.tlg") + " -o " + Path("x.png"), "corrupt.tlg: corrupt"},
      {"decode " + Path("missing.tlg") + " -o " + Path("x.png"), "missing.tlg: cannot open (No such file"},
      {"encode " + Path("missing.png") + " -o " + Path("x.tlg"), "missing.png: cannot open (No such file"},
      {"info " + Path(""), ": cannot open (Is a directory)"},
      {"info " + Path("cut.tlg"), "cut.tlg: cut short"},
      {"encode " + Path("fake.png") + " -o " + Path("x.tlg"), "fake.png: not a PNG file"},
      {"encode " + Path("cut.png") + " -o " + Path("x.tlg"), "cut.png: cut short"},
      {"encode " + Path("cut-header.png") + " -o " + Path("x.tlg"), "cut-header.png: cut short"},
      {"encode " + Path("damaged.png") + " -o " + Path("x.tlg"), "damaged.png: corrupt ("},
      {"decode " + Path("text.tlg") + " " + Path("cut.tlg") + " -d " + Path(""), "decoded 0 of 2 files, 2 failed"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tlg(c.arguments);
    EXPECT_NE(run.status, 0) << c.arguments;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    EXPECT_EQ(FileCount(), before) << c.arguments;
  }
}

TEST_F(TlgTool, HelpVersionAndUsageErrorsFollowConventions) {
  for (const char* help : {"--help", "-h"}) {
    const ToolRun run = Tlg(help);
    EXPECT_EQ(run.status, 0) << help;
    EXPECT_NE(run.out.find("usage: tlg COMMAND"), std::string::npos) << help << run.output;
    EXPECT_EQ(run.err, "") << help;
  }
  const ToolRun version = Tlg("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tlg ") + TLG_VERSION_STRING + "\n");
  for (const char* command : {"info", "decode", "encode"}) {
    const ToolRun run = Tlg(std::string(command) + " --help");
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_EQ(run.out.rfind(std::string("usage: tlg ") + command, 0), 0u) << run.output;
  }
  const struct {
    const char* arguments;
    const char* named;
  } wrong[] = {{"frobnicate x", "unknown command frobnicate"},
               {"--frobnicate", "unknown option --frobnicate"},
               {"decode --wrap a.tlg", "unknown option --wrap"},
               {"decode", "no input file"},
               {"encode a.png --format tlg7", "unknown format tlg7"}};
  for (const auto& w : wrong) {
    const ToolRun run = Tlg(w.arguments);
    EXPECT_EQ(run.status, 2) << w.arguments;
    EXPECT_EQ(run.out, "") << w.arguments;
    EXPECT_EQ(run.err.rfind(std::string("tlg: ") + w.named, 0), 0u) << run.err;
    EXPECT_NE(run.err.find("usage: tlg"), std::string::npos) << run.err;
  }
}

TEST_F(TlgTool, ExistingOutputsAreKeptUnlessForced) {
  const auto image = MakeTestImage(ImagePattern::kSprite, 12, 10, 5, false);
  WriteBytes("a.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  WriteBytes("b.tlg", EncodeTestImage(TlgKind::kTlg5, image));
  const std::vector<uint8_t> mine = {'m', 'i', 'n', 'e'};
  WriteBytes("a.png", mine);
  WriteBytes("b.png.partial", mine);  // named like a temporary, still the user's

  const ToolRun kept = Tlg("decode " + Path("a.tlg") + " " + Path("b.tlg"));
  EXPECT_EQ(kept.status, 1);
  EXPECT_NE(kept.err.find(Path("a.png") + ": already exists"), std::string::npos) << kept.err;
  EXPECT_NE(kept.err.find("decoded 1 of 2 files, 1 failed"), std::string::npos) << kept.err;
  EXPECT_EQ(ReadWholeFile(Path("a.png")), mine);
  EXPECT_EQ(ReadWholeFile(Path("b.png.partial")), mine);
  EXPECT_EQ(ReadPngPixels(Path("b.png")), image.pixels);  // the rest of the batch went on

  const auto tlg = ReadWholeFile(Path("a.tlg"));
  const ToolRun encodeKept = Tlg("encode " + Path("b.png") + " -o " + Path("a.tlg"));
  EXPECT_EQ(encodeKept.status, 1);
  EXPECT_NE(encodeKept.err.find("already exists"), std::string::npos) << encodeKept.err;
  EXPECT_EQ(ReadWholeFile(Path("a.tlg")), tlg);

  for (const char* force : {"-f", "--force"}) {
    WriteBytes("a.png", mine);
    ASSERT_EQ(Tlg(std::string("decode ") + force + " " + Path("a.tlg")).status, 0) << force;
    EXPECT_EQ(ReadPngPixels(Path("a.png")), image.pixels) << force;
  }
  ASSERT_EQ(Tlg("encode -f --format tlg5 " + Path("a.png") + " -o " + Path("a.tlg")).status, 0);
  EXPECT_NE(ReadWholeFile(Path("a.tlg")), tlg);
}

TEST_F(TlgTool, EncodesManyFilesIntoAFolder) {
  const auto first = MakeTestImage(ImagePattern::kGradient, 16, 8, 1, true);
  const auto second = MakeTestImage(ImagePattern::kNoise, 9, 7, 2, false);
  WriteTestPng("first.png", first);
  WriteTestPng("second.png", second);
  WriteBytes("broken.png", {'x'});
  fs::create_directories(dir_ / "out");
  const ToolRun run =
      Tlg("encode " + Path("first.png") + " " + Path("broken.png") + " " + Path("second.png") + " -d " + Path("out"));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("broken.png: not a PNG file"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("encoded 2 of 3 files, 1 failed"), std::string::npos) << run.err;
  ASSERT_EQ(Tlg("decode " + Path("out/first.tlg") + " " + Path("out/second.tlg")).status, 0);
  EXPECT_EQ(ReadPngPixels(Path("out/first.png")), first.pixels);
  EXPECT_EQ(ReadPngPixels(Path("out/second.png")), second.pixels);
  EXPECT_FALSE(fs::exists(dir_ / "out" / "broken.tlg"));
}

TEST_F(TlgTool, EmptyPicturesAreDescribedAndKeptOutOfPng) {
  const auto empty = MakeTestImage(ImagePattern::kGradient, 0, 5, 1, true);
  WriteBytes("empty5.tlg", EncodeTestImage(TlgKind::kTlg5, empty));
  WriteBytes("empty6.tlg", EncodeTestImage(TlgKind::kTlg6, empty));
  const ToolRun info = Tlg("info " + Path("empty5.tlg") + " " + Path("empty6.tlg"));
  EXPECT_EQ(info.status, 0) << info.output;
  EXPECT_NE(info.out.find("empty5.tlg: TLG5, 3 colours, 0 x 5"), std::string::npos) << info.output;
  EXPECT_NE(info.out.find("empty6.tlg: TLG6, 3 colours, 0 x 5"), std::string::npos) << info.output;

  const ToolRun png = Tlg("decode " + Path("empty5.tlg"));
  EXPECT_EQ(png.status, 1);
  EXPECT_NE(png.err.find("PNG cannot hold an empty picture"), std::string::npos) << png.err;
  EXPECT_FALSE(fs::exists(dir_ / "empty5.png"));
  ASSERT_EQ(Tlg("decode " + Path("empty6.tlg") + " -o " + Path("empty.pam")).status, 0);
  const auto pam = ReadWholeFile(Path("empty.pam"));
  EXPECT_EQ(std::string(pam.begin(), pam.end()), "P7\nWIDTH 0\nHEIGHT 5\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n");
}

TEST_F(TlgTool, FilesSideBySideReportInInputOrder) {
  // A large file first, so that the small ones behind it finish before it.
  std::string files;
  for (int i = 0; i < 9; ++i) {
    const uint32_t side = i == 0 ? 600 : 8 + i;
    const std::string name = "f" + std::to_string(i) + ".tlg";
    if (i % 4 == 2) {
      WriteBytes(name, {'b', 'a', 'd'});
    } else {
      WriteBytes(name, EncodeTestImage(i % 2 ? TlgKind::kTlg5 : TlgKind::kTlg6,
                                       MakeTestImage(ImagePattern::kNoise, side, side, i, false)));
    }
    files += " " + Path(name);
  }
  const ToolRun one = Tlg("info -j 1" + files);
  const ToolRun many = Tlg("info -j 4" + files);
  EXPECT_EQ(one.status, 1);
  EXPECT_EQ(many.status, one.status);
  EXPECT_EQ(many.out, one.out);
  EXPECT_EQ(many.err, one.err);
  EXPECT_NE(one.err.find("described 7 of 9 files, 2 failed"), std::string::npos) << one.err;
  EXPECT_LT(one.out.find("f0.tlg"), one.out.find("f1.tlg"));

  fs::create_directories(dir_ / "png");
  const ToolRun decoded = Tlg("decode --jobs 3 -d " + Path("png") + files);
  EXPECT_EQ(decoded.err, one.err.substr(0, one.err.find("described")) + "decoded 7 of 9 files, 2 failed\n");
  EXPECT_EQ(ReadPngPixels(Path("png/f0.png")), MakeTestImage(ImagePattern::kNoise, 600, 600, 0, false).pixels);
  EXPECT_EQ(Tlg("info -j 0" + files).status, 2);
}

TEST_F(TlgTool, ThreadsAndClearTransparentOnEncode) {
  auto image = MakeTestImage(ImagePattern::kSprite, 70, 50, 4, false);
  for (size_t i = 0; i < image.pixels.size(); i += 3) image.pixels[i] &= 0x00FFFFFF;
  const std::string png = WriteTestPng("sprite.png", image);
  ASSERT_EQ(Tlg("encode -j 1 " + png + " -o " + Path("one.tlg")).status, 0);
  ASSERT_EQ(Tlg("encode -j 4 " + png + " -o " + Path("four.tlg")).status, 0);
  EXPECT_EQ(ReadWholeFile(Path("four.tlg")), ReadWholeFile(Path("one.tlg")));

  ASSERT_EQ(Tlg("encode --clear-transparent " + png + " -o " + Path("clear.tlg")).status, 0);
  ASSERT_EQ(Tlg("decode " + Path("clear.tlg")).status, 0);
  const auto cleared = ReadPngPixels(Path("clear.png"));
  ASSERT_EQ(cleared.size(), image.pixels.size());
  for (size_t i = 0; i < cleared.size(); ++i) {
    EXPECT_EQ(cleared[i], (image.pixels[i] >> 24) == 0 ? 0u : image.pixels[i]) << i;
  }
}

TEST_F(TlgTool, PngSamplesAreTakenAsTheyAre) {
  // Each picture is encoded and decoded to PAM: the pixels are the PNG's own
  // samples, 16-bit ones brought to 8 bits as (v * 255 + 32767) / 65535,
  // whatever gAMA says.
  struct Case {
    const char* name;
    RawPng png;
    std::vector<uint32_t> expected;
  };
  std::vector<Case> cases;
  {
    RawPng rgb = Png(2, 1, PNG_COLOR_TYPE_RGB, 16);
    Append16(rgb.rows, {0x8000, 0x4000, 0xFF00, 0xFFFF, 0x0000, 0x0101});
    rgb.gamma = 1.0;
    cases.push_back({"rgb16", rgb, {0xFF8040FE, 0xFFFF0001}});
  }
  {
    RawPng rgba = Png(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16);
    Append16(rgba.rows, {0x1234, 0xFFFF, 0x0000, 0x8080});
    cases.push_back({"rgba16", rgba, {0x8012FF00}});
  }
  {
    RawPng greyAlpha = Png(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16);
    Append16(greyAlpha.rows, {44939, 1799, 0, 65535});
    cases.push_back({"grey-alpha16", greyAlpha, {0x07AFAFAF, 0xFF000000}});
  }
  {
    RawPng grey = Png(256, 256, PNG_COLOR_TYPE_GRAY, 16);  // every 16-bit value once
    std::vector<uint32_t> expected;
    for (uint32_t v = 0; v < 65536; ++v) {
      Append16(grey.rows, {static_cast<uint16_t>(v)});
      const uint32_t g = (v * 255 + 32767) / 65535;
      expected.push_back(0xFF000000 | g << 16 | g << 8 | g);
    }
    EXPECT_EQ(expected[44939], 0xFFAFAFAFu);  // 175, not 215
    cases.push_back({"grey16", grey, expected});
  }
  {
    RawPng gamma = Png(2, 1, PNG_COLOR_TYPE_RGB, 8);
    gamma.rows = {10, 128, 250, 0, 1, 2};
    gamma.gamma = 1.0;
    cases.push_back({"gamma1", gamma, {0xFF0A80FA, 0xFF000102}});
  }
  {
    RawPng palette = Png(3, 1, PNG_COLOR_TYPE_PALETTE, 2);
    palette.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
    palette.paletteAlpha = {0, 128};
    palette.rows = {0x18};  // indices 0, 1, 2
    cases.push_back({"palette", palette, {0x00FF0000, 0x8000FF00, 0xFF0000FF}});
  }
  {
    RawPng lowGrey = Png(2, 1, PNG_COLOR_TYPE_GRAY, 4);
    lowGrey.rows = {0x53};  // 5, 3
    lowGrey.transparentGrey = 3;
    cases.push_back({"grey4", lowGrey, {0xFF555555, 0x00333333}});
  }
  {
    const auto image = MakeTestImage(ImagePattern::kSprite, 9, 7, 3, false);
    RawPng interlaced = Png(9, 7, PNG_COLOR_TYPE_RGB_ALPHA, 8, true);
    for (uint32_t p : image.pixels) {
      interlaced.rows.insert(interlaced.rows.end(), {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8),
                                                     static_cast<uint8_t>(p), static_cast<uint8_t>(p >> 24)});
    }
    cases.push_back({"interlaced", interlaced, image.pixels});
  }
  for (const Case& c : cases) {
    const std::string png = WriteRawPng(std::string(c.name) + ".png", c.png);
    const ToolRun encoded = Tlg("encode -f " + png + " -o " + Path("out.tlg"));
    ASSERT_EQ(encoded.status, 0) << c.name << encoded.output;
    const ToolRun decoded = Tlg("decode -f " + Path("out.tlg") + " -o " + Path("out.pam"));
    ASSERT_EQ(decoded.status, 0) << c.name << decoded.output;
    EXPECT_EQ(ReadPamPixels(Path("out.pam")), c.expected) << c.name;
  }
}

TEST_F(TlgTool, TagsGoThroughPngAndBack) {
  TagList nasty = {
      {"", ""},
      {"title", "Sprite"},
      {"a=b", "c:d,e="},
      {std::string("nul\0key", 7), std::string("v\0al", 4)},
      {"%41", "100% %zz %4 %%41"},
      {" sp  ace ", "  "},
      {"\xE6\x97\xA5\xE6\x9C\xAC", "\xE5\x80\xA4 \xE2\x9C\x93"},
      {"\xFF\xFE", "\xC0\x80 bad \xED\xA0\x80 \xF4\x90\x80\x80 \xE2\x82"},
      {"line\nbreak", "cr\r\nlf\ttab\x7F\x1B[31m"},
      {std::string(200, 'k') + "\xC3\xA9", "a long key"},
      {std::string(200, 'k') + "x", "another long key, the same first bytes"},
      {std::string(40, '%'), "a key all escapes"},
      {"tlg", "not the marker"},
      {"tlg:", "a prefix"},
      {"\xC2\x85", "C1 control"},
  };
  std::string big;
  for (int i = 0; i < 100000; ++i) big += static_cast<char>((i * 7919) >> 3);
  nasty.push_back({"big", big});
  for (int i = 0; i < 1500; ++i) nasty.push_back({"n" + std::to_string(i), std::to_string(i * i)});
  const auto image = MakeTestImage(ImagePattern::kSprite, 23, 11, 6, false);
  WriteBytes("nasty.tlg", WrappedSample(TlgKind::kTlg6, image, nasty));
  ASSERT_EQ(TagsOf(Path("nasty.tlg")), Dictionary(nasty));

  ASSERT_EQ(Tlg("decode " + Path("nasty.tlg")).status, 0);
  const ToolRun encoded = Tlg("encode --format tlg5 " + Path("nasty.png") + " -o " + Path("again.tlg"));
  ASSERT_EQ(encoded.status, 0) << encoded.output;
  bool wrapped = false;
  EXPECT_EQ(TagsOf(Path("again.tlg"), &wrapped), Dictionary(nasty));
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(ReadPngPixels(Path("nasty.png")), image.pixels);

  // Plain tags stay readable in the PNG.
  Picture picture;
  std::vector<PngText> texts;
  std::string error;
  ASSERT_TRUE(ReadPng(Path("nasty.png"), picture, error, &texts, IsTagKeyword)) << error;
  std::map<std::string, std::string> chunks;
  for (const PngText& text : texts) chunks[text.keyword] = text.text;
  EXPECT_EQ(chunks["tlg"], "wrapped");
  EXPECT_EQ(chunks["tlg:title"], "Sprite");
  EXPECT_EQ(chunks["tlg:%E6%97%A5%E6%9C%AC"], "\xE5\x80\xA4 \xE2\x9C\x93");
  EXPECT_EQ(chunks["tlg:%2541"], "100%25 %25zz %254 %25%2541");

  // --tag on the way back replaces and adds.
  ASSERT_EQ(Tlg("encode -f " + Path("nasty.png") + " -o " + Path("again.tlg") + " --tag title=Other --tag new=").status,
            0);
  TagDictionary changed = Dictionary(nasty);
  changed["title"] = "Other";
  changed["new"] = "";
  EXPECT_EQ(TagsOf(Path("again.tlg")), changed);

  // Wrapped without tags comes back wrapped; raw comes back raw.
  WriteBytes("bare.tlg", WrapTlg0(EncodeTestImage(TlgKind::kTlg5, image), {}));
  WriteBytes("raw.tlg", EncodeTestImage(TlgKind::kTlg5, image));
  for (const char* name : {"bare", "raw"}) {
    ASSERT_EQ(Tlg("decode " + Path(std::string(name) + ".tlg")).status, 0) << name;
    ASSERT_EQ(Tlg("encode " + Path(std::string(name) + ".png") + " -o " + Path(std::string(name) + "-again.tlg")).status,
              0);
    EXPECT_TRUE(TagsOf(Path(std::string(name) + "-again.tlg"), &wrapped).empty()) << name;
    EXPECT_EQ(wrapped, std::string(name) == "bare") << name;
  }
}

TEST_F(TlgTool, OtherTextChunksAreNoTags) {
  RawPng png = Png(1, 1, PNG_COLOR_TYPE_RGB, 8);
  png.rows = {1, 2, 3};
  png.texts = {Text(PNG_TEXT_COMPRESSION_NONE, "Software", "an editor"),
               Text(PNG_TEXT_COMPRESSION_zTXt, "Comment", "hello")};
  WriteRawPng("editor.png", png);
  ASSERT_EQ(Tlg("encode " + Path("editor.png")).status, 0);
  bool wrapped = true;
  EXPECT_TRUE(TagsOf(Path("editor.tlg"), &wrapped).empty());
  EXPECT_FALSE(wrapped);

  // A tag added by hand as tEXt: Latin-1 text, taken as such.
  png.texts.push_back(Text(PNG_TEXT_COMPRESSION_NONE, "tlg:by", "caf\xE9"));
  WriteRawPng("hand.png", png);
  ASSERT_EQ(Tlg("encode " + Path("hand.png")).status, 0);
  EXPECT_EQ(TagsOf(Path("hand.tlg"), &wrapped), (TagDictionary{{"by", "caf\xC3\xA9"}}));
  EXPECT_TRUE(wrapped);
}

TEST_F(TlgTool, TagsFromTheOriginal) {
  const TagList tags = {{"title", "Sprite"}, {"odd", std::string("\0\xFF", 2)}};
  const auto image = MakeTestImage(ImagePattern::kSprite, 16, 12, 8, false);
  WriteBytes("original.tlg", WrappedSample(TlgKind::kTlg6, image, tags));
  WriteBytes("raw.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  auto edited = image;
  edited.pixels[5] = 0xFF123456;
  WriteTestPng("edited.png", edited);  // as an editor saves it: no text chunks

  ASSERT_EQ(Tlg("encode " + Path("edited.png") + " -o " + Path("back.tlg") + " --tags-from " + Path("original.tlg") +
                " --tag by=me")
                .status,
            0);
  bool wrapped = false;
  TagDictionary expected = Dictionary(tags);
  expected["by"] = "me";
  EXPECT_EQ(TagsOf(Path("back.tlg"), &wrapped), expected);
  EXPECT_TRUE(wrapped);
  ASSERT_EQ(Tlg("decode " + Path("back.tlg")).status, 0);
  EXPECT_EQ(ReadPngPixels(Path("back.png")), edited.pixels);

  // The original's wrapping counts over the PNG's tags.
  ASSERT_EQ(Tlg("encode -f " + Path("back.png") + " -o " + Path("raw-again.tlg") + " --tags-from " + Path("raw.tlg"))
                .status,
            0);
  EXPECT_TRUE(TagsOf(Path("raw-again.tlg"), &wrapped).empty());
  EXPECT_FALSE(wrapped);

  const auto good = ReadWholeFile(Path("original.tlg"));
  WriteBytes("cut.tlg", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
  const auto tagsChunk = std::string(good.begin(), good.end()).find("tags");
  ASSERT_NE(tagsChunk, std::string::npos);
  WriteBytes("cut-tags.tlg", std::vector<uint8_t>(good.begin(), good.begin() + tagsChunk + 12));
  auto badTags = good;
  badTags[tagsChunk + 8] = 'x';  // where a length's digit belongs
  WriteBytes("bad-tags.tlg", badTags);
  fs::create_directories(dir_ / "out");
  const std::map<std::string, std::string> reasons = {{"missing.tlg", "(cannot open (No such file"},
                                                      {"cut.tlg", "(cut short)"},
                                                      {"cut-tags.tlg", "(cut short (in its tags))"},
                                                      {"bad-tags.tlg", "(corrupt (its tags are damaged))"}};
  for (const auto& [original, reason] : reasons) {
    const ToolRun run = Tlg("encode " + Path("edited.png") + " " + Path("back.png") + " -d " + Path("out") +
                            " --tags-from " + Path(original));
    EXPECT_EQ(run.status, 1) << original;
    EXPECT_NE(run.err.find("edited.png: cannot take the tags of " + Path(original) + " ("), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find(reason), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("encoded 0 of 2 files, 2 failed"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_empty(dir_ / "out"));
  }
}

TEST_F(TlgTool, InfoPrintsUtf8TagsAsTextUnderAUtf8Locale) {
  const TagList tags = {{"\xE5\x90\x8D", "\xE5\x80\xA4"},
                        {"ctl", "a\x01" "b"},
                        {"bad", "\xFF\xE5\x80\xA4"},
                        {"rtl", "a\xE2\x80\xAE" "b"},
                        {"slash", "a\\b"}};
  WriteBytes("tags.tlg", WrappedSample(TlgKind::kTlg5, MakeTestImage(ImagePattern::kGradient, 4, 4, 1, true), tags));
  const ToolRun utf8 = Tlg("info " + Path("tags.tlg"), "LC_ALL=C.UTF-8");
  ASSERT_EQ(utf8.status, 0) << utf8.output;
  for (const char* line : {"  \xE5\x90\x8D = \xE5\x80\xA4\n", "  ctl = a\\x01b\n", "  bad = \\xFF\\xE5\\x80\\xA4\n",
                           "  rtl = a\\xE2\\x80\\xAEb\n", "  slash = a\\x5Cb\n"}) {
    EXPECT_NE(utf8.out.find(line), std::string::npos) << line << "\n" << utf8.out;
  }
  const ToolRun ascii = Tlg("info " + Path("tags.tlg"), "LC_ALL=C");
  ASSERT_EQ(ascii.status, 0) << ascii.output;
  EXPECT_NE(ascii.out.find("  \\xE5\\x90\\x8D = \\xE5\\x80\\xA4\n"), std::string::npos) << ascii.out;
  EXPECT_NE(ascii.out.find("  ctl = a\\x01b\n"), std::string::npos) << ascii.out;
}

TEST_F(TlgTool, OutputExtensionsInAnyCase) {
  const auto image = MakeTestImage(ImagePattern::kNoise, 5, 4, 2, false);
  WriteBytes("n.tlg", EncodeTestImage(TlgKind::kTlg6, image));
  ASSERT_EQ(Tlg("decode " + Path("n.tlg") + " -o " + Path("UP.PNG")).status, 0);
  EXPECT_EQ(ReadPngPixels(Path("UP.PNG")), image.pixels);
  ASSERT_EQ(Tlg("decode " + Path("n.tlg") + " -o " + Path("UP.Pam")).status, 0);
  EXPECT_EQ(ReadPamPixels(Path("UP.Pam")), image.pixels);
  EXPECT_EQ(Tlg("decode " + Path("n.tlg") + " -o " + Path("UP.TXT")).status, 2);
}

}  // namespace
