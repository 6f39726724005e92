# The product's one version number is the project version in CMakeLists.txt.
# From it come the version resource of every program and library, the About
# page's text (a generated header), the "Version" setting the installer
# writes, and the names of the installer and the portable zip.

set(QM_VERSION "${PROJECT_VERSION}")
foreach(_part MAJOR MINOR PATCH TWEAK)
  if("${PROJECT_VERSION_${_part}}" STREQUAL "")
    set(QM_VERSION_${_part} 0)
  else()
    set(QM_VERSION_${_part} "${PROJECT_VERSION_${_part}}")
  endif()
endforeach()
# Four numbers, as version resources and the installer's own want them.
set(QM_VERSION_QUAD "${QM_VERSION_MAJOR}.${QM_VERSION_MINOR}.${QM_VERSION_PATCH}.${QM_VERSION_TWEAK}")
set(QM_PUBLISHER "The Quillmend developers")

set(QM_GENERATED_DIR "${CMAKE_BINARY_DIR}/generated")
configure_file(${PROJECT_SOURCE_DIR}/res/version.h.in ${QM_GENERATED_DIR}/quillmend_version.h @ONLY)

# qm_version_resource(TARGET FILE_NAME DESCRIPTION): gives the Windows
# program or DLL TARGET, built as FILE_NAME, a version resource of its own
# (generated from res/version.rc.in).
function(qm_version_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "SHARED_LIBRARY")
    set(QM_FILE_TYPE VFT_DLL)
  else()
    set(QM_FILE_TYPE VFT_APP)
  endif()
  set(QM_FILE_NAME "${file_name}")
  set(QM_FILE_DESCRIPTION "${description}")
  get_filename_component(QM_INTERNAL_NAME "${file_name}" NAME_WE)
  set(_rc ${QM_GENERATED_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/res/version.rc.in ${_rc} @ONLY)
  target_sources(${target} PRIVATE ${_rc})
endfunction()

# qm_manifest_resource(TARGET FILE_NAME DESCRIPTION): gives the Windows
# program TARGET its application manifest (generated from
# res/manifest.xml.in): administrator rights and the supported systems.
function(qm_manifest_resource target file_name description)
  if(NOT WIN32)
    return()
  endif()
  set(QM_FILE_NAME "${file_name}")
  set(QM_FILE_DESCRIPTION "${description}")
  get_filename_component(QM_INTERNAL_NAME "${file_name}" NAME_WE)
  set(_manifest ${QM_GENERATED_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/res/manifest.xml.in ${_manifest} @ONLY)
  set(_rc ${QM_GENERATED_DIR}/${target}_manifest.rc)
  # 1 is CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 is RT_MANIFEST.
  file(WRITE ${_rc} "// The application manifest of ${file_name}, written by CMake.\n1 24 \"${_manifest}\"\n")
  target_sources(${target} PRIVATE ${_rc})
  set_property(SOURCE ${_rc} APPEND PROPERTY OBJECT_DEPENDS ${_manifest})
endfunction()
