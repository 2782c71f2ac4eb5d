#include "export/PrintLayout.h"

#include <gtest/gtest.h>

namespace quav {
namespace {

int Count(void (PrintLayout::*op)(), PrintLayout& layout)
{
    int changes = 0;
    for (int i = 0; i < 200; ++i) {
        const PrintRect before = layout.Preview();
        (layout.*op)();
        if (layout.Preview() == before) {
            break;
        }
        ++changes;
    }
    return changes;
}

TEST(PrintLayout, StartsInLandscapeWithTheSmallMiniatureInTheCorner)
{
    PrintLayout l;
    EXPECT_TRUE(l.Landscape);
    EXPECT_EQ(l.Shape, (PrintRect{58, 16, 148, 105}));
    EXPECT_EQ(l.Preview(), (PrintRect{60, 18, 50, 40}));
    l.SetPortrait();
    EXPECT_EQ(l.Shape, (PrintRect{80, 16, 105, 148}));
    EXPECT_EQ(l.Preview(), (PrintRect{82, 18, 50, 40}));
}

TEST(PrintLayout, ZoomGrowsUntilEitherBoundWouldBeLeft)
{
    PrintLayout landscape;
    EXPECT_EQ(Count(&PrintLayout::zplu, landscape), 7) << "18 + 96 + 8 exceeds 118";
    EXPECT_EQ(landscape.Preview(), (PrintRect{60, 18, 120, 96}));
    PrintLayout portrait;
    portrait.SetPortrait();
    EXPECT_EQ(Count(&PrintLayout::zplu, portrait), 5) << "82 + 100 + 10 exceeds 182";
    EXPECT_EQ(portrait.Preview(), (PrintRect{82, 18, 100, 80}));
}

TEST(PrintLayout, ZoomOutStopsAtFiftyByForty)
{
    PrintLayout l;
    l.zmin();
    EXPECT_EQ(l.Preview(), (PrintRect{60, 18, 50, 40}));
    l.zplu();
    EXPECT_EQ(l.Preview(), (PrintRect{60, 18, 60, 48}));
    l.zmin();
    EXPECT_EQ(l.Preview(), (PrintRect{60, 18, 50, 40}));
}

TEST(PrintLayout, MovesStopAtTheBounds)
{
    PrintLayout l;
    EXPECT_EQ(Count(&PrintLayout::xplu, l), 47);
    EXPECT_EQ(l.PreviewLeft, 154) << "154 + 50 = 204";
    Count(&PrintLayout::xmin, l);
    EXPECT_EQ(l.PreviewLeft, 60);
    Count(&PrintLayout::yplu, l);
    EXPECT_EQ(l.PreviewTop, 78) << "78 + 40 = 118";
    Count(&PrintLayout::ymin, l);
    EXPECT_EQ(l.PreviewTop, 18);
}

TEST(PrintLayout, CentrePresetsAndTheRightBoundInPortrait)
{
    PrintLayout l;
    l.Center();
    EXPECT_EQ(l.Preview(), (PrintRect{70, 20, 120, 96}));
    l.SetPortrait();
    l.Center();
    EXPECT_EQ(l.Preview(), (PrintRect{82, 52, 100, 80}));
    l.xplu();
    EXPECT_EQ(l.PreviewLeft, 82) << "the centred miniature touches the right bound";
    EXPECT_EQ(l.BoundRight, 182);
}

TEST(PrintLayout, OrientationChangeDiscardsPositionAndSize)
{
    PrintLayout l;
    l.zplu();
    l.xplu();
    l.SetPortrait();
    EXPECT_EQ(l.Preview(), (PrintRect{82, 18, 50, 40}));
    l.SetLandscape();
    EXPECT_EQ(l.Preview(), (PrintRect{60, 18, 50, 40}));
}

TEST(PrintLayout, PrintAreaUsesTruncatingIntegerArithmetic)
{
    PrintLayout l;
    EXPECT_EQ(l.PrintArea(3000, 2000), (PrintRect{40, 38, 1013, 761}));
    l.SetPortrait();
    EXPECT_EQ(l.PrintArea(2000, 3000).left, 2000 * 2 / 105);
    // A printer of very high resolution does not overflow the products.
    PrintLayout big;
    big.Center();
    const PrintRect r = big.PrintArea(20'000'000, 20'000'000);
    EXPECT_EQ(r.width, std::int32_t(std::int64_t(20'000'000) * 120 / 148));
    EXPECT_GT(r.left, 0);
}

} // namespace
} // namespace quav
