# What `cmake --install` puts under the prefix.  The `tavren` command installs
# itself (cli/).  The window program goes to bin and its help page to its data
# folder (TAVREN_DATA_DIR), where the installed program looks for it; its
# desktop entry and icon go where freedesktop menus and "Open with" find them.
#
# Included at the end of the top-level file, so every target is known here.

if(TARGET brisolm-tavren)
  install(TARGETS brisolm-tavren RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${PROJECT_SOURCE_DIR}/window/help/BrisolmTavren Help.html"
          DESTINATION ${TAVREN_DATA_DIR})
  install(FILES "${PROJECT_SOURCE_DIR}/window/brisolm-tavren.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES "${PROJECT_SOURCE_DIR}/window/resources/app_icon.svg"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME brisolm-tavren.svg)
endif()
