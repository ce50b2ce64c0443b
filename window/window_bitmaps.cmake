# For a Qt without its SVG module (the cross-built one where its source is
# not to be had): the window's pictures are drawn from their SVG files at
# build time, at twice the size the window shows them, and compiled in as
# PNG under the same names (ResourcePicture in window_resources.h).
function(tavren_window_bitmaps target)
  find_program(RSVG_CONVERT rsvg-convert REQUIRED)
  # name:width:height
  set(pictures
      open:64:64 save:64:64 copy:64:64 paste:64:64 prev:64:64 next:64:64 type0:64:64
      type1:64:64 type2:64:64 type3:64:64 manual:64:64 actual_size:64:64 help:64:64 drop:48:48
      close0:28:28 close1:28:28
      close2:28:28 product_logo:344:110 maker_logo:174:158 app_icon:256:256)
  set(folder "${CMAKE_CURRENT_BINARY_DIR}/bitmaps")
  set(qrc "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n  <qresource prefix=\"/\">\n")
  set(bitmaps "")
  foreach(picture ${pictures})
    string(REPLACE ":" ";" parts "${picture}")
    list(GET parts 0 name)
    list(GET parts 1 width)
    list(GET parts 2 height)
    set(svg "${CMAKE_CURRENT_SOURCE_DIR}/resources/${name}.svg")
    set(png "${folder}/resources/${name}.png")
    add_custom_command(OUTPUT "${png}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${folder}/resources"
      COMMAND "${RSVG_CONVERT}" -w ${width} -h ${height} -o "${png}" "${svg}"
      DEPENDS "${svg}" VERBATIM)
    list(APPEND bitmaps "${png}")
    string(APPEND qrc "    <file>resources/${name}.png</file>\n")
  endforeach()
  string(APPEND qrc "  </qresource>\n</RCC>\n")
  file(WRITE "${folder}/resources.qrc" "${qrc}")
  # rcc run by hand, so that it waits for the bitmaps; its name is the one
  # InitWindowResources registers.
  add_custom_command(OUTPUT "${folder}/qrc_resources.cpp"
    COMMAND Qt6::rcc --name resources -o "${folder}/qrc_resources.cpp" "${folder}/resources.qrc"
    DEPENDS ${bitmaps} "${folder}/resources.qrc" VERBATIM)
  target_sources(${target} PRIVATE "${folder}/qrc_resources.cpp")
  target_compile_definitions(${target} PRIVATE TAVREN_BITMAP_PICTURES)
endfunction()
