# What a Qt program of this build needs beside it in bin/ to start under
# Windows (or Wine): Qt's DLLs, the windows platform plugin and style in the
# folders Qt looks for them beside the program, the C++ runtime's DLLs that
# Qt's DLLs were linked with, and Qt's Russian translation.
# vok_windows_qt_program(TARGET) makes TARGET one of them.

set(mingw_runtime_dlls)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${path}" OR NOT EXISTS "${path}")
    message(FATAL_ERROR "The C++ runtime's ${dll} is not to be found beside ${CMAKE_CXX_COMPILER}")
  endif()
  list(APPEND mingw_runtime_dlls "${path}")
endforeach()

set(VOK_QT_TRANSLATION /usr/share/qt6/translations/qtbase_ru.qm CACHE FILEPATH
    "Qt's Russian translation (Debian's qt6-translations-l10n; the same file on Windows)")
if(NOT EXISTS "${VOK_QT_TRANSLATION}")
  message(FATAL_ERROR "${VOK_QT_TRANSLATION} is missing (package qt6-translations-l10n)")
endif()

set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
add_custom_target(vok_windows_qt_runtime
    COMMAND ${CMAKE_COMMAND} -E make_directory ${bin}/platforms ${bin}/styles ${bin}/translations
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_FILE:Qt6::Core> $<TARGET_FILE:Qt6::Gui> $<TARGET_FILE:Qt6::Widgets>
            ${mingw_runtime_dlls} ${bin}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsIntegrationPlugin> ${bin}/platforms
    COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:Qt6::QWindowsVistaStylePlugin> ${bin}/styles
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VOK_QT_TRANSLATION} ${bin}/translations
    VERBATIM)

function(vok_windows_qt_program target)
  set_target_properties(${target} PROPERTIES VOK_SHARED_RUNTIME ON)
  add_dependencies(${target} vok_windows_qt_runtime)
endfunction()
