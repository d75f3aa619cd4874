// Where showcase64 and showcase32 differ by their word size: the fields kept
// in pointer width, and the picture's origin, which showcase32 rounds from an
// x87 extended-precision product. Each build checks its own figures.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <type_traits>

#include "decoder/bitmap_decoder.h"
#include "showcase/showcase.h"

namespace {

#ifdef _WIN64
constexpr const char* kProgram = "showcase64";
constexpr size_t kWantPointerWidth = 8;
constexpr bool kExtendedPrecisionOrigin = false;
#else
constexpr const char* kProgram = "showcase32";
constexpr size_t kWantPointerWidth = 4;
constexpr bool kExtendedPrecisionOrigin = true;
#endif

struct OriginRow {
    uint32_t height;
    uint32_t want_double;    // H x 0.55 rounded from the double product
    uint32_t want_extended;  // from the 64-bit-mantissa product
};

// The double 0.55 is 0.55 + 4.44e-17. For these heights H x 0.55 lies in
// [512, 1024), where a double's unit in the last place is 2^-43 (1.14e-13):
// the product's excess H x 4.44e-17 (4.2e-14 to 4.8e-14) is below half of it,
// so the double product is the exact tie x.5 and goes to the even integer.
// An extended product (unit 2^-54) keeps the excess and rounds up.
const OriginRow kOriginRows[] = {
    {950, 522, 523},   // 522.5
    {990, 544, 545},   // 544.5
    {1030, 566, 567},  // 566.5
    {1070, 588, 589},  // 588.5
    // Heights on which the two builds agree.
    {1080, 594, 594},  // 594.0
    {768, 422, 422},   // 422.4
    {1050, 578, 578},  // 577.5, a tie whose even neighbour is the upper one
};

TEST(WordSize, PictureOriginFollowsTheBuildsPrecisionOnExactTies) {
    for (const OriginRow& row : kOriginRows) {
        SCOPED_TRACE(testing::Message() << "H = " << row.height);
        const uint32_t want = kExtendedPrecisionOrigin ? row.want_extended : row.want_double;
        const uint32_t have = plot_origin_y(row.height);
        EXPECT_EQ(have, want) << "have " << have << ", want " << want;
        if (row.height == 950) {
            std::cout << kProgram << ": plot_origin_y(950) = " << have << " (double gives " << row.want_double
                      << ", extended " << row.want_extended << ")\n";
        }
    }
}

TEST(WordSize, PointerWidthFieldsTakeTheBuildsWordSize) {
    struct FieldRow {
        const char* name;
        size_t have;
    };
    const ShowcaseScene scene{};
    const FieldRow fields[] = {
        {"DecoderState::file_length", sizeof(decoder_state.file_length)},
        {"DecoderState::data_size", sizeof(decoder_state.data_size)},
        {"DecoderState::source_stride", sizeof(decoder_state.source_stride)},
        {"DecoderState::channel_shift[]", sizeof(decoder_state.channel_shift[0])},
        {"DecoderState::channel_scale[]", sizeof(decoder_state.channel_scale[0])},
        {"DecoderState row-table entries", sizeof(decoder_state.image_rows[0])},
        {"ShowcaseScene::column_x[]", sizeof(scene.column_x[0])},
    };
    for (const FieldRow& field : fields) {
        EXPECT_EQ(field.have, kWantPointerWidth)
            << field.name << ": have " << field.have << " bytes, want " << kWantPointerWidth;
    }
    // make_checkerboard takes its width and height as pointer-width integers.
    EXPECT_TRUE((std::is_same_v<decltype(&make_checkerboard), Image (*)(intptr_t, intptr_t)>))
        << "have make_checkerboard with other parameter types, want (intptr_t, intptr_t)";
}

}  // namespace
