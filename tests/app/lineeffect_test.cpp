// The line effect: its fixed-point arithmetic and that every play leaves the screen as it was.
#include <gtest/gtest.h>

#include <string>

#include "app/BaseSheet.h"
#include "controls/LineEffect.h"
#include "controls/ZoomRect.h"
#include "platform/gdi/gdi.h"
#include "support/testroot.h"

namespace {

using LE = CLineEffect;

TEST(LineEffect, FixedPointArithmetic) {
  EXPECT_EQ(LE::Mul(2 * LE::kOne, 3 * LE::kOne), 6 * LE::kOne);
  EXPECT_EQ(LE::Mul(LE::kOne / 2, 10), 5);
  EXPECT_EQ(LE::Div(3, 4), 49152);
  EXPECT_EQ(LE::Div(0, 4), 0);
  EXPECT_EQ(LE::Div(4, 0), 0);

  POINT p = LE::Apply(POINT{20, 0}, LE::Rotate(90 * LE::kOne, POINT{10, 0}));
  EXPECT_EQ(p.x, 10);
  EXPECT_EQ(p.y, 10);
  p = LE::Apply(POINT{20, 30}, LE::Scale(LE::kOne / 2, 2 * LE::kOne, POINT{10, 10}));
  EXPECT_EQ(p.x, 15);
  EXPECT_EQ(p.y, 50);
  p = LE::Apply(POINT{1, 2}, LE::Multiply(LE::Translate(5, 6), LE::Translate(-1, 1)));
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 9);
  // t = 1 gives the first, t = 0 the second.
  p = LE::Interpolate(POINT{100, 0}, POINT{0, 100}, LE::kOne / 4);
  EXPECT_EQ(p.x, 25);
  EXPECT_EQ(p.y, 75);
  LE::Matrix half = LE::Interpolate(LE::Identity(), LE::Translate(40, 0), LE::kOne / 2);
  p = LE::Apply(POINT{0, 0}, half);
  EXPECT_EQ(p.x, 20);
}

TEST(LineEffect, ModesSetTheStepCountAndRandomModeStays) {
  LE effect;
  const int steps[5] = {360, 180, 4, 180, 360};
  for (int mode = 0; mode < 5; ++mode) {
    effect.SetMode(mode);
    EXPECT_EQ(effect.GetStepCount(), steps[mode]);
  }
  effect.SetMode(-1);
  EXPECT_EQ(effect.GetStepCount(), 360);
  EXPECT_EQ(effect.GetMode(), -1);
  effect.AnimateIn(RECT{100, 100, 300, 200});
  EXPECT_EQ(effect.GetMode(), -1);
}

std::string Screen(const std::string& name) {
  std::string path = kxtest::MakeTempDir("shots") + "/" + name + ".png";
  EXPECT_TRUE(kx::RenderScreenToPng(path.c_str()));
  return kxtest::ReadFile(path);
}

TEST(LineEffect, EveryFigureDrawsAndEveryPlayLeavesTheScreenAsItWas) {
  const RECT rect{120, 90, 420, 290};
  const std::string before = Screen("before");
  for (int mode = 0; mode < 5; ++mode) {
    // One frame drawn shows on the screen, and drawing it again takes it away.
    LE::PlayState s;
    s.rect = rect;
    s.steps = mode == 2 ? 4 : (mode == 1 || mode == 3) ? 180 : 360;
    s.trail = 6;
    s.frames = 50;
    s.centre = POINT{270, 190};
    s.corner = POINT{150, -100};
    s.dc = GetDC(nullptr);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(s.dc, pen);
    SetROP2(s.dc, R2_NOT);
    LE::Figure figure = LE::GetFigure(mode);
    s.phase = LE::kStart;
    figure(s);
    s.frame = 30;
    s.phase = LE::kDraw;
    figure(s);
    EXPECT_NE(Screen("drawn"), before) << "figure " << mode;
    s.phase = LE::kErase;
    figure(s);
    SetROP2(s.dc, R2_COPYPEN);
    SelectObject(s.dc, old);
    DeleteObject(pen);
    ReleaseDC(nullptr, s.dc);
    EXPECT_EQ(Screen("erased"), before) << "figure " << mode;

    LE effect;
    effect.SetMode(mode);
    effect.AnimateIn(rect);
    EXPECT_EQ(Screen("in"), before) << "figure " << mode;
    effect.AnimateOut(rect);
    EXPECT_EQ(Screen("out"), before) << "figure " << mode;
  }
  // An empty rectangle: nothing visible at all.
  LE effect;
  effect.SetMode(2);
  effect.AnimateIn(RECT{50, 50, 50, 50});
  EXPECT_EQ(Screen("empty"), before);
}

TEST(AnimateRect, DrawsAndErasesTheZoomOutline) {
  const std::string before = Screen("before");
  RECT from{10, 10, 20, 20}, to{200, 150, 400, 300};
  AnimateRect(&from, &to, 1);
  AnimateRect(&to, &to, 1);
  EXPECT_EQ(Screen("after"), before);
}

}  // namespace
