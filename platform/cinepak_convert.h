#pragma once
// Pixels into the Cinepak compressor's vector space: each 2x2 block of BGRA pixels becomes the
// chroma the decoder's inverse implies on average and, per pixel, the luma that minimises
// the RGB error given that chroma. The wide versions do the same operations in the same
// order per block, so every version gives the same vectors.
#include <cstddef>
#include <cstdint>

#include "platform/cinepak_vq.h"

#if defined(__SSE2__) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define CINEPAK_HAVE_WIDE_CONVERT 1
#endif

namespace cinepak {

// One block: top and bottom point to its two pixels in each row. grey: luma only.
void convertBlock(const uint8_t* top, const uint8_t* bottom, bool grey, Vec& v);

#if defined(__SSE2__)
// Four horizontally adjacent blocks; top and bottom point to eight pixels each.
void convertFourBlocks(const uint8_t* top, const uint8_t* bottom, bool grey, Vec* const out[4]);
#endif

#if defined(CINEPAK_HAVE_WIDE_CONVERT)
// Whether this processor runs convertEightBlocks.
bool haveAvx2();
// Two rows of four blocks: upper and lower point to the top pixel rows of the two block rows,
// each followed rowBytes later by its second row; out[0..3] take the upper row.
void convertEightBlocks(const uint8_t* upper, const uint8_t* lower, size_t rowBytes, bool grey,
                        Vec* const out[8]);
#endif

}  // namespace cinepak
