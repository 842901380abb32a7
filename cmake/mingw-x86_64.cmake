# 64-bit Windows build, run under Wine here. GoogleTest needs the posix thread model; the
# 64-bit store helper that ships is built on its own with MINGW_THREAD_MODEL=win32, whose
# static runtime imports nothing that Windows XP x64 lacks (the posix one imports
# GetTickCount64, Windows Vista's).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
if(NOT MINGW_THREAD_MODEL)
  set(MINGW_THREAD_MODEL posix)
endif()
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-${MINGW_THREAD_MODEL})
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-${MINGW_THREAD_MODEL})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
