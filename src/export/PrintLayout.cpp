#include "export/PrintLayout.h"

namespace quav {

namespace {

constexpr std::int32_t MinWidth = 50;
constexpr std::int32_t MinHeight = 40;
constexpr std::int32_t MoveStep = 2;

// Scales a panel length onto the printer. The products are formed in 64 bits, so a
// high-resolution printer cannot overflow them; the results are the same as in 32 bits
// wherever those did not overflow.
std::int32_t Scale(std::int32_t device, std::int32_t panel, std::int32_t outline)
{
    if (outline == 0) {
        return 0;
    }
    return static_cast<std::int32_t>(std::int64_t(device) * panel / outline);
}

} // namespace

// The outline of the sheet and the bounds of the miniature on it, per orientation.
struct Preset
{
    PrintRect shape;
    std::int32_t boundLeft, boundRight, boundTop, boundBottom;
};
constexpr Preset LandscapePreset{{58, 16, 148, 105}, 60, 204, 18, 118};
constexpr Preset PortraitPreset{{80, 16, 105, 148}, 82, 182, 18, 162};

void PrintLayout::SetLandscape()
{
    Apply(LandscapePreset, true);
}

void PrintLayout::SetPortrait()
{
    Apply(PortraitPreset, false);
}

void PrintLayout::Apply(const Preset& preset, bool landscape)
{
    // The small miniature in the top-left corner of the outline, two pixels inside it.
    Landscape = landscape;
    Shape = preset.shape;
    PreviewLeft = preset.boundLeft;
    PreviewTop = preset.boundTop;
    PreviewWidth = MinWidth;
    PreviewHeight = MinHeight;
    ZoomStepWidth = 10;
    ZoomStepHeight = 8;
    BoundLeft = preset.boundLeft;
    BoundRight = preset.boundRight;
    BoundTop = preset.boundTop;
    BoundBottom = preset.boundBottom;
}

void PrintLayout::ymin()
{
    if (PreviewTop - MoveStep >= BoundTop) {
        PreviewTop -= MoveStep;
    }
}

void PrintLayout::yplu()
{
    if (PreviewTop + MoveStep + PreviewHeight <= BoundBottom) {
        PreviewTop += MoveStep;
    }
}

void PrintLayout::xmin()
{
    if (PreviewLeft - MoveStep >= BoundLeft) {
        PreviewLeft -= MoveStep;
    }
}

void PrintLayout::xplu()
{
    if (PreviewLeft + MoveStep + PreviewWidth <= BoundRight) {
        PreviewLeft += MoveStep;
    }
}

void PrintLayout::zmin()
{
    if (PreviewWidth > MinWidth && PreviewHeight > MinHeight) {
        PreviewWidth -= ZoomStepWidth;
        PreviewHeight -= ZoomStepHeight;
    }
}

void PrintLayout::zplu()
{
    if (PreviewLeft + PreviewWidth + ZoomStepWidth <= BoundRight &&
        PreviewTop + PreviewHeight + ZoomStepHeight <= BoundBottom) {
        PreviewWidth += ZoomStepWidth;
        PreviewHeight += ZoomStepHeight;
    }
}

void PrintLayout::Center()
{
    if (Landscape) {
        PreviewLeft = 70;
        PreviewTop = 20;
        PreviewWidth = 120;
        PreviewHeight = 96;
    } else {
        PreviewLeft = 82;
        PreviewTop = 52;
        PreviewWidth = 100;
        PreviewHeight = 80;
    }
}

PrintRect PrintLayout::PrintArea(std::int32_t pw, std::int32_t ph) const
{
    return {Scale(pw, PreviewLeft - Shape.left, Shape.width), Scale(ph, PreviewTop - Shape.top, Shape.height),
            Scale(pw, PreviewWidth, Shape.width), Scale(ph, PreviewHeight, Shape.height)};
}

} // namespace quav
