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

// Where the title lines go, and in which size, by the exact client width;
// each shadow sits 3 pixels below and right of its text (the version's 3
// right of its row's x, the text itself 2 left of it).
TEST_F(UiModelTest, TitleLinesByClientWidth) {
    struct Case {
        int width, family, detail;
        const char* windows;
        int titleFont, versionFont, x, y1, y2;
    } cases[] = {
        {640, 4, 64, "Windows ME", -28, -20, 15, 12, 46},   {641, 128, 128, "Windows XP", -34, -26, 19, 25, 71},
        {800, 4, 8, "Windows 95/98", -32, -24, 17, 20, 62}, {801, 128, 128, "Windows XP", -34, -26, 19, 25, 71},
    };
    BackgroundLayout layout;
    for (const Case& c : cases) {
        setupState.osFamily = c.family;
        setupState.osDetail = c.detail;
        ComputeBackgroundLayout(Rect(0, 0, c.width, 740), layout);
        std::string expected = "Quorindel Brooktrout Setup for " + std::string(c.windows) + " (32-bit)";
        EXPECT_EQ(expected, layout.title.text);
        EXPECT_STREQ("Brooktrout Bfv API Version 4.3 (TR114 and Trufax)", layout.version.text);
        const int seen[] = {layout.title.fontHeight, layout.version.fontHeight, layout.title.textX,
                            layout.title.textY,      layout.title.shadowX,      layout.title.shadowY,
                            layout.version.textX,    layout.version.textY,      layout.version.shadowX,
                            layout.version.shadowY,  layout.bands[62].rect.bottom};
        const int wanted[] = {c.titleFont, c.versionFont, c.x, c.y1, c.x + 3, c.y1 + 3, c.x - 2, c.y2, c.x + 1,
                              c.y2 + 3, 740};
        for (int i = 0; i < 11; ++i) EXPECT_EQ(wanted[i], seen[i]) << c.width << " value " << i;
    }
}

TEST(GradientTest, SixtyThreeBlueBandsTileTheHeight) {
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
    EXPECT_EQ(4, Blue(bands[62].colour));
    // An uneven height: edges rounded to the nearest pixel, no gap, no overlap.
    ComputeGradientBands(641, 100, bands);
    EXPECT_EQ(2, bands[0].rect.bottom);  // 100/63 = 1.59
    EXPECT_EQ(3, bands[1].rect.bottom);  // 3.17
    for (int i = 1; i < GRADIENT_BANDS; ++i) EXPECT_EQ(bands[i - 1].rect.bottom, bands[i].rect.top);
    EXPECT_EQ(100, bands[62].rect.bottom);
}

TEST(ProgressBarTest, SplitAndTextFollowThePermille) {
    struct Case {
        int width, permille, split;
        const char* text;
    } cases[] = {{234, 0, 0, ""},    {234, 10, 2, "1 %"},    {234, 455, 106, "45 %"}, {234, 999, 234, "99 %"},
                 {234, 1000, 234, "100 %"}, {201, 455, 91, "45 %"}, {201, 500, 101, "50 %"}};
    for (const Case& c : cases) {
        ProgressBarLayout bar = ComputeProgressBar(Rect(0, 0, c.width, 20), c.permille);
        EXPECT_EQ(c.split, bar.split) << c.permille;
        EXPECT_EQ(c.permille != 0, bar.showText) << c.permille;
        EXPECT_STREQ(c.text, bar.text) << c.permille;
        EXPECT_EQ(c.width / 2, bar.textX);
        EXPECT_EQ(c.width, bar.width);
    }
    EXPECT_EQ(3, ProgressTextTop(ComputeProgressBar(Rect(0, 0, 234, 20), 500), 13));  // (20 - 13) / 2
    // A fresh dialog shows one per cent.
    EXPECT_EQ(10, ShownPermille(0));
    EXPECT_EQ(10, ShownPermille(-5));
    EXPECT_EQ(1, ShownPermille(1));
}

TEST(CenterWindowTest, Positions) {
    RECT main = Rect(0, 0, 1024, 768), offset = Rect(101, 51, 402, 252), odd = Rect(-3, -3, 0, 0);
    RECT small = Rect(0, 0, 640, 480), tiny = Rect(0, 0, 300, 200), minimised = Rect(-32000, -32000, -31840, -31976);
    const CenterRequest plain = {0, 0, 0, 0};
    struct Case {
        RECT window;
        const RECT* main;
        CenterRequest request;
        int x, y;
    } cases[] = {
        {Rect(500, 500, 807, 583), &main, plain, 512 - 153, 384 - 41},  // halves truncate
        {Rect(0, 0, 11, 11), &offset, plain, 101 + 150 - 5, 51 + 100 - 5},
        {Rect(0, 0, 5, 5), &odd, CenterRequest{0, 0, -100, -100}, -4, -4},  // towards zero too
        {Rect(0, 0, 400, 300), nullptr, plain, 312, 234},                   // the screen of 1024 x 768
        {Rect(0, 0, 640, 480), &tiny, plain, 0, 0},                         // minimum edges
        {Rect(0, 0, 100, 100), &tiny, CenterRequest{7, -90, 0, 112}, 107, 112},
        {Rect(0, 0, 100, 100), &minimised, plain, 0, 0},
        {Rect(0, 0, 600, 400), &main, WizardCenterRequest(main), 212, 384 - 200 + 38},  // 768 / 20 = 38.4
        {Rect(0, 0, 600, 400), &small, WizardCenterRequest(small), 20, 112},  // 64, raised to 112
    };
    for (const Case& c : cases) {
        WindowPosition p = ComputeCenteredPosition(c.window, c.main, 1024, 768, c.request);
        EXPECT_EQ(1, p.move);
        EXPECT_EQ(c.x, p.x) << c.x << "," << c.y;
        EXPECT_EQ(c.y, p.y) << c.x << "," << c.y;
    }
    EXPECT_EQ(0, WizardCenterRequest(Rect(0, 0, 100, 19)).dy);

    // An implausible main window leaves the window where it is.
    const RECT window = Rect(0, 0, 100, 100);
    const RECT implausible[] = {Rect(2049, 0, 3000, 700), Rect(0, 2049, 600, 3000), Rect(0, 0, 8193, 600),
                                Rect(0, 0, 600, 8193), Rect(600, 0, 0, 400), Rect(0, 400, 600, 0)};
    for (const RECT& reference : implausible) EXPECT_EQ(0, ComputeCenteredPosition(window, &reference, 0, 0, plain).move);
    RECT atLimit = Rect(2048, 2048, 2048 + 8192, 2048 + 8192);
    EXPECT_EQ(1, ComputeCenteredPosition(window, &atLimit, 0, 0, plain).move);
    EXPECT_EQ(1, ComputeCenteredPosition(window, nullptr, 20000, 20000, plain).move);
}

}  // namespace
