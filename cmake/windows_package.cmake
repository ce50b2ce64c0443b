# What `cmake --install` puts into the Windows folder besides the programs
# and their pages, and the zip and the installer made of it
# (`make windows`: build/windows/brisolm-tavren-<version>-win64.zip and
# -setup.exe).

# The Qt plugins the window loads, in the folders Qt looks in beside it.
if(TARGET brisolm-tavren)
  foreach(plugin ${TAVREN_QT_PLUGINS})
    get_filename_component(folder "${plugin}" DIRECTORY)
    install(FILES "${TAVREN_WINDOWS_SDK}/plugins/${plugin}" DESTINATION "${folder}")
  endforeach()
endif()

# Every DLL the programs and plugins import that Windows does not ship,
# found from their import tables: what the SDK and MinGW's runtime hold is
# copied beside the programs; what neither holds is Windows' own.
install(CODE "
  set(TAVREN_OBJDUMP \"${CMAKE_OBJDUMP}\")
  set(TAVREN_DLL_DIRS \"${TAVREN_WINDOWS_DLL_DIRS}\")
")
install(SCRIPT "${CMAKE_CURRENT_LIST_DIR}/windows_deploy_dlls.cmake")

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME brisolm-tavren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${TAVREN_COMPANY_NAME}")
set(CPACK_PACKAGE_FILE_NAME "brisolm-tavren-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo enhancer with haze removal and tone correction")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "${TAVREN_PRODUCT_NAME}")
# The installer's own key; the window keeps its state under the product's
# key, which uninstalling leaves alone, as programs on Windows do.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "${TAVREN_PRODUCT_NAME} Setup")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_BINARY_DIR}/cpack_windows.cmake")
file(WRITE "${PROJECT_BINARY_DIR}/cpack_windows.cmake" "
if(CPACK_GENERATOR STREQUAL \"NSIS\")
  set(CPACK_PACKAGE_FILE_NAME \"\${CPACK_PACKAGE_FILE_NAME}-setup\")
endif()
")

# A per-user installer (no administrator) from the project's own template,
# cmake/nsis/NSIS.template.in: CPack takes it in place of its own.
set(CPACK_NSIS_DISPLAY_NAME "${TAVREN_PRODUCT_NAME}")
set(CPACK_NSIS_PACKAGE_NAME "${TAVREN_PRODUCT_NAME}")
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/window/resources/app_icon.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/window/resources/app_icon.ico")
list(PREPEND CMAKE_MODULE_PATH "${PROJECT_SOURCE_DIR}/cmake/nsis")

# "Open with" for every picture type the window reads, for this user.
set(open_with "")
set(forget_open_with "")
set(application "Software\\\\Classes\\\\Applications\\\\brisolm-tavren.exe")
foreach(ext .jpg .jpeg .jfif .jpe .bmp .heic .heif .hif .png .tif .tiff .webp .avif)
  string(APPEND open_with
         "WriteRegStr HKCU '${application}\\\\SupportedTypes' '${ext}' ''\n"
         "WriteRegStr HKCU 'Software\\\\Classes\\\\${ext}\\\\OpenWithList\\\\brisolm-tavren.exe' '' ''\n")
  string(APPEND forget_open_with
         "DeleteRegKey HKCU 'Software\\\\Classes\\\\${ext}\\\\OpenWithList\\\\brisolm-tavren.exe'\n"
         "DeleteRegKey /ifempty HKCU 'Software\\\\Classes\\\\${ext}\\\\OpenWithList'\n"
         "DeleteRegKey /ifempty HKCU 'Software\\\\Classes\\\\${ext}'\n")
endforeach()
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "
WriteRegStr HKCU '${application}' 'FriendlyAppName' '${TAVREN_PRODUCT_NAME}'
WriteRegStr HKCU '${application}\\\\shell\\\\open\\\\command' '' '\\\"$INSTDIR\\\\brisolm-tavren.exe\\\" \\\"%1\\\"'
${open_with}")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "
DeleteRegKey HKCU '${application}'
DeleteRegKey /ifempty HKCU 'Software\\\\Classes\\\\Applications'
${forget_open_with}")

include(CPack)
