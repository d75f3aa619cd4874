// The animation loop: a 25 ms frame gate polled every 10 ms, the captured
// scene restored in full each frame, the sprite bounced over it and the two
// pinned images drawn on top, until a key or a close request.
#include "decoder/bitmap_decoder.h"
#include "platform/clock.h"
#include "showcase/showcase.h"

namespace {

constexpr double kFrameInterval = 0.025;  // seconds
constexpr int32_t kPassPause = 10;        // milliseconds
constexpr int32_t kFrameDue = -1;
constexpr int32_t kFrameDone = 0;
constexpr int32_t kNextRandom = 1;

}  // namespace

void bounce_step(SpriteMotion& motion, uint32_t desktop_width, uint32_t desktop_height,
                 uint32_t half_width, uint32_t half_height) {
    motion.sprite_x += motion.speed_x;
    motion.sprite_y += motion.speed_y;
    // Signed and 64 bits wide, so W - hw can never wrap. The tests look at the
    // new position, so the centre may pass a bound by less than one step.
    const int64_t x = motion.sprite_x;
    const int64_t y = motion.sprite_y;
    if (x >= int64_t{desktop_width} - int64_t{half_width}) motion.speed_x = -motion.speed_x;
    if (y >= int64_t{desktop_height} - int64_t{half_height}) motion.speed_y = -motion.speed_y;
    if (x <= int64_t{half_width}) motion.speed_x = -motion.speed_x;
    if (y <= int64_t{half_height}) motion.speed_y = -motion.speed_y;
}

void run_animation(const ShowcaseScene& scene) {
    const uint32_t width = scene.desktop_width;
    const uint32_t height = scene.desktop_height;

    double frame_time = clock_seconds();
    random_seed(frame_time);
    SpriteMotion motion{};
    motion.speed_x = speed_from_random(random_next(kNextRandom));
    motion.speed_y = speed_from_random(random_next(kNextRandom));
    motion.sprite_x = static_cast<int32_t>(width >> 1);
    motion.sprite_y = static_cast<int32_t>(height >> 1);
    int32_t frame_due = kFrameDone;

    const float first_pinned_x = pinned_image_x(width, kFirstPinnedFraction);
    const float second_pinned_x = pinned_image_x(width, kSecondPinnedFraction);
    const float pinned_y = static_cast<float>(height >> 1);

    while (poll_key().empty()) {
        if (clock_seconds() > frame_time + kFrameInterval) {
            frame_time = clock_seconds();
            frame_due = kFrameDue;
        }
        if (frame_due != kFrameDone) {
            draw_image(0.0f, 0.0f, scene.background, BLIT_COPY);
            // The halves come from the last decode, the sprite's file; when
            // that file failed they are whatever its read left, and the
            // position still moves although nothing is drawn.
            const uint32_t half_width = decoder_state.width >> 1;
            const uint32_t half_height = decoder_state.height >> 1;
            bounce_step(motion, width, height, half_width, half_height);
            draw_image(static_cast<float>(int64_t{motion.sprite_x} - half_width),
                       static_cast<float>(int64_t{motion.sprite_y} - half_height), scene.sprite,
                       BLIT_ALPHA);
            draw_image(first_pinned_x, pinned_y, scene.images[kFirstPinnedImage], BLIT_ALPHA);
            draw_image(second_pinned_x, pinned_y, scene.images[kSecondPinnedImage], BLIT_ALPHA);
            copy_page();
            frame_due = kFrameDone;
        }
        pause_ms(kPassPause);
    }

    release_decoded_pixels();
    end_program(0);
}
