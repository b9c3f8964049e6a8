# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, as the Qt kit was built).
# Give the unpacked kit as TARSEL_QT_KIT (scripts/windows.sh does); Debian's own lrelease makes the
# translations, which are the same on every platform.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

if(NOT TARSEL_QT_KIT AND DEFINED ENV{TARSEL_QT_KIT})
    set(TARSEL_QT_KIT $ENV{TARSEL_QT_KIT})
endif()
# Try-compiles get a toolchain of their own and must see the kit too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARSEL_QT_KIT)
set(CMAKE_FIND_ROOT_PATH ${TARSEL_QT_KIT} /usr/x86_64-w64-mingw32)
set(CMAKE_PREFIX_PATH ${TARSEL_QT_KIT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(Qt5LinguistTools_DIR /usr/lib/x86_64-linux-gnu/cmake/Qt5LinguistTools CACHE PATH
    "The build machine's own Qt translation tools")
