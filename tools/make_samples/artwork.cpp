#include "tools/make_samples/artwork.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace samples {
namespace {

constexpr float kPi = 3.14159265358979f;

// Sub-samples per pixel along each axis: 4 x 4 samples give clean edges at
// any slope without blurring the shapes.
constexpr int kSamplesPerAxis = 4;

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

float smoothstep(float edge0, float edge1, float v) {
    const float t = clamp01((v - edge0) / (edge1 - edge0));
    return t * t * (3.0f - 2.0f * t);
}

float mixf(float p, float q, float t) { return p + (q - p) * t; }

Rgba rgb(uint32_t hex, float alpha = 1.0f) {
    return {static_cast<float>((hex >> 16) & 0xFF) / 255.0f, static_cast<float>((hex >> 8) & 0xFF) / 255.0f,
            static_cast<float>(hex & 0xFF) / 255.0f, alpha};
}

Rgba grey(float level) { return {level, level, level, 1.0f}; }

Rgba mix(Rgba p, Rgba q, float t) {
    return {mixf(p.r, q.r, t), mixf(p.g, q.g, t), mixf(p.b, q.b, t), mixf(p.a, q.a, t)};
}

Rgba scaled(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }

Rgba with_alpha(Rgba c, float alpha) { return {c.r, c.g, c.b, alpha}; }

// Adds light to a colour (a highlight), leaving alpha alone.
Rgba lit(Rgba c, float amount) {
    return {clamp01(c.r + amount), clamp01(c.g + amount), clamp01(c.b + amount), c.a};
}

// Porter-Duff "over" for straight alpha.
Rgba over(Rgba top, Rgba under) {
    const float alpha = top.a + under.a * (1.0f - top.a);
    if (alpha <= 0.0f) return {};
    const float keep = under.a * (1.0f - top.a);
    return {(top.r * top.a + under.r * keep) / alpha, (top.g * top.a + under.g * keep) / alpha,
            (top.b * top.a + under.b * keep) / alpha, alpha};
}

// Piecewise-linear colour ramp through (position, colour) stops in rising order.
template <size_t N>
Rgba ramp(const std::array<std::pair<float, uint32_t>, N>& stops, float t) {
    if (t <= stops.front().first) return rgb(stops.front().second);
    for (size_t i = 1; i < N; ++i) {
        if (t <= stops[i].first) {
            const float span = stops[i].first - stops[i - 1].first;
            return mix(rgb(stops[i - 1].second), rgb(stops[i].second), (t - stops[i - 1].first) / span);
        }
    }
    return rgb(stops.back().second);
}

Rgba hsv(float hue, float saturation, float value) {
    const float h = (hue - std::floor(hue)) * 6.0f;
    auto channel = [&](float offset) {
        const float k = std::fmod(offset + h, 6.0f);
        return value - value * saturation * clamp01(std::min(k, 4.0f - k));
    };
    return {channel(5.0f), channel(3.0f), channel(1.0f), 1.0f};
}

// A fixed integer hash (a variant of the "lowbias32" mixer): the stand-in for
// randomness, so that every run paints the same stars and tiles.
uint32_t hash2(int x, int y, uint32_t seed) {
    uint32_t h = static_cast<uint32_t>(x) * 0x8DA6B343u ^ static_cast<uint32_t>(y) * 0xD8163841u ^ seed;
    h ^= h >> 16;
    h *= 0x7FEB352Du;
    h ^= h >> 15;
    h *= 0x846CA68Bu;
    h ^= h >> 16;
    return h;
}

struct Vec3 {
    float x, y, z;
};

float dot(Vec3 p, Vec3 q) { return p.x * q.x + p.y * q.y + p.z * q.z; }

Vec3 normalised(Vec3 v) {
    const float length = std::sqrt(dot(v, v));
    return {v.x / length, v.y / length, v.z / length};
}

// Surface normal of a sphere of radius `radius` seen from the front, at the
// offset (dx, dy) from its centre (y pointing down the picture).
Vec3 sphere_normal(float dx, float dy, float radius) {
    const float nx = dx / radius;
    const float ny = dy / radius;
    return {nx, ny, std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny))};
}

// Blinn-Phong specular term for a viewer straight in front.
float specular(Vec3 normal, Vec3 light, float power) {
    const Vec3 halfway = normalised({light.x, light.y, light.z + 1.0f});
    return std::pow(std::max(0.0f, dot(normal, halfway)), power);
}

// Paints by sampling `shade(x, y)` at kSamplesPerAxis^2 points in every pixel
// and averaging them with alpha multiplied in, so that a shape's edge comes
// out antialiased and a transparent sample lends the average no colour.
template <class Shade>
Picture render(int width, int height, Shade shade) {
    Picture picture{width, height, std::vector<Rgba>(static_cast<size_t>(width) * height)};
    constexpr float kStep = 1.0f / kSamplesPerAxis;
    constexpr float kSamples = kSamplesPerAxis * kSamplesPerAxis;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Rgba sum;
            for (int j = 0; j < kSamplesPerAxis; ++j) {
                for (int i = 0; i < kSamplesPerAxis; ++i) {
                    const Rgba c = shade(x + (i + 0.5f) * kStep, y + (j + 0.5f) * kStep);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                }
            }
            Rgba& out = picture.pixels[static_cast<size_t>(y) * width + x];
            if (sum.a > 0.0f) out = {sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / kSamples};
        }
    }
    return picture;
}

}  // namespace

Picture paint_moon() {
    constexpr float kCx = 126.0f, kCy = 64.0f, kRadius = 44.0f;
    const Vec3 light = normalised({-0.5f, -0.3f, 0.8f});
    struct Crater {
        float u, v, radius;
    };
    // Positions on the disc, in units of its radius.
    constexpr std::array<Crater, 7> kCraters{{{-0.35f, -0.30f, 0.16f},
                                              {0.20f, -0.45f, 0.10f},
                                              {-0.10f, 0.35f, 0.20f},
                                              {0.45f, 0.15f, 0.12f},
                                              {-0.55f, 0.20f, 0.08f},
                                              {0.05f, -0.05f, 0.07f},
                                              {0.30f, 0.55f, 0.09f}}};
    constexpr int kCell = 11;  // at most one star per cell

    Picture picture = render(kRowWidth, kRowHeight, [&](float x, float y) {
        // A dark hill line along the bottom.
        const float ground = 130.0f + 5.0f * std::sin(x * 0.045f + 0.5f) + 2.0f * std::sin(x * 0.17f + 1.3f);
        if (y > ground) return grey(0.0f);

        const float dx = x - kCx, dy = y - kCy;
        const float distance = std::sqrt(dx * dx + dy * dy);
        if (distance <= kRadius) {
            const Vec3 normal = sphere_normal(dx, dy, kRadius);
            float albedo = 0.95f;
            // Darker seas, then craters: a dark floor and a bright rim.
            albedo -= 0.25f * smoothstep(0.45f, 0.15f, std::hypot(normal.x + 0.15f, normal.y - 0.1f));
            for (const Crater& c : kCraters) {
                const float d = std::hypot(normal.x - c.u, normal.y - c.v) / c.radius;
                if (d < 1.0f) albedo *= 0.7f;
                else if (d < 1.25f) albedo *= 1.12f;
            }
            const float light_level = std::max(0.0f, dot(normal, light));
            // Earthshine keeps the night side faintly visible.
            return grey(clamp01(0.10f + 0.92f * light_level * albedo));
        }
        // A black sky, the moon's halo and a glow along the hills. Any
        // faint grey all over would dither into dust that hides the stars.
        const float level = 0.30f * std::exp(-(distance - kRadius) / 7.0f) + 0.45f * std::exp(-(ground - y) / 7.0f);
        return grey(clamp01(level));
    });

    // Stars go in afterwards as whole pixels, so the dithering cannot smear
    // them; a few bright ones get short rays.
    for (int cell_y = 0; cell_y * kCell < kRowHeight; ++cell_y) {
        for (int cell_x = 0; cell_x * kCell < kRowWidth; ++cell_x) {
            const uint32_t h = hash2(cell_x, cell_y, 0x51A25u);
            if (h % 100 >= 55) continue;
            const int sx = cell_x * kCell + 1 + static_cast<int>((h >> 8) % (kCell - 2));
            const int sy = cell_y * kCell + 1 + static_cast<int>((h >> 16) % (kCell - 2));
            if (sx >= kRowWidth - 1 || sy >= 112 || std::hypot(sx - kCx, sy - kCy) < kRadius + 12.0f) continue;
            auto put = [&](int px, int py, float level) {
                Rgba& p = picture.pixels[static_cast<size_t>(py) * kRowWidth + px];
                p = grey(std::max(p.r, level));
            };
            put(sx, sy, 1.0f);
            if ((h >> 24) % 7 == 0) {
                put(sx - 1, sy, 0.8f);
                put(sx + 1, sy, 0.8f);
                put(sx, sy - 1, 0.8f);
                put(sx, sy + 1, 0.8f);
            }
        }
    }
    return picture;
}

std::vector<uint32_t> sunset_palette() {
    return {
        0x0C0A1E,  // 0 night
        0x24174A,  // 1 sky, top
        0x4B2470,  // 2
        0x8A3476,  // 3
        0xCF5468,  // 4
        0xF08A4B,  // 5
        0xFAC86E,  // 6 sky at the horizon
        0xFFF0B0,  // 7 sun
        0x8E4A80,  // 8 far ridge
        0x5A2D68,  // 9 middle ridge
        0x2E1A48,  // 10 near hills
        0x3A3C7E,  // 11 water, light
        0x262A5E,  // 12 water
        0x161838,  // 13 water, deep
        0xFFD890,  // 14 glint
        0xB04E6E,  // 15 glow on the water
    };
}

Picture paint_sunset() {
    const std::vector<uint32_t> palette = sunset_palette();
    auto entry = [&](int index) { return rgb(palette[static_cast<size_t>(index)]); };
    constexpr float kHorizon = 104.0f;
    constexpr float kSunX = 134.0f, kSunY = 90.0f, kSunRadius = 22.0f;
    constexpr std::array<std::pair<float, uint32_t>, 6> kSky{
        {{0.0f, 0x24174A}, {0.30f, 0x4B2470}, {0.55f, 0x8A3476}, {0.75f, 0xCF5468}, {0.90f, 0xF08A4B},
         {1.0f, 0xFAC86E}}};
    constexpr std::array<std::pair<float, uint32_t>, 4> kWater{
        {{0.0f, 0xB04E6E}, {0.35f, 0x262A5E}, {0.75f, 0x161838}, {1.0f, 0x0C0A1E}}};

    return render(kRowWidth, kRowHeight, [&](float x, float y) {
        if (y < kHorizon) {
            const float near_hills = kHorizon - 24.0f * std::exp(-std::pow((x - 22.0f) / 38.0f, 2.0f)) -
                                     14.0f * std::exp(-std::pow((x - 192.0f) / 30.0f, 2.0f));
            if (y > near_hills) return entry(10);
            const float middle = 90.0f + 8.0f * std::sin(x * 0.027f + 2.6f) + 3.0f * std::sin(x * 0.094f + 0.4f);
            if (y > middle) return mix(entry(9), entry(10), clamp01((y - middle) / 30.0f));
            const float far = 80.0f + 7.0f * std::sin(x * 0.041f + 0.8f) + 4.0f * std::sin(x * 0.113f + 2.0f);
            if (y > far) return mix(entry(8), entry(9), clamp01((y - far) / 24.0f));
            const float sun = std::hypot(x - kSunX, y - kSunY);
            if (sun < kSunRadius) return mix(entry(7), entry(6), smoothstep(kSunRadius - 5.0f, kSunRadius, sun));
            // The sky brightens towards the horizon and around the sun.
            const float glow = 0.18f * std::exp(-(sun - kSunRadius) / 30.0f);
            return ramp(kSky, clamp01(y / kHorizon + glow));
        }
        const float depth = (y - kHorizon) / (kRowHeight - kHorizon);
        Rgba water = ramp(kWater, depth);
        // Broken streaks of the sun's reflection, narrowing towards us.
        const int row = static_cast<int>(y);
        const float half_width = (4.0f + 22.0f * (1.0f - depth)) * (0.55f + 0.45f * std::sin(row * 1.9f));
        const float wobble = 3.0f * std::sin(row * 0.7f);
        if (row % 3 != 2 && std::fabs(x - kSunX - wobble) < half_width) {
            water = mix(entry(14), entry(5), depth);
        } else if (row % 4 == 0 && std::fabs(x - kSunX + wobble * 8.0f) < half_width * 2.5f) {
            water = mix(water, entry(11), 0.8f);
        }
        return water;
    });
}

IndexedPicture paint_fractal() {
    IndexedPicture picture{kRowWidth, kRowHeight, {}, {}};
    // Entry 0 is the set itself; 1 to 255 run once round a ramp from deep
    // blue through white and amber to black and back, so the cycle has no seam.
    constexpr std::array<std::pair<float, uint32_t>, 6> kCycle{
        {{0.0f, 0x000764}, {0.16f, 0x206BCB}, {0.42f, 0xEDFFFF}, {0.6425f, 0xFFAA00}, {0.8575f, 0x000200},
         {1.0f, 0x000764}}};
    picture.palette.push_back(0x0A0820);
    for (int i = 1; i < 256; ++i) {
        const Rgba c = ramp(kCycle, static_cast<float>(i - 1) / 255.0f);
        auto byte = [](float v) { return static_cast<uint32_t>(std::lround(v * 255.0f)); };
        picture.palette.push_back(byte(c.r) << 16 | byte(c.g) << 8 | byte(c.b));
    }

    constexpr double kCentreX = -0.7435, kCentreY = 0.1314, kSpan = 0.01;  // seahorse valley
    constexpr int kMaxIterations = 600;
    constexpr double kEscape = 256.0;
    const double step = kSpan / kRowWidth;
    picture.indices.resize(static_cast<size_t>(kRowWidth) * kRowHeight);
    for (int py = 0; py < kRowHeight; ++py) {
        for (int px = 0; px < kRowWidth; ++px) {
            const double cx = kCentreX + (px - kRowWidth / 2.0) * step;
            const double cy = kCentreY - (py - kRowHeight / 2.0) * step;
            double zx = 0, zy = 0;
            int n = 0;
            while (n < kMaxIterations && zx * zx + zy * zy < kEscape * kEscape) {
                const double next = zx * zx - zy * zy + cx;
                zy = 2 * zx * zy + cy;
                zx = next;
                ++n;
            }
            uint8_t index = 0;
            if (n < kMaxIterations) {
                // Continuous escape count, so the bands blend into each other;
                // its logarithm keeps the colours from crowding near the set.
                const double smooth = n + 1 - std::log2(std::log(std::sqrt(zx * zx + zy * zy)));
                const double position = std::fmod(std::log(std::max(1.0, smooth)) * 128.0, 255.0);
                index = static_cast<uint8_t>(1 + static_cast<int>(position));
            }
            picture.indices[static_cast<size_t>(py) * kRowWidth + px] = index;
        }
    }
    return picture;
}

Picture paint_waves() {
    constexpr std::array<std::pair<float, uint32_t>, 5> kColours{
        {{0.0f, 0x0A1030}, {0.3f, 0x26288A}, {0.55f, 0x7440C2}, {0.8f, 0x3EB4DA}, {1.0f, 0xEAF8FF}}};
    return render(kRowWidth, kRowHeight, [&](float x, float y) {
        const float d1 = std::hypot(x - 52.0f, y - 48.0f);
        const float d2 = std::hypot(x - 150.0f, y - 104.0f);
        // Each source fades with distance, so the rings calm down far from it.
        const float wave = std::cos(d1 * 0.33f) * std::exp(-d1 / 160.0f) + std::cos(d2 * 0.29f) * std::exp(-d2 / 160.0f);
        const float t = clamp01(0.5f + 0.36f * wave);
        const float vignette = 1.0f - 0.35f * std::pow(std::hypot((x - 100.0f) / 100.0f, (y - 75.0f) / 75.0f) / 1.4142f, 2.0f);
        return scaled(ramp(kColours, t), vignette);
    });
}

Picture paint_bubbles() {
    struct Ball {
        float x, y, radius;
        uint32_t colour;
    };
    constexpr std::array<Ball, 6> kBalls{{{58, 62, 36, 0xE9544F},
                                          {128, 44, 24, 0xF4B942},
                                          {152, 104, 34, 0x3DA5D9},
                                          {84, 120, 20, 0x5FD38D},
                                          {178, 28, 13, 0xEE6FB2},
                                          {22, 126, 14, 0x9B7BEA}}};
    constexpr std::array<std::pair<float, uint32_t>, 3> kBackground{
        {{0.0f, 0x14213D}, {0.55f, 0x3C2A5E}, {1.0f, 0x7A3B69}}};
    const Vec3 light = normalised({-0.5f, -0.6f, 0.62f});
    constexpr float kShadowX = 7.0f, kShadowY = 9.0f;

    return render(kPaddedRowWidth, kRowHeight, [&](float x, float y) {
        Rgba colour = ramp(kBackground, 0.6f * x / kPaddedRowWidth + 0.4f * y / kRowHeight);
        colour = over(rgb(0xFFB38A, 0.22f * std::exp(-std::pow(std::hypot(x - 190.0f, y - 10.0f) / 60.0f, 2.0f))),
                      colour);
        for (const Ball& ball : kBalls) {
            const float d = std::hypot(x - ball.x - kShadowX, y - ball.y - kShadowY);
            colour = over(rgb(0x05030F, 0.45f * smoothstep(ball.radius + 8.0f, ball.radius - 6.0f, d)), colour);
        }
        for (const Ball& ball : kBalls) {
            const float dx = x - ball.x, dy = y - ball.y;
            if (dx * dx + dy * dy > ball.radius * ball.radius) continue;
            const Vec3 normal = sphere_normal(dx, dy, ball.radius);
            const float diffuse = std::max(0.0f, dot(normal, light));
            const Rgba base = rgb(ball.colour);
            Rgba shaded = scaled(base, 0.22f + 0.85f * diffuse);
            // Light bouncing off the ground tints the lower rim.
            shaded = mix(shaded, base, 0.35f * std::pow(1.0f - normal.z, 2.0f) * clamp01(normal.y + 0.3f));
            colour = lit(shaded, 0.9f * specular(normal, light, 60.0f));
        }
        return colour;
    });
}

Picture paint_flower() {
    constexpr float kCx = 100.0f, kCy = 70.0f;
    constexpr float kShadowX = 6.0f, kShadowY = 7.0f;
    // Outline of six round petals: radius as a function of the angle.
    auto outline = [](float angle) {
        return 38.0f + 24.0f * std::pow(0.5f + 0.5f * std::cos(6.0f * angle), 0.7f);
    };
    constexpr std::array<std::pair<float, uint32_t>, 4> kPetal{
        {{0.0f, 0xFFE36E}, {0.35f, 0xFFB36B}, {0.7f, 0xFF6F9C}, {1.0f, 0xC2338C}}};

    return render(kRowWidth, kRowHeight, [&](float x, float y) {
        const float sx = x - kCx - kShadowX, sy = y - kCy - kShadowY;
        const float shadow_distance = std::hypot(sx, sy) - outline(std::atan2(sy, sx));
        const Rgba shadow = rgb(0x000000, 0.45f * smoothstep(7.0f, -6.0f, shadow_distance));

        const float dx = x - kCx, dy = y - kCy;
        const float angle = std::atan2(dy, dx);
        const float radius = std::hypot(dx, dy);
        const float edge = outline(angle);
        const float alpha = smoothstep(1.5f, -2.5f, radius - edge);  // a feathered rim
        if (alpha <= 0.0f) return shadow;

        const float along = radius / edge;
        Rgba petal = ramp(kPetal, along);
        // Each petal is lighter along its middle and darker where it meets the next.
        petal = scaled(petal, 0.82f + 0.18f * (0.5f + 0.5f * std::cos(6.0f * angle)));
        petal = lit(petal, 0.25f * std::exp(-std::pow((along - 0.55f) / 0.15f, 2.0f)) *
                               std::pow(0.5f + 0.5f * std::cos(6.0f * angle), 8.0f));
        if (radius < 15.0f) {
            // Seeds in a sunflower spiral on the brown heart.
            Rgba heart = mix(rgb(0xF2A23C), rgb(0x7A3A18), radius / 15.0f);
            constexpr float kGolden = 2.39996323f;
            for (int i = 0; i < 40; ++i) {
                const float r = 2.2f * std::sqrt(static_cast<float>(i));
                const float seed_x = r * std::cos(i * kGolden), seed_y = r * std::sin(i * kGolden);
                if (std::hypot(dx - seed_x, dy - seed_y) < 0.9f) heart = rgb(0x4A2008);
            }
            petal = mix(heart, petal, smoothstep(13.0f, 15.0f, radius));
        }
        return over(with_alpha(petal, alpha), shadow);
    });
}

Picture paint_halo() {
    constexpr float kCx = 100.0f, kCy = 75.0f;
    constexpr float kBubble = 22.0f;
    struct Ring {
        float radius, width, alpha, hue_offset;
    };
    constexpr std::array<Ring, 3> kRings{{{62.0f, 8.0f, 0.85f, 0.0f}, {46.0f, 4.5f, 0.7f, 0.33f}, {33.0f, 2.5f, 0.6f, 0.66f}}};
    const Vec3 light = normalised({-0.5f, -0.6f, 0.62f});

    return render(kRowWidth, kRowHeight, [&](float x, float y) {
        const float dx = x - kCx, dy = y - kCy;
        const float radius = std::hypot(dx, dy);
        const float angle = std::atan2(dy, dx);
        const float hue = angle / (2.0f * kPi);

        // A faint rainbow haze around the outer ring.
        Rgba colour = with_alpha(hsv(hue + 0.5f, 0.5f, 1.0f), 0.3f * std::exp(-std::pow((radius - 62.0f) / 13.0f, 2.0f)));
        for (const Ring& ring : kRings) {
            const float across = std::fabs(radius - ring.radius);
            const float coverage = smoothstep(ring.width / 2 + 0.8f, ring.width / 2 - 0.8f, across);
            if (coverage <= 0.0f) continue;
            // Brighter along the middle of the band, like a glass tube, with
            // a glint where it faces the light at the top left.
            const float profile = 0.7f + 0.3f * std::cos(kPi * clamp01(across / ring.width));
            const float glint = std::pow(std::max(0.0f, std::cos(angle + 2.36f)), 12.0f) * (1.0f - across / ring.width);
            colour = over(with_alpha(lit(scaled(hsv(hue + ring.hue_offset, 0.7f, 1.0f), profile), 0.8f * glint),
                                     ring.alpha * coverage),
                          colour);
        }
        // A glass bubble in the middle: clear in the centre, denser towards
        // its rim as glass seen edge-on is, with one bright reflection.
        if (radius < kBubble + 1.0f) {
            const Vec3 normal = sphere_normal(dx, dy, kBubble);
            const float rim = std::pow(1.0f - normal.z, 1.5f);
            const float spot = specular(normal, light, 40.0f);
            const float alpha = smoothstep(kBubble + 1.0f, kBubble - 1.0f, radius) * clamp01(0.15f + 0.6f * rim + spot);
            colour = over(with_alpha(lit(rgb(0xBFD8FF), spot), alpha), colour);
        }
        return colour;
    });
}

Picture paint_star() {
    constexpr float kCx = 100.0f, kCy = 80.0f;
    constexpr float kOuter = 60.0f, kInnerRatio = 0.46f;
    // Signed distance to a five-pointed star with a point upwards (Inigo
    // Quilez's construction), in a frame with y pointing up.
    auto star_distance = [&](float px, float py) {
        constexpr float k1x = 0.809016994f, k1y = -0.587785252f;
        constexpr float k2x = -k1x, k2y = k1y;
        px = std::fabs(px);
        float d = 2.0f * std::max(k1x * px + k1y * py, 0.0f);
        px -= d * k1x;
        py -= d * k1y;
        d = 2.0f * std::max(k2x * px + k2y * py, 0.0f);
        px -= d * k2x;
        py -= d * k2y;
        px = std::fabs(px);
        py -= kOuter;
        const float bax = kInnerRatio * -k1y, bay = kInnerRatio * k1x - 1.0f;
        const float h = std::clamp((px * bax + py * bay) / (bax * bax + bay * bay), 0.0f, kOuter);
        const float length = std::hypot(px - bax * h, py - bay * h);
        return (py * bax - px * bay) < 0.0f ? -length : length;
    };
    const Vec3 light = normalised({-0.5f, 0.6f, 0.9f});  // y up here

    return render(kRowWidth, kRowHeight, [&](float x, float y) {
        const float px = x - kCx, py = kCy - y;
        const float d = star_distance(px, py);
        if (d > 0.0f) return rgb(0xFFB04A, 0.65f * std::exp(-d / 9.0f));

        // Bevel: each half-arm is a flat facet leaning out across its outer
        // edge, which runs from the nearest point to the nearest inner corner.
        const float angle = std::atan2(py, px);
        const float arm = std::round((angle - kPi / 2) / (2 * kPi / 5)) * (2 * kPi / 5) + kPi / 2;
        float offset = angle - arm;
        offset = std::atan2(std::sin(offset), std::cos(offset));
        const float side = offset >= 0.0f ? 1.0f : -1.0f;
        const float corner = arm + side * kPi / 5;
        const float tip_x = kOuter * std::cos(arm), tip_y = kOuter * std::sin(arm);
        const float edge_x = kInnerRatio * kOuter * std::cos(corner) - tip_x;
        const float edge_y = kInnerRatio * kOuter * std::sin(corner) - tip_y;
        // The edge's normal that points away from the centre.
        float nx = -edge_y, ny = edge_x;
        if (nx * tip_x + ny * tip_y < 0.0f) {
            nx = -nx;
            ny = -ny;
        }
        const float n_length = std::hypot(nx, ny);
        const Vec3 normal = normalised({0.8f * nx / n_length, 0.8f * ny / n_length, 1.0f});
        const float shade = 0.45f + 0.7f * std::max(0.0f, dot(normal, light));
        const Rgba fill = mix(rgb(0xFFF6B0), rgb(0xFF9A2E), clamp01(std::hypot(px, py) / kOuter));
        // A thin bright rim just inside the outline.
        return lit(scaled(fill, shade), 0.35f * smoothstep(-2.5f, -0.5f, d));
    });
}

Picture paint_truchet() {
    constexpr int kTile = 20;
    constexpr float kTube = 3.4f;  // half the tube's width
    constexpr float kFrame = 3.0f;

    return render(kPlotWidth, kPlotHeight, [&](float x, float y) {
        // A dark frame with a light inner line keeps the picture apart from
        // the board it is plotted on.
        const float border = std::min(std::min(x, kPlotWidth - x), std::min(y, kPlotHeight - y));
        if (border < kFrame) return rgb(0x0A0E18);
        if (border < kFrame + 1.0f) return rgb(0x7C8DB5);

        const int tile_x = static_cast<int>(x) / kTile, tile_y = static_cast<int>(y) / kTile;
        float u = x - static_cast<float>(tile_x * kTile);
        const float v = y - static_cast<float>(tile_y * kTile);
        if (hash2(tile_x, tile_y, 0x7E11u) & 1u) u = kTile - u;  // the tile's other orientation
        // Two quarter circles round opposite corners; they meet the
        // neighbouring tiles' arcs at the middles of the edges.
        const float half = kTile / 2.0f;
        const float across = std::min(std::fabs(std::hypot(u, v) - half), std::fabs(std::hypot(u - kTile, v - kTile) - half));

        const float vignette = 1.0f - 0.3f * std::pow(std::hypot(x / kPlotWidth - 0.5f, y / kPlotHeight - 0.5f), 2.0f);
        Rgba ground = scaled(rgb(0x161D33), vignette);
        if (across >= kTube) {
            // A faint shadow beside each tube.
            return mix(ground, rgb(0x06080F), 0.6f * smoothstep(kTube + 2.5f, kTube, across));
        }
        const float height = std::sqrt(1.0f - (across / kTube) * (across / kTube));
        const Rgba tube = hsv(0.50f + 0.38f * (x + y) / (kPlotWidth + kPlotHeight), 0.6f, 1.0f);
        return lit(scaled(tube, 0.3f + 0.7f * height), 0.55f * std::pow(height, 10.0f));
    });
}

Picture paint_ball() {
    constexpr float kCentre = kSpriteSide / 2.0f;
    constexpr float kRadius = 42.0f;
    constexpr float kTilt = 0.35f, kSpin = 0.45f;  // radians
    constexpr float kSegment = kPi / 8.0f;
    const Vec3 light = normalised({-0.45f, -0.55f, 0.7f});

    return render(kSpriteSide, kSpriteSide, [&](float x, float y) {
        const float dx = x - kCentre, dy = y - kCentre;
        const float radius = std::hypot(dx, dy);
        // Full alpha inside, fading over the outer three pixels.
        const float alpha = smoothstep(kRadius + 0.5f, kRadius - 2.5f, radius);
        if (alpha <= 0.0f) return Rgba{};

        const Vec3 normal = sphere_normal(dx, dy, kRadius + 0.5f);
        // Turn the chequer's axis a little so the ball looks rolled over.
        const float tx = normal.x * std::cos(kTilt) - normal.y * std::sin(kTilt);
        const float ty = normal.x * std::sin(kTilt) + normal.y * std::cos(kTilt);
        const float sx = tx * std::cos(kSpin) + normal.z * std::sin(kSpin);
        const float sz = -tx * std::sin(kSpin) + normal.z * std::cos(kSpin);
        const float longitude = std::atan2(sx, sz);
        const float latitude = std::asin(std::clamp(ty, -1.0f, 1.0f));
        const int cell = static_cast<int>(std::floor(longitude / kSegment)) + static_cast<int>(std::floor(latitude / kSegment));
        const Rgba base = (cell & 1) != 0 ? rgb(0xE0242E) : rgb(0xF4F2EE);

        const float diffuse = std::max(0.0f, dot(normal, light));
        const Rgba shaded = lit(scaled(base, 0.3f + 0.8f * diffuse), 0.8f * specular(normal, light, 50.0f));
        return with_alpha(shaded, alpha);
    });
}

}  // namespace samples
