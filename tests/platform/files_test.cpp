// The file facility: numbered handles, 1-based positions, zeros past the end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/files.h"

namespace {

std::string write_temp(const std::string& name, const std::string& bytes) {
    const std::string path = ::testing::TempDir() + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(file, nullptr);
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

std::string read_at(int32_t handle, uint64_t position, size_t count) {
    std::string bytes(count, '?');
    file_read(handle, position, bytes.data(), count);
    return bytes;
}

}  // namespace

TEST(FileFacility, ReadsAtOneBasedPositionsAndTheCurrentPosition) {
    const std::string path = write_temp("files_positions.bin", "ABCDEFGH");
    const int32_t handle = file_free_handle();
    ASSERT_GE(handle, 1);
    ASSERT_EQ(file_open(path.c_str(), handle), 0);
    EXPECT_EQ(file_length(handle), 8u);
    EXPECT_EQ(read_at(handle, 0, 3), "ABC");  // a fresh file starts at offset 0
    EXPECT_EQ(read_at(handle, 0, 2), "DE");   // the current position moved on
    EXPECT_EQ(read_at(handle, 2, 2), "BC");   // position 2 is offset 1
    file_seek(handle, 7);
    EXPECT_EQ(read_at(handle, 0, 1), "G");
    file_close(handle);
}

TEST(FileFacility, BytesPastTheEndComeBackAsZero) {
    const std::string path = write_temp("files_past_end.bin", "XY");
    const int32_t handle = file_free_handle();
    ASSERT_EQ(file_open(path.c_str(), handle), 0);
    EXPECT_EQ(read_at(handle, 2, 4), std::string("Y\0\0\0", 4));
    EXPECT_EQ(read_at(handle, 100, 2), std::string("\0\0", 2));
    file_close(handle);
}

TEST(FileFacility, AFileThatShrinksWhileOpenReadsZerosWhereItsBytesWere) {
    const std::string path = write_temp("files_shrink.bin", "0123456789");
    const int32_t handle = file_free_handle();
    ASSERT_EQ(file_open(path.c_str(), handle), 0);
    EXPECT_EQ(file_length(handle), 10u);
    ASSERT_EQ(truncate(path.c_str(), 4), 0);
    EXPECT_EQ(read_at(handle, 3, 4), std::string("23\0\0", 4));
    file_close(handle);
}

TEST(FileFacility, RefusesWhatCannotBeOpenedWithNothingToClose) {
    struct Row {
        const char* name;
        std::string path;
        int32_t handle;
    };
    const std::string good = write_temp("files_good.bin", "x");
    const Row rows[] = {
        {"missing file", ::testing::TempDir() + "files_no_such_file.bin", 1},
        {"directory", ::testing::TempDir(), 1},
        {"handle 0", good, 0},
        {"handle 256", good, 256},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_NE(file_open(row.path.c_str(), row.handle), 0);
        // A refused open holds no handle.
        EXPECT_EQ(file_free_handle(), 1);
    }
    EXPECT_NE(file_open(nullptr, 1), 0);
}

TEST(FileFacility, HandlesRunFromOneTo255ThenNoneIsFree) {
    const std::string path = write_temp("files_many.bin", "z");
    std::vector<int32_t> taken;
    for (int32_t i = 0; i < kMaxFileHandle; ++i) {
        const int32_t handle = file_free_handle();
        ASSERT_EQ(handle, i + 1) << "have handle " << handle << ", want " << i + 1;
        ASSERT_EQ(file_open(path.c_str(), handle), 0);
        taken.push_back(handle);
    }
    EXPECT_EQ(file_free_handle(), 0);
    EXPECT_NE(file_open(path.c_str(), 0), 0);
    file_close(taken[41]);
    EXPECT_EQ(file_free_handle(), 42);
    for (int32_t handle : taken) file_close(handle);
    EXPECT_EQ(file_free_handle(), 1);
}

TEST(FileFacility, ServesOneNamedFileFromMemory) {
    const uint8_t bytes[] = {'B', 'M', 7};
    file_serve_from_memory("in-memory.bmp", bytes, sizeof bytes);
    const int32_t handle = file_free_handle();
    ASSERT_EQ(file_open("in-memory.bmp", handle), 0);
    EXPECT_EQ(file_length(handle), 3u);
    EXPECT_EQ(read_at(handle, 2, 3), std::string("M\7\0", 3));
    file_close(handle);
    file_serve_from_memory(nullptr, nullptr, 0);
    EXPECT_NE(file_open("in-memory.bmp", handle), 0);
}
