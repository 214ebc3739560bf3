# The program's artwork and sounds, drawn and synthesised at build time by the generators in
# this folder (python3 with its standard library, ImageMagick for text, espeak-ng, sox, lame),
# all running on the build host. Included by resources/CMakeLists.txt.
#
# Defines:
#   target clipvane_art        builds everything below
#   CLIPVANE_ART_DIR           ${CMAKE_BINARY_DIR}/art, where the files land (also cached, so
#                              other folders, e.g. the program folder, can copy eg.mp3/chord.wav)
#   CLIPVANE_ART_FILES         the files the resource script embeds (for OBJECT_DEPENDS)
#   test art_check             checks sizes and formats of every output
#   test art_check_rejects_faults  shows that the check notices broken files
# Outputs: program.ico, program.png, strip_139/140/141/143/144/145.bmp, the panel pictures
# flag_148/149.bmp, thumb_142.bmp, play_146.bmp, keys_147.bmp, busy.avi, chord.wav, eg.mp3, and
# for people to look at: preview.png (strips and panel pictures), busy_preview.png (the clip).

set(_art_src ${CMAKE_CURRENT_LIST_DIR})
set(CLIPVANE_ART_DIR ${CMAKE_BINARY_DIR}/art)
set(CLIPVANE_ART_DIR ${CLIPVANE_ART_DIR} CACHE INTERNAL "Generated artwork and sounds")

# Host programs only: the cross toolchain must not be asked for them.
find_program(CLIPVANE_PYTHON3 NAMES python3 HINTS /usr/bin NO_CMAKE_FIND_ROOT_PATH REQUIRED)
find_program(CLIPVANE_BASH NAMES bash NO_CMAKE_FIND_ROOT_PATH REQUIRED)
foreach(_tool espeak-ng sox lame)
  string(MAKE_C_IDENTIFIER "CLIPVANE_TOOL_${_tool}" _var)
  find_program(${_var} NAMES ${_tool} NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${_var})
    message(FATAL_ERROR "${_tool} is needed to make the sample sounds (scripts/setup installs it)")
  endif()
endforeach()
# /usr/local/bin/convert on these machines is not ImageMagick; the generators call /usr/bin/convert.
if(NOT EXISTS /usr/bin/convert)
  message(FATAL_ERROR "ImageMagick (/usr/bin/convert) is needed to draw the toolbar captions")
endif()
set(_art_bitmap_font /usr/share/fonts/X11/misc/wenquanyi_9pt.pcf)
if(NOT EXISTS ${_art_bitmap_font})
  message(FATAL_ERROR "${_art_bitmap_font} (xfonts-wqy) is needed to draw the shortcut table")
endif()

set(_art_strips)
foreach(_n 139 140 141 143 144 145)
  list(APPEND _art_strips ${CLIPVANE_ART_DIR}/strip_${_n}.bmp)
endforeach()

add_custom_command(
  OUTPUT ${_art_strips}
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_toolbar.py ${CLIPVANE_ART_DIR}
  DEPENDS ${_art_src}/gen_toolbar.py ${_art_src}/raster.py
  COMMENT "Drawing the toolbar strips"
  VERBATIM)

set(_art_panel_pictures)
foreach(_name flag_148 flag_149 thumb_142 play_146 keys_147)
  list(APPEND _art_panel_pictures ${CLIPVANE_ART_DIR}/${_name}.bmp)
endforeach()
add_custom_command(
  OUTPUT ${_art_panel_pictures}
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_panel_art.py ${CLIPVANE_ART_DIR} ${_art_bitmap_font}
  DEPENDS ${_art_src}/gen_panel_art.py ${_art_src}/raster.py ${_art_bitmap_font}
  COMMENT "Drawing the timeline flags and thumb, the play button and the shortcut table"
  VERBATIM)

add_custom_command(
  OUTPUT ${CLIPVANE_ART_DIR}/preview.png
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_preview.py ${CLIPVANE_ART_DIR} ${CLIPVANE_ART_DIR}/preview.png
  DEPENDS ${_art_src}/gen_preview.py ${_art_src}/gen_toolbar.py ${_art_src}/gen_panel_art.py
          ${_art_src}/raster.py ${_art_strips} ${_art_panel_pictures}
  COMMENT "Composing the artwork preview"
  VERBATIM)

add_custom_command(
  OUTPUT ${CLIPVANE_ART_DIR}/program.ico ${CLIPVANE_ART_DIR}/program.png
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_icon.py ${CLIPVANE_ART_DIR}
  DEPENDS ${_art_src}/gen_icon.py ${_art_src}/raster.py
  COMMENT "Drawing the program icon"
  VERBATIM)

add_custom_command(
  OUTPUT ${CLIPVANE_ART_DIR}/busy.avi ${CLIPVANE_ART_DIR}/busy_preview.png
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_busy_avi.py ${CLIPVANE_ART_DIR} ${CLIPVANE_ART_DIR}/busy_preview.png
  DEPENDS ${_art_src}/gen_busy_avi.py ${_art_src}/raster.py
  COMMENT "Making the busy animation clip"
  VERBATIM)

add_custom_command(
  OUTPUT ${CLIPVANE_ART_DIR}/chord.wav
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CLIPVANE_ART_DIR}
  COMMAND ${CLIPVANE_PYTHON3} -B ${_art_src}/gen_chord.py ${CLIPVANE_ART_DIR}/chord.wav
  DEPENDS ${_art_src}/gen_chord.py
  COMMENT "Synthesising chord.wav"
  VERBATIM)

add_custom_command(
  OUTPUT ${CLIPVANE_ART_DIR}/eg.mp3
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CLIPVANE_ART_DIR}
  COMMAND ${CLIPVANE_BASH} ${_art_src}/gen_sample.sh ${CLIPVANE_ART_DIR}/eg.mp3
  DEPENDS ${_art_src}/gen_sample.sh
  COMMENT "Speaking and encoding the sample eg.mp3"
  VERBATIM)

set(CLIPVANE_ART_FILES
  ${CLIPVANE_ART_DIR}/program.ico ${_art_strips} ${_art_panel_pictures} ${CLIPVANE_ART_DIR}/busy.avi)
add_custom_target(clipvane_art ALL DEPENDS
  ${CLIPVANE_ART_FILES}
  ${CLIPVANE_ART_DIR}/program.png ${CLIPVANE_ART_DIR}/preview.png ${CLIPVANE_ART_DIR}/busy_preview.png
  ${CLIPVANE_ART_DIR}/chord.wav ${CLIPVANE_ART_DIR}/eg.mp3)

add_test(NAME art_check COMMAND ${CLIPVANE_BASH} ${_art_src}/check-art ${CLIPVANE_ART_DIR})
add_test(NAME art_check_rejects_faults
  COMMAND ${CLIPVANE_BASH} ${_art_src}/check-art-rejects-faults ${_art_src}/check-art ${CLIPVANE_ART_DIR})
