# The Windows build that ships: 32-bit programs, run by the 32-bit Wine in tests.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(KESTROVA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
