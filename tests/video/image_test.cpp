#include "video/image.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>

#include "render/picture_files.h"
#include "support/capture_stdout.h"
#include "support/script_fixture.h"
#include "video/device.h"

namespace talmora {
namespace {

using testing::CaptureStdout;

constexpr const char* kFailure = "Image::Draw() : テクスチャの読み込みに失敗しました - ";
constexpr uint32_t kBackground = 0xFF000000;

// Runs the test from another folder, so that relative names resolve there.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

class ImageTest : public ::testing::Test {
 protected:
  ImageTest() {
    CaptureStdout quiet;  // the device's start-up lines
    device_ = std::make_unique<Device>();
    fixture_.context.device = device_.get();
    frame_ = Frame::Create(640, 480);
    frame_->Clear(kBackground);
  }

  std::shared_ptr<Image> Read(const std::string& attributes) {
    const TagList tags = fixture_.Load("<image " + attributes + "/>");
    auto image = std::dynamic_pointer_cast<Image>(fixture_.factory.CreateVideoObject(tags.at(1)));
    EXPECT_NE(image, nullptr);
    return image;
  }

  // Draws one frame at `time` and returns what it printed.
  std::string DrawAt(Image& image, double time) {
    CaptureStdout output;
    Sprite& sprite = *device_->GetSprite();
    sprite.Begin(*frame_);
    image.Draw(time);
    sprite.End();
    return output.Text();
  }

  std::string Picture(const std::string& name, int width, int height, uint32_t argb) {
    const std::string path = folder_ / name;
    EXPECT_TRUE(WritePng(path, width, height, std::vector<uint32_t>(static_cast<size_t>(width) * height, argb)));
    return path;
  }

  // The rectangle of pixels that differ from the background.
  Rect Changed() const {
    Rect box{frame_->Width(), frame_->Height(), 0, 0};
    for (int y = 0; y < frame_->Height(); ++y) {
      for (int x = 0; x < frame_->Width(); ++x) {
        if (frame_->Row(y)[x] == kBackground) continue;
        box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1), std::max(box.bottom, y + 1)};
      }
    }
    return box.right ? box : Rect{};
  }

  TempFolder folder_;
  testing::ScriptFixture fixture_;
  std::unique_ptr<Device> device_;
  std::unique_ptr<Frame> frame_;
};

bool operator==(const Rect& p, const Rect& q) {
  return p.left == q.left && p.top == q.top && p.right == q.right && p.bottom == q.bottom;
}

TEST_F(ImageTest, FirstDrawPrintsTheAbsolutePathOnceAndStretchesThePicture) {
  Picture("pic.png", 100, 50, 0xFF3366CC);
  WorkingFolder here(folder_.Path());
  auto image = Read(R"(src="pic.png" x="10" y="20" width="200" height="100" time="0" duration="2")");
  EXPECT_EQ(DrawAt(*image, 0.5), folder_ / "pic.png" + "\n");
  EXPECT_TRUE(Changed() == (Rect{10, 20, 210, 120}));
  EXPECT_EQ(frame_->Row(20)[10], 0xFF3366CCu);
  EXPECT_EQ(frame_->Row(119)[209], 0xFF3366CCu);
  EXPECT_EQ(DrawAt(*image, 1.0), "");
}

TEST_F(ImageTest, MissingFileShowsTheNameAsWrittenOnceAndNothingIsDrawn) {
  WorkingFolder here(folder_.Path());
  auto image = Read(R"(src="pictures/missing.png" time="0" duration="1")");
  EXPECT_EQ(DrawAt(*image, 0.1), std::string(kFailure) + "pictures/missing.png\n");
  // No second attempt: later frames neither print nor draw.
  Picture("late.png", 4, 4, 0xFFFFFFFF);
  std::filesystem::create_directory(folder_ / "pictures");
  std::filesystem::copy_file(folder_ / "late.png", folder_ / "pictures/missing.png");
  EXPECT_EQ(DrawAt(*image, 0.2), "");
  EXPECT_TRUE(Changed() == Rect{});
}

TEST_F(ImageTest, BrokenHugeAndFolderSourcesPrintTheFailureLineAndDrawNothing) {
  const std::string broken = folder_ / "broken.png";
  WriteBytes(broken, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3});
  // A real picture whose header then claims 100000 × 100000 pixels.
  WriteBytes(folder_ / "huge.png", ClaimPngSize(ReadBytes(Picture("huge.png", 2, 2, 0xFFFFFFFF)), 100000, 100000));
  for (const std::string& src : {broken, folder_ / "huge.png", folder_.Path()}) {
    auto image = Read("src=\"" + src + "\" time=\"0\" duration=\"1\"");
    EXPECT_EQ(DrawAt(*image, 0.5), kFailure + src + "\n");
    EXPECT_EQ(DrawAt(*image, 0.6), "");
  }
  EXPECT_TRUE(Changed() == Rect{});
}

}  // namespace
}  // namespace talmora
