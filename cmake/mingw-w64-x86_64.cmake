# The same tree as 64-bit Windows programs, for hosts that cannot run 32-bit programs
# (and so no 32-bit Wine): the Windows tests run from this build there.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(KESTROVA_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine64)
# ASLR over the whole 64-bit address space.
set(KESTROVA_MINGW_LINK_FLAGS -Wl,--high-entropy-va)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
