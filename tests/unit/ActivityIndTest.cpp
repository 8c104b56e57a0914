// The indicator control's properties, their persistence and its off-screen buffer.
#include "activity/ActivityInd.h"
#include "platform/PropertyBag.h"
#include "tests/support/Fakes.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Indicator : ::testing::Test {
    void SetUp() override {
        control.InitProperties();
        control.Resize();
        control.ReportPropertyChange = [this](const QString& name) { reports << name; };
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

TEST_F(Indicator, SystemColoursAreStoredAsGivenAndPaintedAsTheDesktopHasThem) {
    EXPECT_EQ(control.XlatColor(0x8000000F), FakeSurface::kButtonFace);
    EXPECT_EQ(control.XlatColor(0x00C00000), 0x00C00000u);
    control.setBackColor(0x8000000F);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);
    EXPECT_EQ(surface.frame.pixel(3, 3), rgbFromColorRef(FakeSurface::kButtonFace));
}

TEST_F(Indicator, BufferFollowsTheControlSize) {
    EXPECT_EQ(control.buffer().size(), QSize(113, 105));
    surface.widthTw = 1500;
    surface.heightTw = 757.5;
    control.Resize();
    EXPECT_DOUBLE_EQ(control.bufferHeight(), 50.5);
    EXPECT_EQ(control.buffer().size(), QSize(100, 50));  // halves to even
}

}  // namespace
}  // namespace tarvel::test
