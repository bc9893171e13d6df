# Cross-compiling the Windows plug-in with MinGW-w64 (the -posix variant, which has
# std::thread). Everything is linked statically, so the DLL and the stand-in host
# import nothing but system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(COHORTIX_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${COHORTIX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${COHORTIX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${COHORTIX_MINGW_PREFIX}-windres)
set(CMAKE_AR ${COHORTIX_MINGW_PREFIX}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${COHORTIX_MINGW_PREFIX}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJCOPY ${COHORTIX_MINGW_PREFIX}-objcopy CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${COHORTIX_MINGW_PREFIX}-objdump CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${COHORTIX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC does not align the Windows stack to 32 bytes, so AVX spills must not use
# aligned moves.
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
