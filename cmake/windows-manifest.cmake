# vexo_add_windows_manifest(TARGET): embeds the programs' manifest
# (ui/win32/vexo.manifest: long paths, run as the invoker) in a Windows
# program as its resource 1 of type RT_MANIFEST (24).
include_guard(GLOBAL)

function(vexo_add_windows_manifest target)
  if(NOT WIN32)
    return()
  endif()
  enable_language(RC)
  set(manifest ${PROJECT_SOURCE_DIR}/ui/win32/vexo.manifest)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_manifest.rc)
  file(CONFIGURE OUTPUT ${rc} CONTENT "1 24 \"${manifest}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS ${manifest})
endfunction()
