# Shared by the MinGW-w64 toolchain files: set TLG_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TLG_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TLG_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TLG_MINGW_TRIPLE}-windres)

# The system's MinGW libraries, and ours built by scripts/build-deps.sh.
set(CMAKE_FIND_ROOT_PATH /usr/${TLG_MINGW_TRIPLE}
    ${CMAKE_CURRENT_LIST_DIR}/../build/deps/${TLG_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything static: the binaries may depend on system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)

# No link time in the PE header, so that a rebuild gives the same bytes.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
