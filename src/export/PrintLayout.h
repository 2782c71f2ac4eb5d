#pragma once

#include <cstdint>

namespace quav {

struct Preset;

/// A rectangle in pixels: left, top, width, height.
struct PrintRect
{
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    friend bool operator==(const PrintRect&, const PrintRect&) = default;
};

/// Where the page goes on the printed sheet: a miniature of the page placed on the outline
/// of the sheet in the print panel, in panel pixels. Every operation keeps the miniature
/// inside its bounds and in the page's 5 : 4 proportion, from 50 x 40 upwards.
class PrintLayout
{
public:
    PrintLayout() { SetLandscape(); }

    /// The landscape outline and the small miniature in its top-left corner.
    void SetLandscape();
    /// The portrait outline and the small miniature in its top-left corner.
    void SetPortrait();

    // Moves by two pixels; ignored where the miniature would leave its bounds.
    void ymin();
    void yplu();
    void xmin();
    void xplu();
    // Zoom by one step, keeping the top-left corner.
    void zmin();
    void zplu();
    /// The centred preset of the orientation.
    void Center();

    /// The miniature's place on the outline scaled onto a printable area of
    /// `printableWidth` x `printableHeight` device pixels, in integer arithmetic.
    PrintRect PrintArea(std::int32_t printableWidth, std::int32_t printableHeight) const;

    bool Landscape = true;
    PrintRect Shape; ///< the sheet outline
    std::int32_t PreviewLeft = 0;
    std::int32_t PreviewTop = 0;
    std::int32_t PreviewWidth = 0;
    std::int32_t PreviewHeight = 0;
    std::int32_t ZoomStepWidth = 10;
    std::int32_t ZoomStepHeight = 8;
    std::int32_t BoundLeft = 0;
    std::int32_t BoundRight = 0;
    std::int32_t BoundTop = 0;
    std::int32_t BoundBottom = 0;

    PrintRect Preview() const { return {PreviewLeft, PreviewTop, PreviewWidth, PreviewHeight}; }

private:
    void Apply(const Preset& preset, bool landscape);
};

} // namespace quav
