# The mingw-w64 cross-compiling set-up shared by both Windows toolchain
# files, which set CMAKE_SYSTEM_PROCESSOR and SOLNE_MINGW_TRIPLE first. The
# *-posix compilers: their C++ library has std::thread and std::mutex (the
# default "win32" thread model lacks them). Programs are linked statically,
# so no DLL of the compiler has to lie beside them. Tests and programs run
# under Wine through CMAKE_CROSSCOMPILING_EMULATOR (cmake/WineEmulator.cmake);
# a GUI program and its tests need nothing more.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${SOLNE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SOLNE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${SOLNE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SOLNE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

include(${CMAKE_CURRENT_LIST_DIR}/WineEmulator.cmake)
