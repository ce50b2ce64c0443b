# What `cmake --install` puts under the prefix.  The `tavren` command installs
# itself (cli/).  The window program goes to bin with its help page beside it,
# because it looks for the page in its own folder; its desktop entry and icon
# go where freedesktop menus and "Open with" find them.
#
# Included at the end of the top-level file, so every target is known here.
include(GNUInstallDirs)

if(TARGET brisolm-tavren)
  install(TARGETS brisolm-tavren RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${PROJECT_SOURCE_DIR}/window/help/BrisolmTavren Help.html"
          DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES "${PROJECT_SOURCE_DIR}/window/brisolm-tavren.desktop"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES "${PROJECT_SOURCE_DIR}/window/resources/app_icon.svg"
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
          RENAME brisolm-tavren.svg)
endif()
