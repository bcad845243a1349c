#include "ui/avi_clip.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "avi_writer.h"
#include "clip_art.h"
#include "ui/animation_player.h"
#include "ui/clip_resources.h"

namespace kestrova::ui {
namespace {

std::string ReadResource(const std::string& name) {
  std::ifstream in(std::string(KESTROVA_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
  std::stringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

TEST(AviClip, CommittedClipsHaveTheirStatedShape) {
  struct Expected {
    const char* file;
    int width, height, frames;
  };
  for (const Expected& e : {Expected{"anim.avi", 160, 11, 12}, Expected{"wheel.avi", 64, 64, 3}}) {
    const std::string bytes = ReadResource(e.file);
    ASSERT_FALSE(bytes.empty()) << e.file;
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(bytes.substr(8, 4), "AVI ");
    EXPECT_EQ(bytes.find("auds"), std::string::npos) << "no sound stream";
    const std::optional<AviClip> clip = AviClip::Read(bytes);
    ASSERT_TRUE(clip.has_value()) << e.file;
    EXPECT_EQ(clip->Width(), e.width);
    EXPECT_EQ(clip->Height(), e.height);
    EXPECT_EQ(clip->FrameCount(), e.frames);
    EXPECT_EQ(clip->BitsPerPixel(), 16);
    EXPECT_EQ(clip->MicrosecondsPerFrame(), 83333u);
    for (int i = 1; i < clip->FrameCount(); ++i) EXPECT_NE(clip->Frame(i), clip->Frame(i - 1)) << "frames move";
  }
}

TEST(AviClip, EmbeddedClipsAreTheCommittedFiles) {
  EXPECT_EQ(ClipResource("anim"), ReadResource("anim.avi"));
  EXPECT_EQ(ClipResource("WHEEL"), ReadResource("wheel.avi"));
  EXPECT_TRUE(ClipResource("other").empty());
}

TEST(AviClip, CommittedClipsAreWhatTheToolDraws) {
  EXPECT_EQ(clips::WriteAvi16(clips::DrawAnimClip()), ReadResource("anim.avi"));
  EXPECT_EQ(clips::WriteAvi16(clips::DrawWheelClip()), ReadResource("wheel.avi"));
}

TEST(AviClip, ReadsBackWhatWasWrittenInRowOrder) {
  // An odd width makes rows padded; distinct rows show that bottom-up storage is
  // turned the right way round. Colours survive with the 5 bits per channel kept.
  clips::ClipFrames frames;
  frames.width = 3;
  frames.height = 2;
  frames.microseconds_per_frame = 50000;
  frames.frames_per_second = 20;
  frames.frames = {{0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000, 0x808080},
                   {0x000000, 0x000000, 0x000000, 0x0842C6, 0x0842C6, 0x0842C6}};
  const std::optional<AviClip> clip = AviClip::Read(clips::WriteAvi16(frames));
  ASSERT_TRUE(clip.has_value());
  ASSERT_EQ(clip->FrameCount(), 2);
  EXPECT_EQ(clip->MicrosecondsPerFrame(), 50000u);
  const std::vector<uint32_t> first = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF, 0xFF000000, 0xFF848484};
  EXPECT_EQ(clip->Frame(0), first);
  EXPECT_EQ(clip->Frame(1)[3], 0xFF0842C6u);
}

TEST(AviClip, RejectsWhatIsNoUncompressedClip) {
  const std::string good = ReadResource("anim.avi");
  EXPECT_FALSE(AviClip::Read("").has_value());
  EXPECT_FALSE(AviClip::Read("RIFF\x04\0\0\0WAVE").has_value());
  EXPECT_FALSE(AviClip::Read(good.substr(0, 300)).has_value()) << "cut before the first frame";
  std::string compressed = good;
  const size_t strf = compressed.find("strf");
  ASSERT_NE(strf, std::string::npos);
  compressed.replace(strf + 8 + 16, 4, "MJPG");
  EXPECT_FALSE(AviClip::Read(compressed).has_value());
  std::string huge = good;
  huge.replace(strf + 8 + 4, 4, std::string("\xff\xff\x00\x00", 4));  // 65535 pixels wide
  EXPECT_FALSE(AviClip::Read(huge).has_value());
  std::string lying_sizes = good;
  lying_sizes.replace(4, 4, std::string("\xff\xff\xff\xff", 4));
  EXPECT_TRUE(AviClip::Read(lying_sizes).has_value()) << "a RIFF size past the end is cut to the data";
}

TEST(AnimationPlayer, LoopsOverItsRangeAndCountsEveryStep) {
  AnimationPlayer player;
  player.SetFrameCount(12);
  player.Play(1, 12, 0);
  for (int i = 0; i < 11; ++i) player.Advance();
  EXPECT_EQ(player.CurrentFrame(), 12);
  player.Advance();
  EXPECT_EQ(player.CurrentFrame(), 1);
  EXPECT_TRUE(player.Playing());
  EXPECT_EQ(player.FramesAdvanced(), 12u);
}

TEST(AnimationPlayer, StopsOnTheLastFrameAfterItsRepetitions) {
  AnimationPlayer player;
  player.SetFrameCount(3);
  player.Play(2, 9, 2);  // the range is cut to the clip
  std::vector<int> shown{player.CurrentFrame()};
  for (int i = 0; i < 6; ++i) {
    player.Advance();
    shown.push_back(player.CurrentFrame());
  }
  EXPECT_EQ(shown, (std::vector<int>{2, 3, 2, 3, 3, 3, 3}));
  EXPECT_FALSE(player.Playing());
}

}  // namespace
}  // namespace kestrova::ui
