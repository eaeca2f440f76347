// The window-free computations of the user interface: background layout and
// gradient, progress bar, window centring and the wizard's offset.
#include <string>

#include "core/setup_state.h"
#include "ui/model/background.h"
#include "ui/model/placement.h"
#include "ui/model/progress_bar.h"
#include "support/platform.h"

namespace {

class UiModelTest : public SetupTest {};

int Blue(COLORREF colour) { return static_cast<int>((colour >> 16) & 0xFF); }

RECT Rect(int left, int top, int right, int bottom) {
    RECT rect;
    rect.left = left;
    rect.top = top;
    rect.right = right;
    rect.bottom = bottom;
    return rect;
}

std::string RowAt(int width) {
    BackgroundRow row = ChooseBackgroundRow(width);
    return std::to_string(row.titleFontHeight) + " " + std::to_string(row.versionFontHeight) + " " +
           std::to_string(row.x) + " " + std::to_string(row.y1) + " " + std::to_string(row.y2);
}

TEST(BackgroundRowTest, ChosenByExactClientWidth) {
    EXPECT_EQ("-28 -20 15 12 46", RowAt(640));
    EXPECT_EQ("-28 -20 15 12 46", RowAt(0));
    EXPECT_EQ("-34 -26 19 25 71", RowAt(641));
    EXPECT_EQ("-34 -26 19 25 71", RowAt(799));
    EXPECT_EQ("-32 -24 17 20 62", RowAt(800));
    EXPECT_EQ("-34 -26 19 25 71", RowAt(801));
    EXPECT_EQ("-34 -26 19 25 71", RowAt(1024));
}

TEST(GradientTest, SixtyThreePixelsGiveOnePixelBands) {
    GradientBand bands[GRADIENT_BANDS];
    ComputeGradientBands(1024, 63, bands);
    for (int i = 0; i < GRADIENT_BANDS; ++i) {
        EXPECT_EQ(0, bands[i].rect.left);
        EXPECT_EQ(1024, bands[i].rect.right);
        EXPECT_EQ(i, bands[i].rect.top);
        EXPECT_EQ(i + 1, bands[i].rect.bottom);
        EXPECT_EQ(0u, bands[i].colour & 0xFFFF) << "only blue";
    }
    EXPECT_EQ(255, Blue(bands[0].colour));
    EXPECT_EQ(251, Blue(bands[1].colour));
    EXPECT_EQ(247, Blue(bands[2].colour));
    EXPECT_EQ(4, Blue(bands[62].colour));
}

TEST(GradientTest, BandsTileAnyHeightWithRoundedEdges) {
    GradientBand bands[GRADIENT_BANDS];
    ComputeGradientBands(800, 630, bands);
    for (int i = 0; i < GRADIENT_BANDS; ++i) EXPECT_EQ(10, bands[i].rect.bottom - bands[i].rect.top);
    EXPECT_EQ(255, Blue(bands[0].colour));
    EXPECT_EQ(4, Blue(bands[62].colour));

    // An uneven height: edges rounded to the nearest pixel, no gap, no overlap.
    ComputeGradientBands(641, 100, bands);
    EXPECT_EQ(0, bands[0].rect.top);
    EXPECT_EQ(2, bands[0].rect.bottom);  // 100/63 = 1.59
    EXPECT_EQ(3, bands[1].rect.bottom);  // 3.17
    for (int i = 1; i < GRADIENT_BANDS; ++i) EXPECT_EQ(bands[i - 1].rect.bottom, bands[i].rect.top);
    EXPECT_EQ(100, bands[62].rect.bottom);
}

TEST_F(UiModelTest, TitleLinesNameTheWindowsVersionAndSitOnTheirShadows) {
    setupState.osFamily = 128;
    setupState.osDetail = 128;
    BackgroundLayout layout;
    ComputeBackgroundLayout(Rect(0, 0, 1024, 740), layout);
    EXPECT_STREQ("Quorindel Brooktrout Setup for Windows XP (32-bit)", layout.title.text);
    EXPECT_STREQ("Brooktrout Bfv API Version 4.3 (TR114 and Trufax)", layout.version.text);
    EXPECT_EQ(-34, layout.title.fontHeight);
    EXPECT_EQ(-26, layout.version.fontHeight);
    EXPECT_EQ(19, layout.title.textX);
    EXPECT_EQ(25, layout.title.textY);
    EXPECT_EQ(22, layout.title.shadowX);
    EXPECT_EQ(28, layout.title.shadowY);
    EXPECT_EQ(17, layout.version.textX);
    EXPECT_EQ(71, layout.version.textY);
    EXPECT_EQ(20, layout.version.shadowX);
    EXPECT_EQ(74, layout.version.shadowY);
    EXPECT_EQ(740, layout.bands[62].rect.bottom);

    setupState.osFamily = 4;
    setupState.osDetail = 64;
    ComputeBackgroundLayout(Rect(0, 0, 640, 480), layout);
    EXPECT_STREQ("Quorindel Brooktrout Setup for Windows ME (32-bit)", layout.title.text);
    EXPECT_EQ(15, layout.title.textX);
    EXPECT_EQ(13, layout.version.textX);
    EXPECT_EQ(49, layout.version.shadowY);

    setupState.osDetail = 8;
    ComputeBackgroundLayout(Rect(0, 0, 800, 600), layout);
    EXPECT_STREQ("Quorindel Brooktrout Setup for Windows 95/98 (32-bit)", layout.title.text);
    EXPECT_EQ(-32, layout.title.fontHeight);
}

// ---- progress bar -------------------------------------------------------------

TEST(ProgressBarTest, SplitAndTextFollowThePermille) {
    RECT item = Rect(0, 0, 234, 20);
    struct Case {
        int permille;
        int split;
        const char* text;
    } cases[] = {{0, 0, ""}, {10, 2, "1 %"}, {455, 106, "45 %"}, {1000, 234, "100 %"}, {999, 234, "99 %"}};
    for (const Case& c : cases) {
        ProgressBarLayout bar = ComputeProgressBar(item, c.permille);
        EXPECT_EQ(c.split, bar.split) << c.permille;  // 234 * 0.455 = 106.47
        EXPECT_EQ(c.permille != 0, bar.showText) << c.permille;
        EXPECT_STREQ(c.text, bar.text) << c.permille;
        EXPECT_EQ(117, bar.textX);
    }
    EXPECT_EQ(234, ComputeProgressBar(item, 1000).width);
    EXPECT_EQ(3, ProgressTextTop(ComputeProgressBar(item, 500), 13));  // (20 - 13) / 2
    // Rounded to the nearest pixel: 201 * 0.455 = 91.46, 201 * 0.5 = 100.5.
    EXPECT_EQ(91, ComputeProgressBar(Rect(0, 0, 201, 13), 455).split);
    EXPECT_EQ(101, ComputeProgressBar(Rect(0, 0, 201, 13), 500).split);
}

TEST(ProgressBarTest, FreshDialogShowsOnePerCent) {
    EXPECT_EQ(10, ShownPermille(0));
    EXPECT_EQ(10, ShownPermille(-5));
    EXPECT_EQ(1, ShownPermille(1));
    EXPECT_EQ(1000, ShownPermille(1000));
    EXPECT_STREQ("1 %", ComputeProgressBar(Rect(0, 0, 100, 10), ShownPermille(0)).text);
}

// ---- centring ------------------------------------------------------------------

const CenterRequest kShortForm = {0, 0, 0, 0};

TEST(CenterWindowTest, CentresOnTheMainWindowWithTruncatingHalves) {
    RECT main = Rect(0, 0, 1024, 768);
    WindowPosition p = ComputeCenteredPosition(Rect(500, 500, 807, 583), &main, 0, 0, kShortForm);
    EXPECT_EQ(1, p.move);
    EXPECT_EQ(512 - 153, p.x);  // 307 / 2 = 153
    EXPECT_EQ(384 - 41, p.y);   // 83 / 2 = 41

    RECT offset = Rect(101, 51, 402, 252);  // 301 x 201
    p = ComputeCenteredPosition(Rect(0, 0, 11, 11), &offset, 0, 0, kShortForm);
    EXPECT_EQ(101 + 150 - 5, p.x);
    EXPECT_EQ(51 + 100 - 5, p.y);

    // Negative halves truncate towards zero too.
    RECT odd = Rect(-3, -3, 0, 0);
    p = ComputeCenteredPosition(Rect(0, 0, 5, 5), &odd, 0, 0, CenterRequest{0, 0, -100, -100});
    EXPECT_EQ(-3 + 1 - 2, p.x);
    EXPECT_EQ(-4, p.y);
}

TEST(CenterWindowTest, WithoutMainWindowTheScreenIsTheReference) {
    WindowPosition p = ComputeCenteredPosition(Rect(0, 0, 400, 300), nullptr, 1024, 768, kShortForm);
    EXPECT_EQ(1, p.move);
    EXPECT_EQ(312, p.x);
    EXPECT_EQ(234, p.y);
}

TEST(CenterWindowTest, MinimumEdgesKeepTheWindowOnScreen) {
    RECT main = Rect(0, 0, 300, 200);
    WindowPosition p = ComputeCenteredPosition(Rect(0, 0, 640, 480), &main, 0, 0, kShortForm);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
    p = ComputeCenteredPosition(Rect(0, 0, 100, 100), &main, 0, 0, CenterRequest{7, -90, 0, 112});
    EXPECT_EQ(107, p.x);
    EXPECT_EQ(112, p.y);
}

TEST(CenterWindowTest, ImplausibleMainWindowLeavesTheWindowAlone) {
    RECT window = Rect(0, 0, 100, 100);
    RECT farRight = Rect(2049, 0, 3000, 700);
    EXPECT_EQ(0, ComputeCenteredPosition(window, &farRight, 0, 0, kShortForm).move);
    RECT farDown = Rect(0, 2049, 600, 3000);
    EXPECT_EQ(0, ComputeCenteredPosition(window, &farDown, 0, 0, kShortForm).move);
    RECT atLimit = Rect(2048, 2048, 2048 + 8192, 2048 + 8192);
    EXPECT_EQ(1, ComputeCenteredPosition(window, &atLimit, 0, 0, kShortForm).move);
    RECT tooWide = Rect(0, 0, 8193, 600);
    EXPECT_EQ(0, ComputeCenteredPosition(window, &tooWide, 0, 0, kShortForm).move);
    RECT tooHigh = Rect(0, 0, 600, 8193);
    EXPECT_EQ(0, ComputeCenteredPosition(window, &tooHigh, 0, 0, kShortForm).move);
    RECT inverted = Rect(600, 0, 0, 400);
    EXPECT_EQ(0, ComputeCenteredPosition(window, &inverted, 0, 0, kShortForm).move);
    // A minimised main window sits far off to the left and top: allowed, and
    // the minimum edges bring the window back.
    RECT minimised = Rect(-32000, -32000, -31840, -31976);
    WindowPosition p = ComputeCenteredPosition(window, &minimised, 0, 0, kShortForm);
    EXPECT_EQ(1, p.move);
    EXPECT_EQ(0, p.x);
    EXPECT_EQ(0, p.y);
    // The screen case has no such limits.
    EXPECT_EQ(1, ComputeCenteredPosition(window, nullptr, 20000, 20000, kShortForm).move);
}

TEST(CenterWindowTest, WizardSitsATwentiethBelowCentreAndNeverAbove112) {
    RECT main = Rect(0, 0, 1024, 768);
    CenterRequest request = WizardCenterRequest(main);
    EXPECT_EQ(0, request.dx);
    EXPECT_EQ(38, request.dy);  // 768 / 20 = 38.4
    EXPECT_EQ(0, request.minLeft);
    EXPECT_EQ(112, request.minTop);
    WindowPosition p = ComputeCenteredPosition(Rect(0, 0, 600, 400), &main, 0, 0, request);
    EXPECT_EQ(212, p.x);
    EXPECT_EQ(384 - 200 + 38, p.y);

    RECT small = Rect(0, 0, 640, 480);
    p = ComputeCenteredPosition(Rect(0, 0, 600, 400), &small, 0, 0, WizardCenterRequest(small));
    EXPECT_EQ(20, p.x);
    EXPECT_EQ(112, p.y);  // 240 - 200 + 24 = 64, raised to 112
    EXPECT_EQ(0, WizardCenterRequest(Rect(0, 0, 100, 19)).dy);
}

}  // namespace
