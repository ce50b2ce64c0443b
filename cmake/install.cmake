# What `cmake --install` and the package put under the prefix.  The `tavren`
# command installs itself (cli/).  The window's help page goes to its data
# folder (TAVREN_DATA_DIR), where the installed program looks for it; its
# desktop entry, icons and AppStream metadata go where menus, "Open with"
# and software centres find them; manual pages, the shell's completion and
# the documents where `man`, bash and Debian look.
#
# Included at the end of the top-level file, so every target is known here.

# tavren_gzip(SOURCE NAME): builds gz/NAME.gz in the build tree, compressed
# as Debian wants it: best, without name and time, so the bytes are the same
# each time.
function(tavren_gzip source name)
  set(copy "${PROJECT_BINARY_DIR}/gz/${name}")
  add_custom_command(OUTPUT "${copy}.gz"
    COMMAND ${CMAKE_COMMAND} -E copy "${source}" "${copy}"
    COMMAND gzip -9nf "${copy}"
    DEPENDS "${source}" VERBATIM)
  string(MAKE_C_IDENTIFIER "gzip_${name}" target)
  add_custom_target(${target} ALL DEPENDS "${copy}.gz")
endfunction()

set(man1_dir ${CMAKE_INSTALL_MANDIR}/man1)
set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/brisolm-tavren)

# The command line.
tavren_gzip("${PROJECT_SOURCE_DIR}/cli/tavren.1" tavren.1)
install(FILES "${PROJECT_BINARY_DIR}/gz/tavren.1.gz" DESTINATION ${man1_dir})
install(FILES "${PROJECT_SOURCE_DIR}/cli/tavren.bash-completion"
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME tavren)

# The window.
if(TARGET brisolm-tavren)
  install(TARGETS brisolm-tavren RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${PROJECT_SOURCE_DIR}/window/help/BrisolmTavren Help.html"
          DESTINATION ${TAVREN_DATA_DIR})
  tavren_gzip("${PROJECT_SOURCE_DIR}/window/brisolm-tavren.1" brisolm-tavren.1)
  install(FILES "${PROJECT_BINARY_DIR}/gz/brisolm-tavren.1.gz" DESTINATION ${man1_dir})
  install(FILES "${PROJECT_SOURCE_DIR}/window/brisolm-tavren.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  set(icons_dir ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES "${PROJECT_SOURCE_DIR}/window/resources/app_icon.svg"
          DESTINATION ${icons_dir}/scalable/apps RENAME brisolm-tavren.svg)
  install(FILES "${PROJECT_BINARY_DIR}/window/brisolm-tavren-256.png"
          DESTINATION ${icons_dir}/256x256/apps RENAME brisolm-tavren.png)
  configure_file("${PROJECT_SOURCE_DIR}/window/brisolm-tavren.metainfo.xml.in"
                 "${PROJECT_BINARY_DIR}/example.brisolm_imaging.tavren.metainfo.xml" @ONLY)
  install(FILES "${PROJECT_BINARY_DIR}/example.brisolm_imaging.tavren.metainfo.xml"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The documents: the licence under the name Debian gives it.
install(FILES "${PROJECT_SOURCE_DIR}/README.md" DESTINATION ${doc_dir})
install(FILES "${PROJECT_SOURCE_DIR}/LICENSE" DESTINATION ${doc_dir} RENAME copyright)
