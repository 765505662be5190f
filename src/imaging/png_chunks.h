// A check of a PNG's chunk lengths made before stb_image (the browser build's decoder) reads the
// file: stb_image grows its buffer to the length an IDAT chunk claims before reading it, so a few
// bytes claiming a chunk of 2 GB cost 2 GB.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dv {

// Fails with one ImageError line when the bytes do not start with the PNG signature or a chunk
// before IEND claims more bytes than the file has left. Anything else wrong is left to the
// decoder.
void CheckPngChunks(const uint8_t* data, size_t size);

}  // namespace dv
