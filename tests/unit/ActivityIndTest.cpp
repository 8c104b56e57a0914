// The indicator control: its properties, their persistence, its off-screen buffer, and its
// pictures pixel by pixel on the 113 x 105 pixel control of the main window: centre (56.5, 52.5),
// radius 51.5, BackColor the button face.
#include "activity/ActivityInd.h"
#include "platform/PropertyBag.h"
#include "tests/support/Fakes.h"

#include <QPointF>

#include <gtest/gtest.h>

#include <cmath>

namespace tarvel::test {
namespace {

constexpr double kCx = 56.5, kCy = 52.5, kR = 51.5, kPi = 3.14159265358979;
constexpr quint32 kBlue = 0x00C00000;        // the main window's ForeColor
constexpr quint32 kSystemGrey = 0x80000005;  // FakeSurface gives 0x808080 for every index but 15

QRgb opaque(quint32 colorRef) {
    return rgbFromColorRef(colorRef) | 0xFF000000;
}
const QRgb kBack = opaque(FakeSurface::kButtonFace), kFore = opaque(kBlue),
           kBlack = opaque(0x000000), kWhite = opaque(0xFFFFFF), kGrey = opaque(0x808080);

// The point at distance d (in radii) and angle theta (counter-clockwise from 3 o'clock).
QPointF polar(double d, double theta) {
    return {kCx + d * kR * std::cos(theta), kCy - d * kR * std::sin(theta)};
}

struct Indicator : ::testing::Test {
    void SetUp() override {
        control.InitProperties();
        control.Resize();
        control.ReportPropertyChange = [this](const QString& name) { reports << name; };
    }
    const QImage& paint(qint32 style, qint32 step, quint32 fore = kBlue) {
        control.setStyle(style);
        control.setForeColor(fore);
        control.setStep(step);
        control.Paint();
        return surface.frame;
    }
    QRgb px(QPointF p) const {
        return surface.frame.pixel(static_cast<int>(std::floor(p.x())),
                                   static_cast<int>(std::floor(p.y())));
    }
    int count(QRgb rgb) const {
        int n = 0;
        for (int y = 0; y < surface.frame.height(); ++y)
            for (int x = 0; x < surface.frame.width(); ++x)
                n += surface.frame.pixel(x, y) == rgb ? 1 : 0;
        return n;
    }
    FakeSurface surface;
    ActivityInd control{surface};
    QStringList reports;
};

TEST_F(Indicator, NewControlHasTheDefaultsAndStoresNoEntry) {
    EXPECT_EQ(control.Style(), 0);
    EXPECT_EQ(control.Step(), 0);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);
    EXPECT_EQ(control.ForeColor(), 0x00500000u);
    EXPECT_EQ(surface.presents, 0);  // a new control does not paint by itself
    MemoryPropertyBag bag;
    control.WriteProperties(bag);
    EXPECT_TRUE(bag.entries().isEmpty());
}

// Every setter repaints before it returns and reports its property, except that Step repaints
// only when it changes; Step is kept within 0 to 100.
TEST_F(Indicator, SettersRepaintAndReport) {
    control.setStyle(0);
    control.setBackColor(0x8000000F);
    control.setForeColor(0x00500000);
    EXPECT_EQ(surface.presents, 3);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);  // a system colour is kept as given
    control.setStep(250);
    EXPECT_EQ(control.Step(), 100);
    control.setStep(100);
    EXPECT_EQ(surface.presents, 4);
    control.setStep(-5);
    EXPECT_EQ(control.Step(), 0);
    EXPECT_EQ(reports, (QStringList{"Style", "BackColor", "ForeColor", "Step", "Step", "Step"}));
}

TEST_F(Indicator, StoredLayoutIsReadWithDefaultsAndAStepKeptInRange) {
    const MemoryPropertyBag stored({{"Style", 3}, {"ForeColor", 0x00C00000}});
    control.ReadProperties(stored);
    EXPECT_EQ(control.Style(), 3);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);
    EXPECT_EQ(control.ForeColor(), 0x00C00000u);
    EXPECT_TRUE(reports.isEmpty());
    MemoryPropertyBag saved;
    control.WriteProperties(saved);
    EXPECT_EQ(saved.entries(), stored.entries());
    for (const auto& [step, kept] : {std::pair{400, 100}, std::pair{-70000, 0}}) {
        control.ReadProperties(MemoryPropertyBag({{"Step", step}}));
        EXPECT_EQ(control.Step(), kept);
    }
}

TEST_F(Indicator, BufferFollowsTheControlSize) {
    EXPECT_EQ(control.buffer().size(), QSize(113, 105));
    surface.widthTw = 1500;
    surface.heightTw = 757.5;
    control.Resize();
    EXPECT_DOUBLE_EQ(control.bufferHeight(), 50.5);
    EXPECT_EQ(control.buffer().size(), QSize(100, 50));  // halves to even
}

TEST_F(Indicator, SymbolsHaveTheirShapesAndColours) {
    const double top = kPi / 2, tail = top + 4.9087386 - 2 * kPi;  // the arrow's two ends
    const struct {
        const char* what;
        int style, step;
        quint32 fore;
        QPointF at;
        QRgb expected;
    } rows[] = {
        {"hand reaches the rim", 1, 0, kBlue, {kCx, kCy - kR}, kFore},
        {"and no further", 1, 0, kBlue, {kCx, kCy - kR - 1}, kBack},
        {"moving hand at half", 1, 50, kBlue, {kCx, kCy + kR - 0.5}, kFore},
        {"no moving hand at 0", 1, 0, kBlue, {kCx, kCy + kR - 0.5}, kBack},
        {"moving hand at a quarter", 1, 25, kBlue, {kCx + kR - 0.5, kCy - 0.5}, kFore},
        {"needle tip", 2, 25, kBlue, {108, 52}, kBlack},
        {"beyond the tip", 2, 25, kBlue, {109, 52}, kBack},
        {"needle body", 2, 25, kBlue, {80, 52}, kFore},
        {"needle base", 2, 25, kBlue, {52, 52}, kBlack},
        {"needle in a system colour", 2, 25, kSystemGrey, {80, 52}, kGrey},
        {"ring counter-clockwise of the start", 3, 0, kSystemGrey, polar(0.66, top + 0.3), kGrey},
        {"head clockwise of the start", 3, 0, kSystemGrey, polar(0.66, top - 0.25), kGrey},
        {"past the head's tip", 3, 0, kSystemGrey, polar(0.66, top - 0.8), kBack},
        {"head wider than the ring", 3, 0, kSystemGrey, polar(0.95, top + 0.02), kGrey},
        {"inside the tail's notch", 3, 0, kBlue, polar(0.66, tail - 0.08), kBack},
        {"gap between tail and head", 3, 0, kBlue, polar(0.66, tail + 0.2), kBack},
    };
    for (const auto& row : rows) {
        paint(3, 40);  // ends with a solid fill that the next picture must not reuse
        paint(row.style, row.step, row.fore);
        EXPECT_EQ(px(row.at), row.expected) << row.what;
        // System colours are painted as the desktop has them, never as their index.
        EXPECT_EQ(count(opaque(kSystemGrey)) + count(opaque(0x8000000F)), 0) << row.what;
    }
}

TEST_F(Indicator, ArrowRingHasBlackEdgesAroundItsColour) {
    paint(3, 0);
    // Along the row through the centre: background, black edge at cx - 0.89r, ForeColor, black
    // edge at cx - 0.45r, background.
    QList<QRgb> runs;
    QList<int> starts;
    for (int x = 0; x <= 56; ++x) {
        if (runs.isEmpty() || runs.last() != px({x + 0.5, kCy})) {
            runs << px({x + 0.5, kCy});
            starts << x;
        }
    }
    ASSERT_EQ(runs, (QList<QRgb>{kBack, kBlack, kFore, kBlack, kBack}));
    EXPECT_NEAR(starts[1], kCx - 0.89 * kR, 1.0);
    EXPECT_NEAR(starts[3], kCx - 0.45 * kR, 1.0);
}

// Every pixel more than two pixels from an edge of the figure has the ideal figure's colour:
// a white half counter-clockwise from angle a, a white bulge with a black dot at (r/2, a), a
// black bulge with a white dot opposite, the background outside the rim. ForeColor plays no part.
TEST_F(Indicator, DiscMatchesTheFigureAwayFromItsEdges) {
    for (const int step : {0, 10, 25, 60}) {
        const QImage blue = paint(0, step, kBlue);
        EXPECT_EQ(paint(0, step, 0x000000FF), blue) << "step " << step;
        const double a = kPi / 2 - step * 2 * kPi / 100;
        const QPointF p = polar(0.5, a), q = polar(0.5, a + kPi);
        int checked = 0;
        for (int y = 0; y < 105; ++y) {
            for (int x = 0; x < 113; ++x) {
                const QPointF f(x + 0.5, y + 0.5);
                const double d = std::hypot(f.x() - kCx, f.y() - kCy);
                const double dp = std::hypot(f.x() - p.x(), f.y() - p.y());
                const double dq = std::hypot(f.x() - q.x(), f.y() - q.y());
                const double side = std::cos(a) * (kCy - f.y()) - std::sin(a) * (f.x() - kCx);
                bool nearEdge = false;
                for (double e :
                     {d - kR, dp - kR / 2, dq - kR / 2, dp - kR / 10, dq - kR / 10, side})
                    nearEdge = nearEdge || std::abs(e) < 2.0;
                if (nearEdge)
                    continue;
                const QRgb want = d > kR         ? kBack
                                  : dp < kR / 10 ? kBlack
                                  : dq < kR / 10 ? kWhite
                                  : dp < kR / 2  ? kWhite
                                  : dq < kR / 2  ? kBlack
                                  : side > 0     ? kWhite
                                                 : kBlack;
                ASSERT_EQ(px(f), want) << "step " << step << " at " << x << "," << y;
                ++checked;
            }
        }
        EXPECT_GT(checked, 8000);
    }
    // No seam where a bulge joins its half: rows through the bulges' centres at step 0.
    paint(0, 0);
    for (int x = 14; x <= 50; ++x)
        EXPECT_EQ(px({x + 0.5, kCy - kR / 2}), kWhite) << "x " << x;
    for (int x = 63; x <= 98; ++x)
        EXPECT_EQ(px({x + 0.5, kCy + kR / 2}), kBlack) << "x " << x;
}

TEST_F(Indicator, FullSweepOtherStylesAndTinyControlsShowWhatTheyShould) {
    for (int style = 0; style < 4; ++style)
        EXPECT_EQ(paint(style, 100), paint(style, 0)) << "style " << style;
    control.setBackColor(0x00123456);
    for (const int style : {4, -1}) {
        paint(style, 10);
        EXPECT_EQ(count(opaque(0x00123456)), 113 * 105) << "style " << style;
    }
    surface.widthTw = surface.heightTw = 4 * 15;  // the radius works out to 0
    control.Resize();
    for (int style = 0; style < 4; ++style) {
        paint(style, 30);
        EXPECT_EQ(count(opaque(0x00123456)), 16) << "style " << style;
    }
}

}  // namespace
}  // namespace tarvel::test
