// Procedural pictures for the showcase's ten sample files.
//
// Every picture is painted in floating point, straight (not premultiplied)
// alpha, and only then squeezed into the file layout it is meant for
// (sample_files.cpp). Nothing here is random: the same build paints the same
// pixels every time.
#pragma once

#include <cstdint>
#include <vector>

namespace samples {

// One colour, every channel 0 to 1, alpha not multiplied in.
struct Rgba {
    float r = 0;
    float g = 0;
    float b = 0;
    float a = 0;
};

// Top-down rows of width x height colours.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;
};

// Top-down rows of palette indices with their palette (0xRRGGBB entries).
struct IndexedPicture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> palette;
    std::vector<uint8_t> indices;
};

// Sizes. The six pictures of the row sit W / 6 apart, about 227 px on a
// 1366-wide desktop, so they stay a little narrower than that. The 24-bit
// picture is one pixel wider so that its rows need filler bytes.
inline constexpr int kRowWidth = 200;
inline constexpr int kRowHeight = 150;
inline constexpr int kPaddedRowWidth = 201;
inline constexpr int kPlotWidth = 240;   // drawn pixel by pixel below the row
inline constexpr int kPlotHeight = 160;
inline constexpr int kSpriteSide = 96;

// A night sky with a moon, as a grey level in `r` from 0 (the palette's dark
// colour) to 1 (its light colour); alpha 1. Meant for two-colour dithering.
Picture paint_moon();

// The sixteen colours of the sunset and a sunset built from mixes of them.
std::vector<uint32_t> sunset_palette();
Picture paint_sunset();

// A Mandelbrot detail with a smooth 256-colour palette; index 0 is the set.
IndexedPicture paint_fractal();

// Ripples of two wave sources interfering, in blues and violets.
Picture paint_waves();

// Glossy spheres with soft shadows over a dusk gradient; opaque.
Picture paint_bubbles();

// A six-petal flower with a feathered edge and a soft drop shadow on a
// transparent ground.
Picture paint_flower();

// Rainbow glass rings around a faint glow; mostly translucent.
Picture paint_halo();

// A bevelled five-pointed star in a soft orange glow.
Picture paint_star();

// Truchet tiles of shaded tubes in a dark frame; opaque.
Picture paint_truchet();

// A red and white chequered ball with a soft edge: the bouncing sprite.
Picture paint_ball();

}  // namespace samples
