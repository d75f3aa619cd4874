// The file facility: numbered handles 1 to 255 and 1-based positions.
// Reads past the end of a file deliver zero bytes and are no error.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int32_t kMaxFileHandle = 255;

// A handle that no open file holds; 0 when all are taken.
int32_t file_free_handle();
// Opens name for reading raw bytes at position 1. 0 on success; non-zero when
// the file cannot be opened (then there is nothing to close).
int32_t file_open(const char* name, int32_t handle);
// Size in bytes; 0 when it cannot be determined.
uint64_t file_length(int32_t handle);
// Copies count bytes into destination, starting at position (0 = the current
// position, else the 1-based position to go to first); bytes past the end come
// back as 0. Returns the count of bytes that came from the file.
uint64_t file_read(int32_t handle, uint64_t position, void* destination, uint64_t count);
void file_seek(int32_t handle, uint64_t position);
void file_close(int32_t handle);

// Serves the bytes of a file from memory instead of the file system, for
// the fuzz targets: while set, opening exactly `name` reads these bytes (the
// caller keeps them alive). A null name stops serving. Everything else the
// facility does stays the same.
void file_serve_from_memory(const char* name, const uint8_t* bytes, uint64_t size);
