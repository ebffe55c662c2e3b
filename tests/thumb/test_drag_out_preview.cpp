// The capture's picture as a control, the drag source where the card cannot fly: how it fits and
// paints the picture. Its drag-out is tested with the export it is wired to, in
// tests/app/test_drag_out_export.cpp.
#include "DragOutPreview.h"

#include <gtest/gtest.h>

QT_BEGIN_NAMESPACE
inline void PrintTo(const QRect& r, std::ostream* os) {
    *os << "QRect(" << r.x() << ", " << r.y() << ", " << r.width() << "x" << r.height() << ")";
}
QT_END_NAMESPACE

namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u;

// Left half red, right half green: a mirrored or squeezed picture shows.
TDIB TwoColours(int w, int h) {
    TDIB image(w, h, 32);
    image.FillRect(QRect(0, 0, w / 2, h), kRed, 256);
    image.FillRect(QRect(w / 2, 0, w - w / 2, h), kGreen, 256);
    return image;
}

struct TFitCase {
    const char* name;
    QSize picture, control;
    QRect expected;
};

class PreviewFit : public ::testing::TestWithParam<TFitCase> {};

TEST_P(PreviewFit, KeepsTheAspectAndNeverEnlarges) {
    TFunctionThumbOwner owner;
    TDragOutPreview preview(&owner);
    preview.resize(GetParam().control);
    const QSize size = GetParam().picture;
    preview.SetPicture(size.isEmpty() ? TDIB() : TwoColours(size.width(), size.height()));
    EXPECT_EQ(preview.PictureRect(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PreviewFit,
    ::testing::Values(TFitCase{"WideIntoBox", {1000, 250}, {340, 180}, QRect(0, 47, 340, 85)},
                      TFitCase{"TallIntoBox", {300, 900}, {340, 180}, QRect(140, 0, 60, 180)},
                      TFitCase{"SameAspect", {680, 360}, {340, 180}, QRect(0, 0, 340, 180)},
                      TFitCase{"SmallStaysItsSize", {31, 17}, {340, 180}, QRect(154, 81, 31, 17)},
                      TFitCase{"HairLine", {5000, 2}, {340, 180}, QRect(0, 89, 340, 1)},
                      TFitCase{"NoPicture", {0, 0}, {340, 180}, QRect()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PreviewPaint, ShowsThePictureScaledInItsPlace) {
    TFunctionThumbOwner owner;
    TDragOutPreview preview(&owner);
    preview.resize(200, 100);
    preview.SetPicture(TwoColours(400, 100)); // shown at 200 x 50, from y = 25
    const QImage shot = preview.grab().toImage();
    ASSERT_EQ(shot.size(), QSize(200, 100));
    EXPECT_EQ(shot.pixel(20, 50), kRed);
    EXPECT_EQ(shot.pixel(180, 50), kGreen);
    // Above and below the picture the control shows what lies behind it.
    EXPECT_NE(shot.pixel(20, 10), kRed);
    EXPECT_NE(shot.pixel(180, 90), kGreen);
    // A new picture replaces the shown one, however the control was painted before.
    preview.SetPicture(TwoColours(100, 100));
    const QImage next = preview.grab().toImage();
    EXPECT_EQ(next.pixel(60, 50), kRed);
    EXPECT_EQ(next.pixel(140, 50), kGreen);
    EXPECT_NE(next.pixel(20, 50), kRed);
}

} // namespace
