// A check of a JPEG's Huffman tables made before stb_image (the browser build's decoder)
// reads the file: stb_image builds each table into 257 entries without checking that its
// sixteen counts add up to at most 256, so a damaged table writes past them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dv {

// Walks the markers the way stb_image reads them (padding before the frame, fill bytes,
// the entropy-coded data of every scan with its stuffed bytes and restart markers, tables
// after the first scan of a progressive picture) and fails with one ImageError line on a
// Huffman table of more than 256 codes. Anything else wrong is left to the decoder.
void CheckJpegHuffmanTables(const uint8_t* data, size_t size);

}  // namespace dv
