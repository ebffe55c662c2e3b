#include "CodeReader.h"

#include <zbar.h>

std::vector<TFoundCode> ReadCodes(const TDIB& grey) {
    std::vector<TFoundCode> found;
    if (grey.Empty() || grey.BitCount() != 8) return found;
    const int w = grey.Width(), h = grey.Height();
    // zbar wants the rows packed.
    std::vector<uint8_t> packed(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        std::copy_n(grey.PixelPtr(0, y), w, packed.data() + size_t(y) * size_t(w));
    zbar::ImageScanner scanner;
    scanner.set_config(zbar::ZBAR_NONE, zbar::ZBAR_CFG_ENABLE, 1);
    zbar::Image image(unsigned(w), unsigned(h), "Y800", packed.data(), packed.size());
    if (scanner.scan(image) <= 0) return found;
    for (zbar::Image::SymbolIterator s = image.symbol_begin(); s != image.symbol_end(); ++s)
        found.push_back({QString::fromStdString(s->get_type_name()), QString::fromStdString(s->get_data())});
    image.set_data(nullptr, 0);
    return found;
}
