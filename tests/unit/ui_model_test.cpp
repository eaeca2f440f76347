// The window-free computations of the main window: where the title lines go.
#include <string>
#include <vector>

#include "core/setup_state.h"
#include "install/progress.h"
#include "ui/model/background.h"
#include "ui/model/placement.h"
#include "support/fixture.h"

namespace {

class UiModelTest : public SetupTest {};

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
        ComputeBackgroundLayout(RECT{0, 0, c.width, 740}, layout);
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

// A 200 x 100 window centred on the 1024 x 768 screen or on the main window,
// kept right of x = 10; a main window of no sane size leaves it where it is.
TEST(PlacementTest, CentredOnTheScreenOrTheMainWindow) {
    struct Case {
        RECT main;
        bool hasMain;
        std::vector<int> expected;  // move, x, y
    } cases[] = {
        {{}, false, {1, 412, 334}},
        {{100, 50, 100, 650}, true, {1, 10, 300}},  // no width yet
        {{0, 0, -1, 600}, true, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        WindowPosition seen = ComputeCenteredPosition(RECT{0, 0, 200, 100}, c.hasMain ? &c.main : nullptr, 1024, 768,
                                                      CenterRequest{0, 0, 10, 0});
        EXPECT_EQ(c.expected, (std::vector<int>{seen.move, seen.x, seen.y})) << c.main.left << "," << c.main.right;
    }
    // Rounded to the nearest, never past the end.
    EXPECT_EQ((std::vector<int>{999, 667, 1000}),
              (std::vector<int>{ProgressPermille(999, 1000), ProgressPermille(2, 3), ProgressPermille(5, 4)}));
}

}  // namespace
