# Cross build for 32-bit Windows with Debian's MinGW-w64 compilers. The
# "-posix" variants provide std::thread and std::mutex; the thread library is
# linked statically like everything else.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_qm_prefix i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_qm_prefix}-gcc-posix ${_qm_prefix}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_qm_prefix}-g++-posix ${_qm_prefix}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_qm_prefix}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_qm_prefix})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine, in a prefix that belongs to the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh")
