// A check of an Ogg Vorbis stream's codebooks made before stb_vorbis (the browser build's
// decoder) reads it: stb_vorbis sizes its tables from a codebook's entries times dimensions
// in 32-bit arithmetic, so a damaged header of a few bytes can ask for gigabytes, or wrap
// round to a small table that the next loop writes past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace dv {

// The most values (entries times dimensions) a codebook may hold; the encoders' largest
// hold a few tens of thousands.
constexpr uint64_t kMaxCodebookValues = 1u << 22;

// Checks that the comment header's lengths lie inside it and reads the codebooks of the setup header (the stream's
// third packet) bit for bit as the decoder will, and returns false with `why` set when one holds more than
// kMaxCodebookValues. Anything else wrong is left to the decoder, and so is a stream too
// damaged to reach its codebooks.
bool CheckVorbisCodebooks(const uint8_t* data, size_t size, std::string& why);

}  // namespace dv
