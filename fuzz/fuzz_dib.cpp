// libFuzzer target for the image loaders: the first byte picks BMP, stored form, PNG or TGA; the rest
// is the file. Every input must end in a loaded image or one of the library's exceptions, without a
// read or write outside its buffers (AddressSanitizer) and without a huge allocation.
#include "DIBmp.h"

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <new>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray file(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    TDIB dib(3, 2, 24);
    try {
        switch (data[0] % 4) {
        case 0: dib.LoadFromBmpData(file); break;
        case 1: dib.LoadStoredForm(file); break;
        case 2: dib.LoadFromPngData(file); break;
        default: dib.LoadFromTgaData(file); break;
        }
    } catch (const EInvalidGraphicOperation&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // Whatever loaded must be a consistent image: touch every byte and write it out again.
    uint32_t sum = 0;
    for (qsizetype i = 0; i < dib.Size(); ++i)
        sum += dib.Bits()[i];
    const QByteArray again = dib.StoredForm();
    if (!dib.Empty() && again.size() < dib.Size())
        __builtin_trap();
    return int(sum & 0);
}
