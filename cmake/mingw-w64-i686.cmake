# The Windows build that ships: 32-bit programs, run by the 32-bit Wine in tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTROVA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
# A 32-bit program may use 4 GB on 64-bit Windows instead of 2 GB.
set(KESTROVA_MINGW_LINK_FLAGS -Wl,--large-address-aware)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
