# The song: the compiler (tools/songc*), the sample synthesis (tools/samplegen)
# and the song text under data/song, compiled into the embedded image
# quill_song_image at build time.

# The compiler's parts, as a library the tests link too (not quillmora_core,
# which embeds the compiler's output).
add_library(songc_lib STATIC tools/songc_parse.cpp tools/songc_image.cpp tools/samplegen.cpp)
target_include_directories(songc_lib PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(songc_lib PRIVATE ${QUILL_WARNINGS} -ffp-contract=off)

add_executable(songc tools/songc.cpp)
target_compile_options(songc PRIVATE ${QUILL_WARNINGS})
target_link_libraries(songc PRIVATE songc_lib)

# Order matters: the file with the song header first.
set(QUILL_SONG_SOURCES
  ${CMAKE_SOURCE_DIR}/data/song/song.txt
  ${CMAKE_SOURCE_DIR}/data/song/instruments.txt
  ${CMAKE_SOURCE_DIR}/data/song/samples.txt
  ${CMAKE_SOURCE_DIR}/data/song/sequences.txt
  ${CMAKE_SOURCE_DIR}/data/song/patterns.txt)
set(QUILL_SONG_IMAGE ${CMAKE_BINARY_DIR}/generated/song.bin)
add_custom_command(
  OUTPUT ${QUILL_SONG_IMAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/generated
  COMMAND songc -o ${QUILL_SONG_IMAGE} ${QUILL_SONG_SOURCES}
  DEPENDS songc ${QUILL_SONG_SOURCES}
  COMMENT "Compiling the song"
  VERBATIM)
add_custom_target(song_image DEPENDS ${QUILL_SONG_IMAGE})
quill_embed(TARGET quillmora_core SYMBOL quill_song_image FILE ${QUILL_SONG_IMAGE} DEPENDS song_image)

quill_gtest(test_song_compiler NAME song_compiler SOURCES tests/test_song_compiler.cpp
  LIBS songc_lib GTest::gtest GTest::gtest_main LABELS song)

# Offline rendering and level analysis of the embedded song.
add_library(song_meter STATIC tools/song_meter.cpp)
target_compile_options(song_meter PRIVATE ${QUILL_WARNINGS})
target_link_libraries(song_meter PUBLIC quillmora_core)
add_executable(song-meter tools/song_meter_main.cpp)
target_compile_options(song-meter PRIVATE ${QUILL_WARNINGS})
target_link_libraries(song-meter PRIVATE song_meter)

quill_gtest(test_song_content NAME song_content SOURCES tests/test_song_content.cpp LABELS song)

quill_gtest(test_song_levels NAME song_levels SOURCES tests/test_song_levels.cpp
  LIBS song_meter GTest::gtest GTest::gtest_main LABELS song)
target_compile_definitions(test_song_levels PRIVATE QUILL_SONG_FINGERPRINT="${CMAKE_SOURCE_DIR}/tests/song_fingerprint.txt")

# The exported soundtrack measured by ffmpeg.
add_test(NAME song_export_levels COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_song_export.sh $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(song_export_levels PROPERTIES LABELS song TIMEOUT 300 SKIP_RETURN_CODE 77)

add_test(NAME song_songc COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_song_songc.sh $<TARGET_FILE:songc> ${CMAKE_SOURCE_DIR}/data/song)
set_tests_properties(song_songc PROPERTIES LABELS song)
