# Shared by the two mingw-w64 toolchain files, which set BMP_MINGW_TRIPLE.
find_program(CMAKE_C_COMPILER NAMES ${BMP_MINGW_TRIPLE}-gcc-posix ${BMP_MINGW_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${BMP_MINGW_TRIPLE}-g++-posix ${BMP_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${BMP_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${BMP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Each program must start on a bare Windows: the C and C++ runtimes and
# winpthreads go into the .exe, leaving only the system's own DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; scripts/windows/run-exe picks the Wine that
# fits the program's word size.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/windows/run-exe)
