// The indicator control's properties, their persistence and the off-screen buffer.
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

TEST_F(Indicator, StepIsClampedAndReadBackClamped) {
    control.setStep(-5);
    EXPECT_EQ(control.Step(), 0);
    control.setStep(250);
    EXPECT_EQ(control.Step(), 100);
    EXPECT_EQ(reports, (QStringList{"Step", "Step"}));
}

TEST_F(Indicator, UnchangedStepDoesNotRepaintButStillReports) {
    control.setStep(40);
    const int presents = surface.presents;
    control.setStep(40);
    EXPECT_EQ(surface.presents, presents);
    EXPECT_EQ(reports.count("Step"), 2);
}

TEST_F(Indicator, OtherSettersRepaintBeforeReturningEvenWhenUnchanged) {
    control.setStyle(0);
    EXPECT_EQ(surface.presents, 1);
    control.setBackColor(0x8000000F);
    EXPECT_EQ(surface.presents, 2);
    control.setForeColor(0x00500000);
    EXPECT_EQ(surface.presents, 3);
    EXPECT_EQ(reports, (QStringList{"Style", "BackColor", "ForeColor"}));
}

TEST_F(Indicator, AnyStyleIsStoredAndAnUnknownOneShowsOnlyTheBackground) {
    control.setBackColor(0x00123456);
    control.setStyle(7);
    EXPECT_EQ(control.Style(), 7);
    ASSERT_FALSE(surface.frame.isNull());
    EXPECT_EQ(surface.frame.pixel(0, 0), rgbFromColorRef(0x00123456));
    EXPECT_EQ(surface.frame.pixel(56, 52), rgbFromColorRef(0x00123456));
}

TEST_F(Indicator, SystemColoursAreTranslatedOnlyWherePlainRgbIsNeeded) {
    EXPECT_EQ(control.XlatColor(0x8000000F), FakeSurface::kButtonFace);
    EXPECT_EQ(control.XlatColor(0x00C00000), 0x00C00000u);
    control.setBackColor(0x8000000F);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);  // stored as given
    EXPECT_EQ(surface.frame.pixel(3, 3), rgbFromColorRef(FakeSurface::kButtonFace));
}

TEST_F(Indicator, LoadingAStoredLayoutFillsTheMissingEntriesWithDefaults) {
    MemoryPropertyBag stored({{"Style", 3}, {"ForeColor", 0x00C00000}});
    control.ReadProperties(stored);
    EXPECT_EQ(control.Style(), 3);
    EXPECT_EQ(control.Step(), 0);
    EXPECT_EQ(control.BackColor(), 0x8000000Fu);
    EXPECT_EQ(control.ForeColor(), 0x00C00000u);
    EXPECT_TRUE(reports.isEmpty());
    MemoryPropertyBag saved;
    control.WriteProperties(saved);
    EXPECT_EQ(saved.entries(), stored.entries());
}

TEST_F(Indicator, StoredStepOutsideItsRangeIsKeptWithinIt) {
    control.ReadProperties(MemoryPropertyBag({{"Step", 400}}));
    EXPECT_EQ(control.Step(), 100);
    control.ReadProperties(MemoryPropertyBag({{"Step", -70000}}));
    EXPECT_EQ(control.Step(), 0);
}

TEST_F(Indicator, BufferFollowsTheControlSize) {
    EXPECT_DOUBLE_EQ(control.bufferWidth(), 113.0);
    EXPECT_DOUBLE_EQ(control.bufferHeight(), 105.0);
    EXPECT_EQ(control.buffer().size(), QSize(113, 105));
    surface.widthTw = 1500;
    surface.heightTw = 757.5;
    control.Resize();
    EXPECT_DOUBLE_EQ(control.bufferHeight(), 50.5);
    EXPECT_EQ(control.buffer().size(), QSize(100, 50));  // halves to even
}

}  // namespace
}  // namespace tarvel::test
