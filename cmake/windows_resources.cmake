# The resources every Windows program carries: its application manifest, its version
# information (from the project's version) and its icon. A publisher who ships the
# updater under an icon and a name of its own sets these before building:
#   -DKESTROVA_WINDOWS_ICON=/path/to/app.ico -DKESTROVA_WINDOWS_COMPANY="Example Ltd"
set(KESTROVA_WINDOWS_ICON "${PROJECT_SOURCE_DIR}/resources/windows/kestrova.ico" CACHE FILEPATH
    "The icon of the Windows programs")
set(KESTROVA_WINDOWS_COMPANY "kestrova" CACHE STRING "CompanyName of the Windows programs' version information")
set(KESTROVA_WINDOWS_PRODUCT "kestrova" CACHE STRING "ProductName of the Windows programs' version information")
set(KESTROVA_WINDOWS_COPYRIGHT "" CACHE STRING "LegalCopyright of the Windows programs' version information")

# kestrova_windows_resources(TARGET DESCRIPTION): gives TARGET its manifest, version and icon.
function(kestrova_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  set(KESTROVA_RC_NAME ${target})
  set(KESTROVA_RC_FILE_NAME ${target}.exe)
  set(KESTROVA_RC_DESCRIPTION "${description}")
  set(KESTROVA_RC_COMPANY "${KESTROVA_WINDOWS_COMPANY}")
  set(KESTROVA_RC_PRODUCT "${KESTROVA_WINDOWS_PRODUCT}")
  set(KESTROVA_RC_COPYRIGHT "${KESTROVA_WINDOWS_COPYRIGHT}")
  set(KESTROVA_RC_ICON "${KESTROVA_WINDOWS_ICON}")
  # Four numbers, as the version resource and the manifest's identity want them.
  set(parts)
  foreach(part MAJOR MINOR PATCH TWEAK)
    if("${PROJECT_VERSION_${part}}" STREQUAL "")
      list(APPEND parts 0)
    else()
      list(APPEND parts ${PROJECT_VERSION_${part}})
    endif()
  endforeach()
  list(JOIN parts "," KESTROVA_RC_VERSION_COMMAS)
  list(JOIN parts "." KESTROVA_RC_VERSION_DOTTED)
  set(folder ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources)
  set(KESTROVA_RC_MANIFEST ${folder}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.manifest.in ${KESTROVA_RC_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/resources/windows/program.rc.in ${folder}/${target}.rc @ONLY)
  target_sources(${target} PRIVATE ${folder}/${target}.rc)
  # windres reads the manifest and the icon itself: a change to either rebuilds the .rc.
  set_source_files_properties(${folder}/${target}.rc PROPERTIES
    OBJECT_DEPENDS "${KESTROVA_RC_MANIFEST};${KESTROVA_RC_ICON}")
endfunction()
