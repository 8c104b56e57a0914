// The indicator's painting, checked pixel by pixel on the 113 x 105 pixel control of the main
// window: centre (56.5, 52.5), radius 51.5, BackColor the button face (0xF0F0F0).
#include "activity/ActivityInd.h"
#include "tests/support/Fakes.h"

#include <gtest/gtest.h>

#include <cmath>

namespace tarvel::test {
namespace {

constexpr double kCx = 56.5;
constexpr double kCy = 52.5;
constexpr double kR = 51.5;
constexpr double kPi = 3.14159265358979;

constexpr quint32 kBlue = 0x00C00000;        // ForeColor of the main window's instance
constexpr quint32 kSystemGrey = 0x80000005;  // FakeSurface maps every index but 15 to 0x808080

QRgb opaque(quint32 colorRef) {
    return rgbFromColorRef(colorRef) | 0xFF000000;
}
const QRgb kBack = opaque(FakeSurface::kButtonFace);
const QRgb kFore = opaque(kBlue);
const QRgb kBlack = opaque(0x000000);
const QRgb kWhite = opaque(0xFFFFFF);

struct ActivityPaint : ::testing::Test {
    void SetUp() override {
        control.InitProperties();
        control.Resize();
    }

    const QImage& paint(qint32 style, qint32 step, quint32 fore = kBlue) {
        control.setStyle(style);
        control.setForeColor(fore);
        control.setStep(step);
        control.Paint();
        return surface.frame;
    }

    QRgb px(double x, double y) const {
        return surface.frame.pixel(static_cast<int>(std::floor(x)),
                                   static_cast<int>(std::floor(y)));
    }
    // The pixel at distance d and angle theta from the centre (counter-clockwise from 3 o'clock).
    QRgb polar(double d, double theta) const {
        return px(kCx + d * std::cos(theta), kCy - d * std::sin(theta));
    }

    int count(QRgb rgb, int fromRow = 0) const {
        int n = 0;
        for (int y = fromRow; y < surface.frame.height(); ++y)
            for (int x = 0; x < surface.frame.width(); ++x)
                n += surface.frame.pixel(x, y) == rgb ? 1 : 0;
        return n;
    }

    FakeSurface surface;
    ActivityInd control{surface};
};

// --- Frame, centre and radius ---------------------------------------------------------------

TEST_F(ActivityPaint, EachPaintPresentsTheWholeBufferOnce) {
    control.Paint();
    EXPECT_EQ(surface.presents, 1);
    control.setStyle(3);  // a setter paints at once
    EXPECT_EQ(surface.presents, 2);
    control.setStyle(9);  // background only, still copied to the surface
    EXPECT_EQ(surface.presents, 3);
    EXPECT_EQ(surface.frame.size(), QSize(113, 105));
    EXPECT_EQ(surface.frame, control.buffer());
}

TEST_F(ActivityPaint, FixedHandRunsFromTheCentreUpToTheRimAndNoFurther) {
    paint(1, 0);
    // cy - r = 1: the top row stays clear, the hand occupies column 56 from row 1 to the centre.
    EXPECT_EQ(px(kCx, kCy - kR), kFore);
    EXPECT_EQ(px(kCx, kCy - kR - 1), kBack);
    EXPECT_EQ(px(kCx, kCy - 0.5), kFore);
    EXPECT_EQ(count(kFore), 52);
}

struct RadiusCase {
    int pixels;  // a square control of this many pixels a side
    int topRow;  // where the fixed hand ends: floor(cy - r)
};

class ActivityPaintRadius : public ActivityPaint,
                            public ::testing::WithParamInterface<RadiusCase> {};

TEST_P(ActivityPaintRadius, RadiusLosesASecondPixelUnlessItRoundsUpToEven) {
    surface.widthTw = surface.heightTw = GetParam().pixels * 15.0;
    control.Resize();
    paint(1, 0);
    int top = 0;
    while (top < surface.frame.height() && count(kFore, top + 1) == count(kFore))
        ++top;
    EXPECT_EQ(top, GetParam().topRow);
}

// 106 -> r 51, 107 -> 51.5, 108 -> 52, 109 -> 53.5; the centre is at half the size.
INSTANTIATE_TEST_SUITE_P(Sizes, ActivityPaintRadius,
                         ::testing::Values(RadiusCase{106, 2}, RadiusCase{107, 2},
                                           RadiusCase{108, 2}, RadiusCase{109, 1}));

TEST_F(ActivityPaint, ControlTooSmallForASymbolShowsOnlyTheBackground) {
    surface.widthTw = surface.heightTw = 4 * 15;  // r works out to 0
    control.Resize();
    for (int style = 0; style < 4; ++style) {
        paint(style, 30);
        EXPECT_EQ(count(kBack), 16) << "style " << style;
    }
}

TEST_F(ActivityPaint, StepHundredShowsTheSamePictureAsStepZero) {
    for (int style = 0; style < 4; ++style) {
        const QImage atZero = paint(style, 0);
        EXPECT_EQ(paint(style, 100), atZero) << "style " << style;
    }
}

TEST_F(ActivityPaint, OtherStylesShowAPlainBackground) {
    control.setBackColor(0x00123456);
    for (int style : {4, -1}) {
        paint(3, 10);  // a symbol first, so the clearing is what empties the frame
        paint(style, 10);
        EXPECT_EQ(count(opaque(0x00123456)), 113 * 105) << "style " << style;
    }
}

// --- Style 0: two-coloured disc -------------------------------------------------------------

// ForeColor is not used at all, and BackColor shows only outside the rim.
TEST_F(ActivityPaint, DiscIsBlackAndWhiteWhateverTheColors) {
    const QImage grey = paint(0, 30, kBlue);
    EXPECT_EQ(paint(0, 30, 0x000000FF), grey);
    EXPECT_GT(count(kBlack), 1000);
    EXPECT_GT(count(kWhite), 1000);
    EXPECT_EQ(count(kBlack) + count(kWhite) + count(kBack), 113 * 105);
    EXPECT_EQ(px(0, 0), kBack);

    control.setBackColor(0x00123456);
    const QImage other = paint(0, 30);
    for (int y = 0; y < 105; ++y) {
        for (int x = 0; x < 113; ++x) {
            if (std::hypot(x + 0.5 - kCx, y + 0.5 - kCy) < kR - 1) {
                ASSERT_EQ(other.pixel(x, y), grey.pixel(x, y)) << x << "," << y;
            } else if (other.pixel(x, y) != grey.pixel(x, y)) {
                ASSERT_EQ(other.pixel(x, y), opaque(0x00123456)) << x << "," << y;
            }
        }
    }
}

class ActivityPaintDisc : public ActivityPaint, public ::testing::WithParamInterface<int> {};

// Every pixel more than two pixels from an edge of the figure has the colour of the
// ideal figure: white half counter-clockwise from a, white bulge with a black dot at
// point(r/2, a), black bulge with a white dot opposite, background outside the rim.
TEST_P(ActivityPaintDisc, MatchesTheFigureAwayFromItsEdges) {
    const int step = GetParam();
    paint(0, step);
    const double a = kPi / 2 - step * 2 * kPi / 100;
    const double px0 = kCx + kR / 2 * std::cos(a), py0 = kCy - kR / 2 * std::sin(a);
    const double qx0 = 2 * kCx - px0, qy0 = 2 * kCy - py0;
    int checked = 0;
    for (int y = 0; y < 105; ++y) {
        for (int x = 0; x < 113; ++x) {
            const double fx = x + 0.5, fy = y + 0.5;
            const double d = std::hypot(fx - kCx, fy - kCy);
            const double dp = std::hypot(fx - px0, fy - py0);
            const double dq = std::hypot(fx - qx0, fy - qy0);
            // Distance from the dividing diameter, positive on the white side.
            const double side = std::cos(a) * (kCy - fy) - std::sin(a) * (fx - kCx);
            const double edges[] = {d - kR,       dp - kR / 2,  dq - kR / 2,
                                    dp - kR / 10, dq - kR / 10, side};
            bool nearEdge = false;
            for (double e : edges)
                nearEdge = nearEdge || std::abs(e) < 2.0;
            if (nearEdge)
                continue;
            QRgb want;
            if (d > kR)
                want = kBack;
            else if (dp < kR / 10)
                want = kBlack;
            else if (dq < kR / 10)
                want = kWhite;
            else if (dp < kR / 2)
                want = kWhite;
            else if (dq < kR / 2)
                want = kBlack;
            else
                want = side > 0 ? kWhite : kBlack;
            ASSERT_EQ(px(x, y), want) << "step " << step << " at " << x << "," << y;
            ++checked;
        }
    }
    EXPECT_GT(checked, 8000);  // most of the 11865 pixels
}

// 12, about 2, 3 (phase exactly 0) and about 8 o'clock.
INSTANTIATE_TEST_SUITE_P(Steps, ActivityPaintDisc, ::testing::Values(0, 10, 25, 60));

TEST_F(ActivityPaint, DiscBulgesJoinTheirHalvesWithoutASeam) {
    paint(0, 0);
    // Rows through the bulge centres (cy -/+ r/2): from the rim to the dot the white bulge
    // runs into the white half and the black bulge into the black half.
    for (int x = 14; x <= 50; ++x)
        EXPECT_EQ(px(x, kCy - kR / 2), kWhite) << "x " << x;
    for (int x = 63; x <= 98; ++x)
        EXPECT_EQ(px(x, kCy + kR / 2), kBlack) << "x " << x;
}

// --- Style 1: clock hands -------------------------------------------------------------------

TEST_F(ActivityPaint, MovingHandAppearsOnceStepHasMoved) {
    paint(1, 50);
    EXPECT_EQ(px(kCx, kCy + kR - 0.5), kFore);  // straight down to the bottom row
    EXPECT_EQ(count(kFore, 53), 52);
    paint(1, 0);  // the next frame starts from a clear buffer
    EXPECT_EQ(count(kFore, 53), 0);
    paint(1, 25);
    EXPECT_EQ(px(kCx + kR - 0.5, kCy - 0.5), kFore);  // 3 o'clock
}

// --- Style 2: needle ------------------------------------------------------------------------

TEST_F(ActivityPaint, NeedleAtQuarterPointsToThreeOClock) {
    paint(2, 25);
    // Tip (cx + r, cy) = (108, 52.5), rounded half to even to (108, 52).
    EXPECT_EQ(px(108, 52), kBlack);
    for (int y = 0; y < 105; ++y) {
        if (y != 52) {
            EXPECT_EQ(px(108, y), kBack) << "row " << y;
        }
    }
    EXPECT_EQ(px(109, 52), kBack);
    EXPECT_EQ(px(109, 51), kBack);
    EXPECT_EQ(px(109, 53), kBack);
    EXPECT_EQ(px(80, 52), kFore);  // filled body, left alone by the outline
    // Base r/10 behind the centre at 30 degrees either side of the axis: x = 52.04.
    EXPECT_EQ(px(52, 52), kBlack);
    for (int y = 0; y < 105; ++y) {
        for (int x = 0; x < 113; ++x) {
            if (x < 52 || x > 108 || y < 50 || y > 55) {
                ASSERT_EQ(px(x, y), kBack) << x << "," << y;
            }
        }
    }
}

TEST_F(ActivityPaint, NeedleFillTranslatesASystemForeColor) {
    paint(3, 40);  // ends with a solid fill, which the needle's outline must not reuse
    paint(2, 25, kSystemGrey);
    EXPECT_EQ(px(80, 52), opaque(0x808080));
    EXPECT_EQ(count(opaque(0x808080)) + count(kBlack) + count(kBack), 113 * 105);
}

// --- Style 3: circular arrow ----------------------------------------------------------------

TEST_F(ActivityPaint, ArrowRingHasBlackEdgesAndAnEmptyMiddle) {
    paint(3, 0);
    // Along the row through the centre from the left: background, black outer edge at
    // x = cx - 0.89r = 10.7, ForeColor, black inner edge at cx - 0.45r = 33.3, background.
    const QRgb expected[] = {kBack, kBlack, kFore, kBlack, kBack};
    int starts[5] = {0, -1, -1, -1, -1};
    int stage = 0;
    for (int x = 0; x <= 56; ++x) {
        const QRgb p = px(x, kCy);
        if (p == expected[stage])
            continue;
        ASSERT_LT(stage, 4) << "x " << x;
        ASSERT_EQ(p, expected[++stage]) << "x " << x;
        starts[stage] = x;
    }
    EXPECT_EQ(stage, 4);
    EXPECT_NEAR(starts[1], 10.7, 1.0);
    EXPECT_NEAR(starts[3], 33.3, 1.0);
    EXPECT_EQ(px(kCx, kCy), kBack);
}

TEST_F(ActivityPaint, ArrowHeadPointsClockwiseFromTheStartOfTheRing) {
    paint(3, 0, kSystemGrey);
    const QRgb grey = opaque(0x808080);
    const double a = kPi / 2;
    EXPECT_EQ(polar(0.66 * kR, a + 0.3), grey);   // ring, counter-clockwise from a
    EXPECT_EQ(polar(0.66 * kR, a - 0.25), grey);  // head, clockwise of the ring's start
    EXPECT_EQ(polar(0.66 * kR, a - 0.8), kBack);  // beyond the head's tip at a - 2pi/10
    EXPECT_EQ(polar(0.95 * kR, a + 0.02), grey);  // the head is wider than the ring
    EXPECT_EQ(count(opaque(kSystemGrey)), 0);     // never the untranslated value
}

TEST_F(ActivityPaint, ArrowNotchTakesTheRgbOfASystemBackColor) {
    ASSERT_EQ(control.BackColor(), 0x8000000Fu);
    paint(3, 0);
    const double e = kPi / 2 + 4.9087386 - 2 * kPi;  // tail end, 281.25 degrees on
    EXPECT_EQ(polar(0.66 * kR, e - 0.08), kBack);    // inside the V, as the emptied middle
    EXPECT_EQ(polar(0.66 * kR, e - 0.6), kFore);     // ring before the V
    EXPECT_EQ(polar(0.66 * kR, e + 0.2), kBack);     // gap between tail and head
    EXPECT_EQ(count(opaque(0x0F)), 0);               // never the untranslated value
}

}  // namespace
}  // namespace tarvel::test
