# Cross toolchain for x86_64 Windows with Debian's MinGW-w64 (posix threads).
# The prefix holding the cross-built Qt, zlib, libxlsxwriter and SQLite comes from
# VELORA_WIN_PREFIX (cache or environment); scripts/windows.sh sets both.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELORA_MINGW_TRIPLE}-windres)

if(NOT VELORA_WIN_PREFIX AND DEFINED ENV{VELORA_WIN_PREFIX})
  set(VELORA_WIN_PREFIX "$ENV{VELORA_WIN_PREFIX}")
endif()
# try_compile projects re-read this file; hand the prefix on to them.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELORA_WIN_PREFIX)

# The prefix comes first: Debian's own MinGW zlib must not be picked instead of it.
set(CMAKE_FIND_ROOT_PATH)
if(VELORA_WIN_PREFIX)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VELORA_WIN_PREFIX}")
  list(APPEND CMAKE_PREFIX_PATH "${VELORA_WIN_PREFIX}")
  # pkg-config's imported targets name libraries by -l only; let the linker
  # find them in the prefix.
  set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${VELORA_WIN_PREFIX}/lib")
  set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${VELORA_WIN_PREFIX}/lib")
  set(ENV{PKG_CONFIG_LIBDIR} "${VELORA_WIN_PREFIX}/lib/pkgconfig")
  set(ENV{PKG_CONFIG_PATH} "")
endif()
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VELORA_MINGW_TRIPLE})
# Host programs (moc, uic, rcc, pkg-config) run here; libraries and headers come from the target.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
