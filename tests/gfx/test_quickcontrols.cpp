// Owner-drawn controls: the image-strip control's cell choice, its painting over what lies behind
// it, and the paint buffer borrowed from the one scratch image.
#include "CommonQuickControls.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A strip of `cells` cells of 10 x 15, cell n filled with the opaque colour 0xFF000000 | (n + 1) * 0x10.
TDIBmp MakeStrip(int cells) {
    TDIBmp strip(cells * 10, 15, 32);
    for (int n = 0; n < cells; ++n)
        strip.FillRect(QRect(n * 10, 0, 10, 15), 0xFF000000u | uint32_t((n + 1) * 0x10));
    strip.SetILCount(cells);
    return strip;
}

// A page that paints a known colour under its children.
class TPage : public QWidget {
  public:
    QColor colour = QColor(0, 0, 200);
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        QPainter(this).fillRect(rect(), colour);
    }
};

QRgb PixelAt(QWidget& w, QPoint p) {
    return w.grab().toImage().pixel(p);
}

TEST(QuickBmpList, ILIndexClampsPositiveCellsAndKeepsPixelOffsets) {
    TQuickBmpList list;
    list.SetGlyph(MakeStrip(1));
    list.SetILIndex(5);
    EXPECT_EQ(list.ILIndex(), 0);
    list.SetGlyph(MakeStrip(4));
    list.SetILIndex(3);
    EXPECT_EQ(list.ILIndex(), 3);
    list.SetILIndex(9);
    EXPECT_EQ(list.ILIndex(), 3);
    list.SetILIndex(-7);
    EXPECT_EQ(list.ILIndex(), -7);
    EXPECT_EQ(list.XOffset(), 7);
    list.SetXOffset(20);
    EXPECT_EQ(list.ILIndex(), -20);
    list.SetILIndex(2);
    EXPECT_EQ(list.XOffset(), 20);
}

TEST(QuickBmpList, NormalModeDrawsTheChosenCellFromItsPixelOffset) {
    TPage page;
    page.resize(40, 30);
    auto* list = new TQuickBmpList(&page);
    list->setGeometry(5, 5, 10, 15);
    list->SetGlyph(MakeStrip(4));
    list->SetILIndex(2);
    EXPECT_EQ(PixelAt(page, {5, 5}), qRgb(0, 0, 0x30));
    // XOffset 25 shows the strip from column 25: cell 2's last 5 columns, then cell 3.
    list->SetXOffset(25);
    EXPECT_EQ(PixelAt(page, {5, 5}), qRgb(0, 0, 0x30));
    EXPECT_EQ(PixelAt(page, {10, 5}), qRgb(0, 0, 0x40));
    // Past the strip's end nothing is drawn: the page shows.
    list->SetXOffset(35);
    EXPECT_EQ(PixelAt(page, {14, 19}), qRgb(0, 0, 200));
}

TEST(QuickBmpList, EmptyGlyphLeavesTheBackgroundInEveryMode) {
    for (TDIBmpDrawMode mode : {TDIBmpDrawMode::dmNormal, TDIBmpDrawMode::dmAlphaBlend}) {
        TPage page;
        page.resize(40, 30);
        auto* list = new TQuickBmpList(&page);
        list->setGeometry(5, 5, 20, 20);
        TDIBmp empty;
        empty.SetDrawMode(mode);
        list->SetGlyph(empty);
        for (uint8_t flags : {uint8_t(0), uint8_t(qfCanvasBackground)}) {
            list->SetQuickFlags(flags);
            EXPECT_EQ(PixelAt(page, {10, 10}), qRgb(0, 0, 200)) << int(mode) << " flags " << int(flags);
        }
    }
}

// A premultiplied half-transparent white over the page's blue: 255*128/255 + 200*(255-128)/255.
TEST(QuickBmpList, AlphaModeBlendsOverWhatLiesBehind) {
    TDIBmp glyph(8, 8, 32);
    glyph.FillRect(QRect(0, 0, 8, 8), 0x80808080u); // alpha 128, premultiplied grey-white
    glyph.FillRect(QRect(4, 0, 4, 8), 0x00000000u); // fully transparent right half
    glyph.SetDrawMode(TDIBmpDrawMode::dmAlphaBlend);
    for (uint8_t flags : {uint8_t(0), uint8_t(qfCanvasBackground)}) {
        TPage page;
        page.resize(30, 30);
        auto* list = new TQuickBmpList(&page);
        list->setGeometry(10, 10, 8, 8);
        list->SetGlyph(glyph);
        list->SetQuickFlags(flags);
        const QImage shot = page.grab().toImage();
        const QRgb half = shot.pixel(11, 11);
        EXPECT_NEAR(qRed(half), 128, 1) << int(flags);
        EXPECT_NEAR(qGreen(half), 128, 1) << int(flags);
        EXPECT_NEAR(qBlue(half), 128 + 200 * 127 / 255, 1) << int(flags);
        EXPECT_EQ(shot.pixel(15, 11), qRgb(0, 0, 200)) << "transparent pixels show the page";
    }
}

TEST(QuickBmpList, SourceListSharesItsStripWithoutCopying) {
    TQuickBmpList source, user;
    source.SetGlyph(MakeStrip(3));
    user.SetGlyph(MakeStrip(1));
    user.SetSourceBmpList(&source);
    EXPECT_TRUE(user.Glyph().SharesWith(source.Glyph()));
    EXPECT_EQ(user.Glyph().CellCount(), 3);
    user.SetSourceBmpList(nullptr);
    EXPECT_TRUE(user.Glyph().Empty()) << "the own strip was dropped when the source took over";
}

TEST(QuickBmpList, ClickReachesTheHandler) {
    TQuickBmpList list;
    list.resize(20, 20);
    int clicks = 0;
    list.OnClick = [&](TQuickBmpList* sender) {
        EXPECT_EQ(sender, &list);
        ++clicks;
    };
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, Qt::LeftButton,
                      {});
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton, {}, {});
    QCoreApplication::sendEvent(&list, &press);
    QCoreApplication::sendEvent(&list, &release);
    EXPECT_EQ(clicks, 1);
    // A release outside the control is no click.
    QMouseEvent away(QEvent::MouseButtonRelease, QPointF(50, 5), QPointF(50, 5), Qt::LeftButton, {}, {});
    QCoreApplication::sendEvent(&list, &press);
    QCoreApplication::sendEvent(&list, &away);
    EXPECT_EQ(clicks, 1);
}

// Records which scratch images the paints borrowed.
class TRecordingControl : public TQuickGraphicControl {
  public:
    using TQuickGraphicControl::TQuickGraphicControl;
    QList<TDIB*> buffers;

  protected:
    void Paint() override {
        for (int i = 0; i < 2; ++i) {
            TDIB* dib = BeginPaintBuffer(ClientRect());
            buffers << dib;
            dib->FillRect(QRect(0, 0, 4, 4), 0xFF00FF00u);
            EndPaintBuffer(ClientRect(), dib);
        }
    }
};

TEST(QuickGraphicControl, PaintsReuseTheOneScratchImage) {
    TPage page;
    page.resize(40, 40);
    auto* a = new TRecordingControl(&page);
    auto* b = new TRecordingControl(&page);
    a->setGeometry(0, 0, 10, 10);
    b->setGeometry(20, 20, 12, 12);
    const QImage shot = page.grab().toImage();
    ASSERT_EQ(a->buffers.size(), 2);
    ASSERT_EQ(b->buffers.size(), 2);
    EXPECT_EQ(a->buffers[0], a->buffers[1]);
    EXPECT_EQ(a->buffers[0], b->buffers[0]);
    EXPECT_EQ(shot.pixel(1, 1), qRgb(0, 255, 0));
    EXPECT_EQ(shot.pixel(8, 8), qRgb(0, 0, 200)) << "the buffer started from the page";
    EXPECT_EQ(shot.pixel(21, 21), qRgb(0, 255, 0));
}

TEST(QuickGraphicControl, BufferedPaintShowsTheParentUnderneath) {
    class TFrameOnly : public TQuickGraphicControl {
      public:
        using TQuickGraphicControl::TQuickGraphicControl;

      protected:
        void Paint() override { Canvas()->fillRect(QRect(0, 0, 2, 2), Qt::red); }
    };
    TPage page;
    page.resize(30, 30);
    auto* c = new TFrameOnly(&page);
    c->setGeometry(10, 10, 10, 10);
    c->SetQuickFlags(qfBuffered | qfParentBackground);
    const QImage shot = page.grab().toImage();
    EXPECT_EQ(shot.pixel(10, 10), qRgb(255, 0, 0));
    EXPECT_EQ(shot.pixel(15, 15), qRgb(0, 0, 200));
}

TEST(QuickGraphicControl, InvalidateOnlyWhileShownAndParented) {
    TQuickGraphicControl orphan;
    orphan.InvalidateRect(QRect(0, 0, 5, 5)); // no parent: nothing, no crash
    int enters = 0;
    orphan.OnMouseEnter = [&](TQuickGraphicControl*) { ++enters; };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&orphan, &enter);
    orphan.setEnabled(false);
    QCoreApplication::sendEvent(&orphan, &enter);
    EXPECT_EQ(enters, 1) << "a disabled control reports no entering mouse";
}

TEST(QuickPaintBox, PaintRunsTheHandlerWithACanvas) {
    TQuickPaintBox box;
    EXPECT_EQ(box.size(), QSize(64, 64));
    box.SetColor(QColor(0x9F, 0xAB, 0xB5));
    int paints = 0;
    box.OnPaint = [&](TQuickPaintBox* sender) {
        ASSERT_NE(sender->Canvas(), nullptr);
        sender->Canvas()->fillRect(QRect(0, 0, 64, 64), sender->Color());
        ++paints;
    };
    const QImage shot = box.grab().toImage();
    EXPECT_GE(paints, 1);
    EXPECT_EQ(shot.pixel(30, 30), qRgb(0x9F, 0xAB, 0xB5));
    EXPECT_EQ(box.Canvas(), nullptr) << "no canvas outside a paint";
}

} // namespace
