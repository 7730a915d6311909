// The tlg tool end to end, through files, as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/support/damaged_tags.h"
#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"
#include "tools/image_io.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string out;     // standard output
  std::string err;     // standard error
  std::string output;  // both
};

ToolRun Tlg(const std::string& arguments) {
  const std::string errors = (fs::temp_directory_path() / ("tlg-tool-stderr-" + std::to_string(getpid()))).string();
  const std::string command = std::string(TLG_TOOL) + " " + arguments + " 2>" + errors;
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
  fs::create_directories(dir_ / "out");
  const ToolRun run = Tlg("decode " + Path("one.tlg") + " " + Path("two.tlg") + " -d " + Path("out"));
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("decoded 2 of 2 files"), std::string::npos) << run.output;
  EXPECT_EQ(ReadPngPixels(Path("out/one.png")), image.pixels);
  EXPECT_EQ(ReadPngPixels(Path("out/two.png")), image.pixels);
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

}  // namespace
