# The meter's icon and a version resource for the Windows programs: the icon
# drawn from the package's SVG at the sizes Windows asks for (16 to 256
# pixels, the largest kept as PNG inside the .ico), the version from
# project().
enable_language(RC)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(ICOTOOL icotool REQUIRED)

set(VOK_ICON_FILE ${CMAKE_BINARY_DIR}/windows/vok-tarnel.ico)
set(icon_svg ${CMAKE_SOURCE_DIR}/packaging/icons/vok-tarnel.svg)
set(icon_pngs)
set(icon_commands)
foreach(size 16 24 32 48 64 256)
  set(png ${CMAKE_BINARY_DIR}/windows/icon-${size}.png)
  list(APPEND icon_pngs ${png})
  list(APPEND icon_commands COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${icon_svg})
endforeach()
list(POP_BACK icon_pngs icon_256)
add_custom_command(
    OUTPUT ${VOK_ICON_FILE}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/windows
    ${icon_commands}
    COMMAND ${ICOTOOL} -c -o ${VOK_ICON_FILE} ${icon_pngs} --raw=${icon_256}
    DEPENDS ${icon_svg}
    VERBATIM)
add_custom_target(vok_windows_icon DEPENDS ${VOK_ICON_FILE})

# vok_windows_resources(TARGET "what the program is" [MANIFEST file.in]):
# the icon, the version resource and the application manifest, if given
# (its @VOK_RC_VERSION_DOTTED@ filled in), linked into TARGET.
function(vok_windows_resources target description)
  cmake_parse_arguments(R "" "MANIFEST" "" ${ARGN})
  set(VOK_RC_NAME ${target})
  set(VOK_RC_DESCRIPTION "${description}")
  string(REPLACE "." "," rc_version "${PROJECT_VERSION}")
  string(REPLACE "," ";" parts "${rc_version}")
  list(LENGTH parts count)
  while(count LESS 4)
    string(APPEND rc_version ",0")
    math(EXPR count "${count} + 1")
  endwhile()
  set(VOK_RC_VERSION ${rc_version})
  set(VOK_RC_MANIFEST "")
  set(manifest "")
  if(R_MANIFEST)
    string(REPLACE "," "." VOK_RC_VERSION_DOTTED "${rc_version}")
    set(manifest ${CMAKE_BINARY_DIR}/windows/${target}.exe.manifest)
    configure_file(${R_MANIFEST} ${manifest} @ONLY)
    # CREATEPROCESS_MANIFEST_RESOURCE_ID, RT_MANIFEST
    set(VOK_RC_MANIFEST "1 24 \"${manifest}\"")
  endif()
  set(rc ${CMAKE_BINARY_DIR}/windows/${target}.rc)
  configure_file(${CMAKE_SOURCE_DIR}/packaging/windows/program.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${VOK_ICON_FILE};${manifest}")
  add_dependencies(${target} vok_windows_icon)
endfunction()
