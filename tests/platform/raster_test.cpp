#include <gtest/gtest.h>

#include "platform/graphics.h"

TEST(Screen, OpensWithPositiveSize) {
    ASSERT_EQ(open_screen(4, 3, 32, 2, 0, 0), 0);
    EXPECT_TRUE(screen_is_open());
    close_screen();
    EXPECT_FALSE(screen_is_open());
}
