# Settings of the Windows build (build-win, cmake/mingw-w64.cmake). The executable goes on a CD
# as one file, so Release builds are made small: size optimisation, one section per function
# and object so the linker drops what nothing calls, and no symbols.
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options($<$<CONFIG:Release>:-Wl,--gc-sections> $<$<CONFIG:Release>:-s>)

# stb is header-only and the same for every target, but Debian's /usr/include cannot go on the
# cross compiler's path as a whole: only the stb folder is offered, as <stb/...>.
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/debian-include)
file(CREATE_LINK /usr/include/stb ${CMAKE_BINARY_DIR}/debian-include/stb SYMBOLIC)
include_directories(SYSTEM ${CMAKE_BINARY_DIR}/debian-include)
