# vt_add_windows_program(TARGET OUTPUT_NAME name DESCRIPTION_MACRO macro ICON file
#                        SOURCES ... LIBRARIES ...)
# A GUI program with our manifest, icon and a version resource fed from
# config/version.h; DESCRIPTION_MACRO names the macro there that holds its
# file description.
function(vt_add_windows_program target)
  cmake_parse_arguments(P "" "OUTPUT_NAME;DESCRIPTION_MACRO;ICON" "SOURCES;LIBRARIES" ${ARGN})

  set(VT_MANIFEST_NAME ${target})
  set(VT_MANIFEST_DESCRIPTION "${target}")
  set(VT_VERSION_QUAD ${PROJECT_VERSION}.0)
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/app.manifest.in ${manifest} @ONLY)

  set(VT_RC_FILE_NAME ${P_OUTPUT_NAME}.exe)
  set(VT_RC_INTERNAL_NAME ${target})
  set(VT_RC_ICON ${P_ICON})
  set(VT_RC_MANIFEST ${manifest})
  set(VT_RC_DESCRIPTION ${P_DESCRIPTION_MACRO})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)

  add_executable(${target} WIN32 ${P_SOURCES} ${rc})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${P_OUTPUT_NAME})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${manifest};${P_ICON};${PROJECT_SOURCE_DIR}/config/version.h")
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${target} PRIVATE ${P_LIBRARIES} vt_warnings)
endfunction()
