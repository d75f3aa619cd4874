#include "platform/files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct OpenFile {
    bool in_use = false;
    std::FILE* stream = nullptr;           // null for a file served from memory
    const uint8_t* memory = nullptr;
    uint64_t length = 0;
    uint64_t offset = 0;  // 0-based offset of the next read at the current position
};

// Index 0 is never used so that handle numbers index the table directly.
OpenFile open_files[kMaxFileHandle + 1];

struct ServedFile {
    std::string name;
    const uint8_t* bytes = nullptr;
    uint64_t size = 0;
    bool active = false;
};
ServedFile served_file;

bool handle_in_use(int32_t handle) {
    return handle >= 1 && handle <= kMaxFileHandle && open_files[handle].in_use;
}

bool seek_stream(std::FILE* stream, uint64_t offset) {
#ifdef _WIN32
    return _fseeki64(stream, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

}  // namespace

void file_serve_from_memory(const char* name, const uint8_t* bytes, uint64_t size) {
    if (name == nullptr) {
        served_file = ServedFile{};
        return;
    }
    served_file = ServedFile{name, bytes, bytes != nullptr ? size : 0, true};
}

int32_t file_free_handle() {
    for (int32_t handle = 1; handle <= kMaxFileHandle; ++handle) {
        if (!open_files[handle].in_use) return handle;
    }
    return 0;
}

int32_t file_open(const char* name, int32_t handle) {
    if (name == nullptr || handle < 1 || handle > kMaxFileHandle) return 1;
    if (open_files[handle].in_use) return 1;
    if (served_file.active && served_file.name == name) {
        open_files[handle] = OpenFile{true, nullptr, served_file.bytes, served_file.size, 0};
        return 0;
    }
    std::FILE* stream = std::fopen(name, "rb");
    if (stream == nullptr) return 1;
    // A directory opens as a stream on some systems; it is not a file to read.
    struct stat info;
    if (fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) {
        std::fclose(stream);
        return 1;
    }
    open_files[handle] = OpenFile{true, stream, nullptr, static_cast<uint64_t>(info.st_size), 0};
    return 0;
}

uint64_t file_length(int32_t handle) {
    return handle_in_use(handle) ? open_files[handle].length : 0;
}

void file_seek(int32_t handle, uint64_t position) {
    if (!handle_in_use(handle) || position == 0) return;
    open_files[handle].offset = position - 1;
}

uint64_t file_read(int32_t handle, uint64_t position, void* destination, uint64_t count) {
    if (destination == nullptr || count == 0) return 0;
    auto* bytes = static_cast<unsigned char*>(destination);
    if (!handle_in_use(handle)) {
        std::memset(bytes, 0, count);
        return 0;
    }
    OpenFile& file = open_files[handle];
    if (position != 0) file.offset = position - 1;
    uint64_t got = 0;
    if (file.stream == nullptr) {
        if (file.offset < file.length) {
            got = file.length - file.offset < count ? file.length - file.offset : count;
            std::memcpy(bytes, file.memory + file.offset, got);
        }
    } else if (seek_stream(file.stream, file.offset)) {
        got = std::fread(bytes, 1, count, file.stream);
    }
    // Past the end (or in a file that shrank while being read) the bytes are 0.
    if (got < count) std::memset(bytes + got, 0, count - got);
    file.offset += count;
    return got;
}

void file_close(int32_t handle) {
    if (!handle_in_use(handle)) return;
    if (open_files[handle].stream != nullptr) std::fclose(open_files[handle].stream);
    open_files[handle] = OpenFile{};
}
