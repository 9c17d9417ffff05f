# The Windows build (cross-compiled with cmake/mingw-w64-x86_64.cmake):
# everything below the window that needs no Qt, vokctl.exe, and the tests,
# run under Wine; with Qt's base cross-built (scripts/windows-qt), also the
# window, its tests and what the packages need beside it in bin/. No
# libmodbus here.

# Wide-character Win32 calls; no min/max macros to fight std::min.
add_compile_definitions(UNICODE _UNICODE NOMINMAX WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601)

# Every program carries its C++ runtime and the threads library inside, so an
# .exe runs without MinGW's DLLs beside it. Only here, not in the toolchain:
# Qt's own build shares that toolchain and keeps the shared runtime, and so
# does a program that links Qt (its property VOK_SHARED_RUNTIME): one C++
# runtime in the process, whose DLLs come with Qt's.
add_link_options("$<$<NOT:$<BOOL:$<TARGET_PROPERTY:VOK_SHARED_RUNTIME>>>:-static;-static-libgcc;-static-libstdc++>")

find_package(Threads REQUIRED)

# Boost.Regex, header-only as from Boost 1.76 on: Debian's 1.81 headers,
# unpacked by scripts/windows into a folder that holds nothing but boost/,
# so that the host's /usr/include never joins the cross build's search path.
set(VOK_BOOST_HEADERS "" CACHE PATH "Folder holding Boost 1.81's boost/ headers")
if(NOT EXISTS "${VOK_BOOST_HEADERS}/boost/regex.hpp")
  message(FATAL_ERROR "VOK_BOOST_HEADERS must name a folder with Boost 1.81's headers "
                      "(scripts/windows unpacks them)")
endif()
add_library(vok_boost_regex INTERFACE)
target_include_directories(vok_boost_regex SYSTEM INTERFACE "${VOK_BOOST_HEADERS}")
target_compile_definitions(vok_boost_regex INTERFACE BOOST_ALL_NO_LIB)
add_library(Boost::regex ALIAS vok_boost_regex)

# SQLite, compiled from the amalgamation that scripts/windows-sqlite makes
# out of Debian's source package. Thread-safe, as the window and its link
# thread both write snapshots; no loadable extensions.
set(VOK_SQLITE_AMALGAMATION "" CACHE PATH "Folder holding SQLite's sqlite3.c and sqlite3.h")
if(NOT EXISTS "${VOK_SQLITE_AMALGAMATION}/sqlite3.c")
  message(FATAL_ERROR "VOK_SQLITE_AMALGAMATION must name a folder with sqlite3.c and sqlite3.h "
                      "(scripts/windows-sqlite makes it)")
endif()
enable_language(C)
add_library(vok_sqlite3_amalgamation STATIC "${VOK_SQLITE_AMALGAMATION}/sqlite3.c")
target_include_directories(vok_sqlite3_amalgamation SYSTEM PUBLIC "${VOK_SQLITE_AMALGAMATION}")
target_compile_definitions(vok_sqlite3_amalgamation PRIVATE
    SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0 SQLITE_DEFAULT_FOREIGN_KEYS=0)
# Its own code, not ours: its warnings are not ours to fix.
target_compile_options(vok_sqlite3_amalgamation PRIVATE -w)

include(${CMAKE_SOURCE_DIR}/cmake/windows_resources.cmake)

# Qt's base for Windows, when scripts/windows-qt has made it: the window is
# built too. Its tools (moc, rcc) are the host's, of the same version.
set(VOK_QT_MINGW "" CACHE PATH "Qt's base cross-built for Windows (scripts/windows-qt); empty: no window")
if(VOK_QT_MINGW)
  list(APPEND CMAKE_FIND_ROOT_PATH "${VOK_QT_MINGW}")
  set(QT_HOST_PATH /usr)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
  find_package(Qt6 REQUIRED COMPONENTS Core Gui Widgets PATHS "${VOK_QT_MINGW}" NO_DEFAULT_PATH)
  include(${CMAKE_SOURCE_DIR}/cmake/windows_qt_runtime.cmake)
  include(${CMAKE_SOURCE_DIR}/cmake/windows_packages.cmake)
endif()

# GoogleTest from Debian's sources, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# Test programs run under Wine, in a prefix of this build's own.
set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_SOURCE_DIR}/scripts/wine-run;${CMAKE_BINARY_DIR}/wine-prefix)

# The Linux build whose simulated meter the Windows programs talk to.
set(VOK_LINUX_BUILD "${CMAKE_SOURCE_DIR}/build" CACHE PATH "Linux build folder with bin/vok-meter-sim")

enable_testing()

foreach(dir src/version src/platform src/fileio src/modbus src/meter src/datalog src/paramfile src/history
            src/link src/ui src/cli tests)
  if(EXISTS ${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endforeach()
