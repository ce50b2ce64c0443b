# The Windows build (cross-built with cmake/mingw-w64-x86_64.cmake): one
# folder holds the programs, the libraries they import and their data, as
# programs on Windows are laid out.

# The names the version resources carry, as the fixed texts spell them
# (tests/workflow/fixed_texts_test.cpp holds them to each other).
set(TAVREN_PRODUCT_NAME "Brisolm Tavren")
set(TAVREN_COMPANY_NAME "Brisolm Imaging")

# tavren_windows_program(TARGET DESCRIPTION): the program's icon, version
# resource and manifest.
function(tavren_windows_program target description)
  set(TAVREN_RC_NAME "${target}")
  set(TAVREN_RC_DESCRIPTION "${description}")
  set(TAVREN_RC_ICON "${PROJECT_SOURCE_DIR}/window/resources/app_icon.ico")
  set(TAVREN_RC_MANIFEST "${PROJECT_SOURCE_DIR}/cmake/program.manifest")
  configure_file("${PROJECT_SOURCE_DIR}/cmake/program.rc.in"
                 "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc" @ONLY)
  target_sources(${target} PRIVATE "${CMAKE_CURRENT_BINARY_DIR}/${target}.rc")
endfunction()

# Where the libraries the programs import come from: the SDK, and MinGW's
# own runtime (the C++ library, the thread library, zlib).
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _tavren_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_tavren_gcc_runtime "${_tavren_libstdcxx}" DIRECTORY)
set(TAVREN_WINDOWS_DLL_DIRS
    "${TAVREN_WINDOWS_SDK}/bin" "${TAVREN_WINDOWS_SDK}/lib" "${_tavren_gcc_runtime}"
    "/usr/x86_64-w64-mingw32/lib" "/usr/x86_64-w64-mingw32/bin")

# The Qt plugins the window loads: the platform, the Windows styles and,
# where the SDK has Qt's SVG module, what draws SVG icons.  Qt looks for
# them in folders beside the program.
set(TAVREN_QT_PLUGINS platforms/qwindows.dll styles/qwindowsvistastyle.dll)
if(EXISTS "${TAVREN_WINDOWS_SDK}/plugins/imageformats/qsvg.dll")
  list(APPEND TAVREN_QT_PLUGINS imageformats/qsvg.dll iconengines/qsvgicon.dll)
endif()
