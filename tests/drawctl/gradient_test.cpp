// The colour ramp: band lists against the ramp's rules worked out in Python with single-precision steps, and
// the bands it paints.
#include <gtest/gtest.h>

#include <climits>
#include <sstream>

#include "controls/GradientColours.h"
#include "drawctl.h"
#include "support/testroot.h"

namespace {

struct RampCase {
  std::vector<COLORREF> stops;
  int length, start, end, shift;
  UINT max;
};

std::string Describe(const CGradientBandList& bands) {
  std::ostringstream out;
  for (size_t i = 0; i < bands.size(); ++i) {
    char buf[32];
    snprintf(buf, sizeof buf, "%s%06x:%d", i ? "," : "", bands[i].colour, bands[i].width);
    out << buf;
  }
  return out.str();
}

void SetStops(CGradientColours& ramp, const std::vector<COLORREF>& s) {
  switch (s.size()) {
    case 1: ramp.SetColours(1, s[0], s[0]); break;
    case 2: ramp.SetColours(2, s[0], s[1]); break;
    case 3: ramp.SetColours(3, s[0], s[1], s[2]); break;
    default: ramp.SetColours(4, s[0], s[1], s[2], s[3]); break;
  }
}

TEST(Gradient, BandListsMatchTheRulesWorkedOutIndependently) {
  const UINT all = CGradientColours::kNoBound;
  const std::vector<RampCase> cases = {
      {{RGB(0, 0, 0), RGB(255, 255, 255)}, 100, 0, -1, 0, all},       // one-pixel bands, the last 252
      {{RGB(10, 20, 30), RGB(11, 21, 29)}, 80, 0, -1, 0, all},        // one band of the whole length
      {{RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255)}, 101, 0, -1, 0, all},
      {{RGB(0, 0, 0), RGB(255, 255, 255)}, 1000, 0, -1, 0, 236},      // a palette device's bound
      {{RGB(0, 0, 0), RGB(200, 100, 50)}, 333, 40, 250, 0, all},      // a part of the ramp
      {{RGB(0, 0, 0), RGB(255, 255, 255)}, 100, 0, -1, 37, all},      // turned
      {{RGB(30, 60, 90), RGB(250, 10, 0), RGB(0, 0, 0)}, 150, 20, 140, -290, all},
      {{RGB(0, 0, 0), RGB(255, 255, 255)}, 100, 0, -1, 100, all},     // by the length: unturned
      {{RGB(0, 0, 0), RGB(252, 0, 0), RGB(0, 0, 252), RGB(9, 9, 9)}, 252, 0, -1, 0, all},
  };
  std::ostringstream json;
  json << "[";
  std::vector<std::string> mine;
  for (size_t i = 0; i < cases.size(); ++i) {
    const RampCase& c = cases[i];
    CGradientColours ramp;
    SetStops(ramp, c.stops);
    CGradientBandList bands;
    ramp.MakeShiftedBands(bands, c.shift, c.length, c.start, c.end, c.max);
    mine.push_back(Describe(bands));
    json << (i ? "," : "") << "{\"stops\":[";
    for (size_t k = 0; k < c.stops.size(); ++k) json << (k ? "," : "") << c.stops[k];
    json << "],\"length\":" << c.length << ",\"start\":" << c.start << ",\"end\":" << c.end
         << ",\"shift\":" << c.shift << ",\"max\":" << c.max << "}";
  }
  json << "]";
  const std::string script = kxtest::ReadFile(kxtest::SourceDir() + "/tests/drawctl/gradient_bands.py");
  std::istringstream expected(drawtest::Python(script, json.str()));
  std::string line;
  for (size_t i = 0; i < cases.size(); ++i) {
    ASSERT_TRUE(std::getline(expected, line)) << "python gave no line for case " << i;
    EXPECT_EQ(mine[i], line) << "case " << i;
  }
}

TEST(Gradient, BlackToWhiteEndsAt252AndTurningByTheLengthIsNoTurn) {
  CGradientColours ramp;
  ramp.SetColours(2, RGB(0, 0, 0), RGB(255, 255, 255));
  CGradientBandList bands, whole, back;
  ramp.MakeBands(bands, 100, 0, -1, CGradientColours::kNoBound);
  ASSERT_EQ(bands.size(), 100u);
  EXPECT_EQ(bands.back().colour, RGB(252, 252, 252));
  for (const auto& b : bands) EXPECT_EQ(b.width, 1);
  ramp.MakeShiftedBands(whole, 100, 100, 0, -1, CGradientColours::kNoBound);
  ramp.MakeShiftedBands(back, -100, 100, 0, -1, CGradientColours::kNoBound);
  EXPECT_EQ(Describe(whole), Describe(bands));
  EXPECT_EQ(Describe(back), Describe(bands));
  // The most negative shift turns like its remainder (INT_MIN = -21474836 x 100 - 48), and at once.
  CGradientBandList far, near;
  ramp.MakeShiftedBands(far, INT_MIN, 100, 0, -1, CGradientColours::kNoBound);
  ramp.MakeShiftedBands(near, 52, 100, 0, -1, CGradientColours::kNoBound);
  EXPECT_EQ(Describe(far), Describe(near));
}

TEST(Gradient, PaintsItsBandsInEachDirection) {
  CGradientColours ramp;
  ramp.SetColours(3, RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255));
  for (int direction = 0; direction < 4; ++direction) {
    drawtest::MemoryCanvas canvas(60, 60);
    ramp.SetDirection(direction);
    ramp.Draw(canvas.dc(), 10, 10, 50, 50, 0, -1, 0);
    CGradientBandList bands;
    ramp.MakeBands(bands, 40, 0, 40, CGradientColours::kNoBound);
    // The first band sits at the direction's start side, the last at its end.
    const CRect rect(10, 10, 50, 50);
    const CRect first = ramp.GetBandRect(rect, 0, 1), last = ramp.GetBandRect(rect, 39, 40);
    EXPECT_EQ(canvas.Pixel(first.left, first.top), bands.front().colour) << "direction " << direction;
    EXPECT_EQ(canvas.Pixel(last.left, last.top), bands.back().colour) << "direction " << direction;
    EXPECT_EQ(canvas.Pixel(5, 5), RGB(255, 255, 255)) << "nothing outside the rectangle";
  }
}

TEST(Gradient, PaletteDeviceBoundsTheBandsAndBuildsThePalette) {
  kx::SetPaletteDeviceForTesting(true);
  CGradientColours ramp;
  ramp.SetUsePalette(TRUE);
  ramp.SetColours(2, RGB(0, 0, 0), RGB(255, 255, 255));
  drawtest::MemoryCanvas canvas(600, 4);
  ramp.Draw(canvas.dc(), 0, 0, 600, 4, 0, -1, 0);
  CPalette* palette = ramp.GetPalette();
  kx::SetPaletteDeviceForTesting(false);
  ASSERT_NE(palette->GetSafeHandle(), nullptr);
  EXPECT_EQ(palette->GetEntryCount(), 236);
  // 236 steps over 600 pixels: no run of one colour is shorter than two pixels.
  int run = 1, shortest = 600;
  for (int x = 1; x < 599; ++x) {
    if (canvas.Pixel(x, 1) == canvas.Pixel(x - 1, 1)) ++run;
    else { shortest = std::min(shortest, run); run = 1; }
  }
  EXPECT_GE(shortest, 2);
}

}  // namespace
