// Shared pieces of the export tests: composed captures, independent decoders (libpng, libjpeg, zlib,
// libwebp, libavif used directly, never through the code under test) and small process helpers.
#pragma once

#include "DIBmp.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QStringList>

#include <vector>

// A free-form capture of w x h: a disc of straight colour (the same picture in every test: a red/blue
// split so channel swaps show) with a soft edge, transparent outside; premultiplied 32-bit. `flat` is
// the 24-bit version over grey "frosted" surroundings.
struct TComposedCapture {
    TDIB capture;
    TDIB flat;
};
TComposedCapture ComposeLassoCapture(int w, int h);
// An opaque gradient of w x h (24 or 32 bits) with no symmetry.
TDIB ComposeGradient(int w, int h, int bitCount);

struct TDecodedPng {
    bool ok = false;
    int width = 0, height = 0, bitDepth = 0, colorType = -1, interlace = -1;
    int channels = 0;
    std::vector<uint8_t> pixels; // rows of R,G,B(,A), as stored
    std::vector<int> rowFilters; // the filter byte of every row
    int zlibLevelField = -1;     // FLEVEL bits of the zlib stream header (3 = maximum compression)
};
TDecodedPng DecodePng(const QByteArray& file);

struct TDecodedJpeg {
    bool ok = false;
    int width = 0, height = 0, components = 0;
    bool progressive = false;
    std::vector<uint16_t> lumaQuant; // the first quantisation table, natural order
    std::vector<uint8_t> pixels;     // R,G,B rows
};
TDecodedJpeg DecodeJpeg(const QByteArray& file);
// The luminance table libjpeg makes for a quality.
std::vector<uint16_t> ExpectedLumaQuant(int quality);

// A WebP or AVIF file decoded by its own library into straight R,G,B,A rows.
struct TDecodedPicture {
    bool ok = false;
    int width = 0, height = 0;
    bool hasAlpha = false;
    bool lossless = false;       // WebP: the lossless bitstream (VP8L); AVIF: the identity matrix
    bool fullChroma = false;     // AVIF: 4:4:4 (WebP: always false)
    std::vector<uint8_t> pixels; // R,G,B,A rows (alpha 255 without an alpha plane)
};
TDecodedPicture DecodeWebp(const QByteArray& file);
TDecodedPicture DecodeAvif(const QByteArray& file);

// A device that accepts `limit` bytes and then refuses every write, like a disk that fills up.
class TFailingDevice : public QIODevice {
  public:
    TFailingDevice(QIODevice* inner, qint64 limit) : inner_(inner), limit_(limit) {
        open(QIODevice::WriteOnly);
    }
    qint64 written() const { return written_; }

  protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override {
        if (written_ + size > limit_) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        written_ += size;
        return inner_ ? inner_->write(data, size) : size;
    }

  private:
    QIODevice* inner_;
    qint64 limit_;
    qint64 written_ = 0;
};

// Runs a program to its end with a time limit; returns its exit code (-1 when it could not run) and
// its standard output.
int RunTool(const QString& program, const QStringList& args, QByteArray* out = nullptr,
            int timeoutMs = 30000);
bool HaveTool(const QString& program);
QByteArray ReadAll(const QString& path);
