// The tlg tool end to end, through files, as a user runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/temp_file.h"
#include "tests/support/tlg_samples.h"
#include "tools/image_io.h"

namespace fs = std::filesystem;

namespace {

struct ToolRun {
  int status;
  std::string output;  // stdout and stderr together
};

ToolRun Tlg(const std::string& arguments) {
  const std::string command = std::string(TLG_TOOL) + " " + arguments + " 2>&1";
  ToolRun run{-1, ""};
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.output += buffer;
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
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
    const ToolRun encoded = Tlg("encode " + png + " -o " + Path("out.tlg") + " " + c.options);
    ASSERT_EQ(encoded.status, 0) << encoded.output;
    const ToolRun decoded = Tlg("decode " + Path("out.tlg") + " -o " + Path("back.png"));
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
      {"decode " + Path("missing.tlg") + " -o " + Path("x.png"), "missing.tlg: unreadable"},
      {"info " + Path("cut.tlg"), "cut.tlg: cut short"},
      {"encode " + Path("fake.png") + " -o " + Path("x.tlg"), "fake.png: unsupported PNG"},
      {"decode " + Path("text.tlg") + " " + Path("cut.tlg") + " -d " + Path(""), "decoded 0 of 2 files, 2 failed"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Tlg(c.arguments);
    EXPECT_NE(run.status, 0) << c.arguments;
    EXPECT_NE(run.output.find(c.message), std::string::npos) << c.arguments << "\n" << run.output;
    EXPECT_EQ(FileCount(), before) << c.arguments;
  }
  EXPECT_EQ(Tlg("frobnicate x").status, 2);
  EXPECT_EQ(Tlg("decode").status, 2);
}

}  // namespace
