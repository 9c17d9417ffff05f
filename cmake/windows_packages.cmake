# The Windows packages, made from bin/ by packaging/windows/make_packages.sh
# into packages/: the portable zip and the NSIS installer. Built with the
# rest (the installer's test under Wine takes them from there).
find_program(MAKENSIS makensis REQUIRED)
find_program(ZIP zip REQUIRED)
set(VOK_WINDOWS_PACKAGES_DIR ${CMAKE_BINARY_DIR}/packages)
set(VOK_WINDOWS_ZIP ${VOK_WINDOWS_PACKAGES_DIR}/vok-tarnel-${PROJECT_VERSION}-win64.zip)
set(VOK_WINDOWS_SETUP ${VOK_WINDOWS_PACKAGES_DIR}/vok-tarnel-${PROJECT_VERSION}-setup.exe)
set(make_packages ${CMAKE_SOURCE_DIR}/packaging/windows/make_packages.sh)
add_custom_command(
    OUTPUT ${VOK_WINDOWS_ZIP} ${VOK_WINDOWS_SETUP}
    COMMAND ${make_packages} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY} ${VOK_WINDOWS_PACKAGES_DIR}
            ${PROJECT_VERSION} ${VOK_ICON_FILE} > /dev/null
    DEPENDS vok-tarnel vokctl vok_windows_qt_runtime ${VOK_ICON_FILE} ${make_packages}
            ${CMAKE_SOURCE_DIR}/packaging/windows/vok-tarnel.nsi
    VERBATIM)
add_custom_target(vok_windows_packages ALL DEPENDS ${VOK_WINDOWS_ZIP} ${VOK_WINDOWS_SETUP})
