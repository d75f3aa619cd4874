// The pixel loops of the blits, each in a plain form that states the rule and
// in SIMD forms that give the same bits faster. The form is chosen once per
// process by what the CPU offers (SSE2 is the x86-64 baseline, AVX2 where
// present); the build itself assumes nothing beyond the baseline.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/graphics.h"

enum BlendPath : uint8_t { BLEND_PLAIN = 0, BLEND_SSE2 = 1, BLEND_AVX2 = 2 };

// The fastest path this CPU runs; the same answer for the whole process.
BlendPath fastest_blend_path();
// Whether this build and this CPU can run `path` (BLEND_PLAIN always).
bool blend_path_available(BlendPath path);
const char* blend_path_name(BlendPath path);

// Alpha mode over count pixels: per channel, the alpha byte included,
// d + floor((s - d) * a / 256) with a the alpha byte of the source pixel.
// dst and src must not overlap. `path` must be available.
void blend_row(BlendPath path, ArgbPixel* dst, const ArgbPixel* src, int64_t count);

// Copies rows of row_bytes from src to dst, each stepping by its own pitch.
// When both blocks are contiguous (row_bytes equals both pitches) the rows go
// over as one block, which lets memcpy take its large-copy path.
void copy_block(void* dst, int64_t dst_pitch, const void* src, int64_t src_pitch,
                size_t row_bytes, int64_t rows);
