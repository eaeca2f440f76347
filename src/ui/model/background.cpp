#include "ui/model/background.h"

#include "core/format.h"
#include "core/names.h"
#include "core/text.h"
#include "core/windows_version.h"

BackgroundRow ChooseBackgroundRow(int clientWidth) {
    if (clientWidth <= 640) return BackgroundRow{-28, -20, 15, 12, 46};
    // Only a screen of exactly 800 pixels gets the middle size.
    if (clientWidth == 800) return BackgroundRow{-32, -24, 17, 20, 62};
    return BackgroundRow{-34, -26, 19, 25, 71};
}

void ComputeGradientBands(int width, int height, GradientBand bands[GRADIENT_BANDS]) {
    for (int i = 0; i < GRADIENT_BANDS; ++i) {
        GradientBand& band = bands[i];
        band.rect.left = 0;
        band.rect.top = MulDiv(height, i, GRADIENT_BANDS);
        band.rect.right = width;
        band.rect.bottom = MulDiv(height, i + 1, GRADIENT_BANDS);
        band.colour = RGB(0, 0, MulDiv(255, GRADIENT_BANDS - i, GRADIENT_BANDS));
    }
}

void ComputeBackgroundLayout(const RECT& client, BackgroundLayout& layout) {
    int width = client.right - client.left;
    int height = client.bottom;
    layout.row = ChooseBackgroundRow(width);
    ComputeGradientBands(width, height, layout.bands);
    const BackgroundRow& row = layout.row;

    TitleLine& title = layout.title;
    title.fontHeight = row.titleFontHeight;
    FormatText(title.text, sizeof title.text, LoadText(IDS_TITLE_LINE), LoadText(IDS_COMPANY_PRODUCT),
               LoadText(WindowsName()));
    title.shadowX = row.x + 3;
    title.shadowY = row.y1 + 3;
    title.textX = row.x;
    title.textY = row.y1;

    // The second line's white text starts two pixels left of the first's;
    // both shadows lie three pixels right of and below their text.
    TitleLine& version = layout.version;
    version.fontHeight = row.versionFontHeight;
    FormatText(version.text, sizeof version.text, LoadText(IDS_VERSION_LINE), LoadText(IDS_API_VERSION));
    version.shadowX = row.x + 1;
    version.shadowY = row.y2 + 3;
    version.textX = row.x - 2;
    version.textY = row.y2;
}
