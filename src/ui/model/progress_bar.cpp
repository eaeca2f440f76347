#include "ui/model/progress_bar.h"

#include "core/format.h"

int ShownPermille(int progress) { return progress > 0 ? progress : 10; }

ProgressBarLayout ComputeProgressBar(const RECT& item, int permille) {
    ProgressBarLayout bar{};
    bar.width = item.right;
    bar.height = item.bottom;
    bar.split = MulDiv(bar.width, permille, 1000);
    bar.showText = permille != 0;
    if (bar.showText) FormatText(bar.text, sizeof bar.text, "%d %%", permille / 10);
    bar.textX = bar.width / 2;
    return bar;
}

int ProgressTextTop(const ProgressBarLayout& bar, int textHeight) { return (bar.height - textHeight) / 2; }
