# Replaying the show without a sound device (shared by the shot tool, the
# stretch renderer and the show sheet), and the tests that frames do not
# depend on what was drawn before them.
target_sources(quillmora_core PRIVATE shell/replay.cpp)

quill_gtest(test_history_gl NAME history_gl SOURCES tests/test_history_gl.cpp XVFB LABELS gl)
set_tests_properties(history_gl PROPERTIES TIMEOUT 600)

# quillmora-render: one stretch of the show, frames on descriptor 7 and sound
# to a file; tools/render.sh turns it into an MP4.
add_executable(quillmora-render tools/render.cpp)
target_link_libraries(quillmora-render PRIVATE quillmora_core quill_atomic_file)
target_compile_options(quillmora-render PRIVATE ${QUILL_WARNINGS})

add_test(NAME render_stretch COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_render.sh
  $<TARGET_FILE:quillmora> $<TARGET_FILE:quillmora-render> $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(render_stretch PROPERTIES LABELS gl TIMEOUT 300)
# tools/render.sh's scaled and pillarboxed video, read back by ffprobe.
add_test(NAME render_video COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_render_video.sh $<TARGET_FILE:quillmora-render>)
set_tests_properties(render_video PROPERTIES LABELS gl TIMEOUT 300)

# The whole show on one labelled sheet for the README:
#   cmake --build <dir> --target show_sheet   (writes docs/show.png)
add_executable(show_sheet_tool tools/show_sheet.cpp tools/png_write.cpp)
target_compile_options(show_sheet_tool PRIVATE ${QUILL_WARNINGS})
target_link_libraries(show_sheet_tool PRIVATE quillmora_core quill_image_painter quill_atomic_file ZLIB::ZLIB)
add_custom_target(show_sheet
  COMMAND xvfb-run -a -s "-screen 0 1024x768x24 -noreset"
    $<TARGET_FILE:show_sheet_tool> ${QUILL_LABEL_FONT} ${CMAKE_SOURCE_DIR}/docs/show.png
  DEPENDS show_sheet_tool
  COMMENT "Writing docs/show.png"
  VERBATIM)

# Every scene's frames as the show draws them (run under Xvfb).
quill_bench(bench_show_frames bench/bench_show_frames.cpp)
