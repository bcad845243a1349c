# What the MinGW-w64 cross builds share; the toolchain file of each processor sets
# CMAKE_SYSTEM_PROCESSOR, KESTROVA_MINGW_PREFIX and the Wine that runs its programs
# before including this. Only the -posix compilers provide std::thread and std::mutex.
# Libraries are linked statically so that each program is one .exe with no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTROVA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTROVA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTROVA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KESTROVA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# find_package would otherwise pick the DLL import libraries (libz.dll.a), which Wine
# hides by shipping DLLs of the same names.
set(ZLIB_USE_STATIC_LIBS ON)
# pkg-config must describe the MinGW libraries, not the host's.
set(ENV{PKG_CONFIG_LIBDIR} ${CMAKE_FIND_ROOT_PATH}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
# Every program loads at a random address (ASLR) with data that cannot run (DEP), and
# the processor's own hardening flag (KESTROVA_MINGW_LINK_FLAGS) comes on top.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase -Wl,--nxcompat ${KESTROVA_MINGW_LINK_FLAGS}")
# What ships carries no symbols: they are most of a static program's size.
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT "-s")
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
