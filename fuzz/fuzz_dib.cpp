// libFuzzer target for the image loaders: the first byte picks BMP, stored form, PNG or TGA; the rest
// is the file. Every input must end in a loaded image or one of the library's exceptions, without a
// read or write outside its buffers (AddressSanitizer) and without a huge allocation.
#include "DIBmp.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TDIB dib(3, 2, 24);
    try {
        switch (data[0] % 4) {
        case 0:
            dib.LoadFromBmpData(file);
            break;
        case 1:
            dib.LoadStoredForm(file);
            break;
        case 2:
            dib.LoadFromPngData(file);
            break;
        default:
            dib.LoadFromTgaData(file);
            break;
        }
    } catch (const EInvalidGraphicOperation&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // Small 24/32-bit results also go through the pixel operations with parameters taken from the
    // input, so odd rectangles, masks, factors and quadrangles meet the loops too.
    if ((dib.BitCount() == 24 || dib.BitCount() == 32) && dib.Width() * qint64(dib.Height()) <= 4096 &&
        size > 24) {
        const uint8_t* q = data + size - 24;
        auto sv = [&](int i) { return int(int8_t(q[i])); };
        const QRect r(sv(0), sv(1), sv(2), sv(3));
        dib.FillRect(r, 0x80402010u * q[4], q[5]);
        dib.Tint(r, 0x01010101u * q[6]);
        dib.BoxFilter(r, QSize(sv(7), sv(8)), QPoint(sv(9), sv(10)));
        dib.Blur(r, QSize(q[11] % 24, q[12] % 24), q[13] % 3);
        TDIB other(1 + q[14] % 40, 1 + q[15] % 40, dib.BitCount());
        const double f = (q[16] + 1) / 32.0, g = (q[17] + 1) / 40.0;
        dib.ResizeSqr(other, r, TInterpolation(1 << (q[18] % 5)), f, g, sv(19), sv(20),
                      QRect(-3, -3, 50, 50));
        dib.Resize(other, QRect(0, 0, dib.Width(), dib.Height()), r, TInterpolation(1 << (q[21] % 5)));
        dib.CopyRectBorder(other, sv(22), sv(23), r, QMargins(q[0] % 5, q[1] % 5, q[2] % 5, q[3] % 5),
                           q[4] & 1);
        dib.CopyRect(other, sv(5), sv(6), r);
        dib.AlphaDraw(other, sv(7), sv(8), r, q[9]);
        if (dib.BitCount() == 32) {
            const std::array<QPointF, 4> a = {QPointF(sv(0), sv(1)), QPointF(sv(2) * 2, sv(3)),
                                              QPointF(sv(4), sv(5) * 3), QPointF(sv(6), sv(7))};
            const std::array<QPointF, 4> b = {QPointF(0, 0), QPointF(sv(8), sv(9)), QPointF(40, 40),
                                              QPointF(sv(10), 30)};
            dib.WarpQuad(other, r, QRect(0, 0, 40, 40), a, b, TInterpolation(1 << (q[11] % 3)));
            dib.PremultiplyAlpha(r);
        }
        dib.Grow(QMargins(sv(12) % 9, sv(13) % 9, sv(14) % 9, sv(15) % 9), TMarginFill(q[16] % 3 - 1),
                 0xFF00FF00u);
    }
    // Whatever loaded must be a consistent image: touch every byte and write it out again.
    uint32_t sum = 0;
    for (qsizetype i = 0; i < dib.Size(); ++i)
        sum += dib.Bits()[i];
    const QByteArray again = dib.StoredForm();
    if (!dib.Empty() && again.size() < dib.Size()) __builtin_trap();
    return int(sum & 0);
}
