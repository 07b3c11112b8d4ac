# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64-posix). The posix flavour is the one whose C++ runtime
# has std::thread and std::mutex, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# Headers and libraries come from the folder of the dependencies built for the
# cross prefix (given as VELMORA_WINDOWS_DEPS) and from the cross prefix itself,
# never from /usr. The dependencies' folder is searched first: a zlib the cross
# prefix may have (libz-mingw-w64-dev's import library) must not win over the
# static one that FreeImage is built with.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
if(VELMORA_WINDOWS_DEPS)
  list(PREPEND CMAKE_FIND_ROOT_PATH "${VELMORA_WINDOWS_DEPS}")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One file that runs on a bare Windows: no libstdc++, libgcc or winpthread DLL.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
