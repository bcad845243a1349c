#include "clip_art.h"

#include <cmath>
#include <initializer_list>
#include <numbers>
#include <utility>

namespace kestrova::clips {
namespace {

constexpr uint32_t kFramesPerSecond = 12;
constexpr uint32_t kMicrosecondsPerFrame = 83333;

constexpr uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; }

uint32_t Mix(uint32_t a, uint32_t b, double t) {
  auto channel = [&](int shift) {
    const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    return static_cast<uint32_t>(std::lround(ca + (cb - ca) * t)) << shift;
  };
  return channel(16) | channel(8) | channel(0);
}

// The background covered by disjoint parts, each with its share of the pixel.
uint32_t Blend(uint32_t background, std::initializer_list<std::pair<uint32_t, double>> parts) {
  auto channel = [&](int shift) {
    double rest = 1, sum = 0;
    for (const auto& [colour, share] : parts) {
      sum += ((colour >> shift) & 0xFF) * share;
      rest -= share;
    }
    sum += ((background >> shift) & 0xFF) * rest;
    return static_cast<uint32_t>(std::lround(sum)) << shift;
  };
  return channel(16) | channel(8) | channel(0);
}

ClipFrames Empty(int width, int height, int frames) {
  ClipFrames clip;
  clip.width = width;
  clip.height = height;
  clip.frames_per_second = kFramesPerSecond;
  clip.microseconds_per_frame = kMicrosecondsPerFrame;
  clip.frames.assign(static_cast<size_t>(frames), std::vector<uint32_t>(static_cast<size_t>(width * height)));
  return clip;
}

// How much of the pixel (x, y) the wheel's shape covers at `angle`, by 4 x 4
// supersampling, split into ring, spokes and hub.
struct Coverage {
  double ring = 0, spoke = 0, hub = 0;
};

Coverage WheelCoverage(int x, int y, double angle) {
  constexpr int kSamples = 4;
  constexpr double kCentre = 32.0, kOuter = 30.0, kInner = 24.5, kHub = 7.0, kSpokeHalfWidth = 2.2;
  Coverage c;
  for (int sy = 0; sy < kSamples; ++sy) {
    for (int sx = 0; sx < kSamples; ++sx) {
      const double px = x + (sx + 0.5) / kSamples - kCentre;
      const double py = y + (sy + 0.5) / kSamples - kCentre;
      const double r = std::hypot(px, py);
      if (r <= kHub) {
        c.hub += 1;
      } else if (r >= kInner && r <= kOuter) {
        c.ring += 1;
      } else if (r < kInner) {
        for (int k = 0; k < 6; ++k) {
          const double a = angle + k * std::numbers::pi / 3;
          // distance of the point from the spoke's centre line, on the spoke's side
          const double along = px * std::cos(a) + py * std::sin(a);
          const double across = -px * std::sin(a) + py * std::cos(a);
          if (along > 0 && std::abs(across) <= kSpokeHalfWidth) {
            c.spoke += 1;
            break;
          }
        }
      }
    }
  }
  constexpr double kTotal = kSamples * kSamples;
  c.ring /= kTotal;
  c.spoke /= kTotal;
  c.hub /= kTotal;
  return c;
}

}  // namespace

ClipFrames DrawAnimClip() {
  constexpr int kWidth = 160, kHeight = 11, kFrames = 12, kPeriod = 24;
  constexpr uint32_t kBackground = Rgb(191, 205, 240);
  constexpr uint32_t kFrame = Rgb(62, 84, 150);
  constexpr uint32_t kDark = Rgb(74, 112, 204);
  constexpr uint32_t kLight = Rgb(158, 184, 240);
  ClipFrames clip = Empty(kWidth, kHeight, kFrames);
  for (int f = 0; f < kFrames; ++f) {
    const int shift = f * kPeriod / kFrames;
    for (int y = 0; y < kHeight; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        uint32_t colour;
        if (y == 0 || y == kHeight - 1 || x == 0 || x == kWidth - 1) {
          colour = (x == 0 || x == kWidth - 1) && (y == 0 || y == kHeight - 1) ? kBackground : kFrame;
        } else {
          // Bands lean right; moving the phase with the frame slides them along.
          const int phase = ((x - y - shift) % kPeriod + kPeriod) % kPeriod;
          colour = phase < kPeriod / 2 ? kDark : kLight;
          if (y == 1) colour = Mix(colour, Rgb(255, 255, 255), 0.35);  // a little gloss on top
          if (y == kHeight - 2) colour = Mix(colour, Rgb(0, 0, 0), 0.15);
        }
        clip.frames[static_cast<size_t>(f)][static_cast<size_t>(y * kWidth + x)] = colour;
      }
    }
  }
  return clip;
}

ClipFrames DrawWheelClip() {
  constexpr int kSize = 64, kFrames = 3;
  constexpr uint32_t kBackground = Rgb(0, 0, 0);
  constexpr uint32_t kRing = Rgb(96, 132, 214);
  constexpr uint32_t kSpoke = Rgb(200, 212, 244);
  constexpr uint32_t kHubColour = Rgb(244, 196, 72);
  ClipFrames clip = Empty(kSize, kSize, kFrames);
  for (int f = 0; f < kFrames; ++f) {
    // Spokes repeat every 60 degrees, so three 20-degree steps make a seamless loop.
    const double angle = f * std::numbers::pi / 9;
    for (int y = 0; y < kSize; ++y) {
      for (int x = 0; x < kSize; ++x) {
        const Coverage c = WheelCoverage(x, y, angle);
        const uint32_t colour = Blend(kBackground, {{kRing, c.ring}, {kSpoke, c.spoke}, {kHubColour, c.hub}});
        clip.frames[static_cast<size_t>(f)][static_cast<size_t>(y * kSize + x)] = colour;
      }
    }
  }
  return clip;
}

}  // namespace kestrova::clips
