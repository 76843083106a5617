# vexo_install_manpage(FILE): installs the manual page FILE (section from
# its extension) compressed, as Debian wants it, without a time stamp.
function(vexo_install_manpage file)
  get_filename_component(name ${file} NAME)
  string(REGEX REPLACE ".*\\.([0-9])$" "\\1" section ${name})
  find_program(GZIP gzip REQUIRED)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name}.gz)
  add_custom_command(OUTPUT ${out}
    COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_SOURCE_DIR}/${file} > ${out}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${file}
    VERBATIM)
  add_custom_target(manpage_${name} ALL DEPENDS ${out})
  include(GNUInstallDirs)
  install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${section})
endfunction()
