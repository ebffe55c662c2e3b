// Covering part of a picture for good: the pixelated box of the overlay's redaction tools.
//
// A plain mosaic averages the pixels it covers, and a mosaic of text can be read back by trying the
// candidate words until their mosaic matches. Here no covered pixel takes part: each block's colour is
// made from the pixels just outside the box (the ring one pixel wide around it, leaving out pixels that
// lie outside the picture or under any other covering box), blended across the box by distance and
// mixed with a fixed noise. The same surroundings always give the same blocks, so the overlay and the
// saved picture show identical pixels.
#pragma once

#include "DibOps.h"

#include <QRect>

#include <cstdint>
#include <span>
#include <vector>

namespace Redaction {

// Blocks are never smaller than this.
inline constexpr int MinBlockSize = 10;
// Where no pixel around a box can be used (a box over the whole picture).
inline constexpr uint32_t NeutralColour = 0xFF808080u;

struct TBlocks {
    QRect box;    // picture pixels covered
    int size = 0; // block edge in pixels
    int columns = 0, rows = 0;
    std::vector<uint32_t> colours; // 0xFFRRGGBB, row by row
};

// The blocks for a box of the picture (24 or 32 bits). `covered` lists the other boxes whose pixels must
// not be read either. blockSize below MinBlockSize is taken as MinBlockSize.
TBlocks SampleBlocks(const DibOps::ConstView& picture, const QRect& box, int blockSize,
                     std::span<const QRect> covered);

// Paints the blocks, opaque, onto v whose pixel (0, 0) is the picture's pixel `origin`, within clip
// (v's coordinates; clipped to v as well).
void PaintBlocks(const DibOps::View& v, const TBlocks& blocks, QPoint origin, const QRect& clip);

} // namespace Redaction
