# Hardening: whole-or-nothing output files for every program that writes one,
# and their tests.

# Tools that write files (directly or through the PNG writer) get the
# temporary-file-and-rename writer.
add_library(quill_atomic_file STATIC tools/atomic_file.cpp)
target_include_directories(quill_atomic_file PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quill_atomic_file PRIVATE ${QUILL_WARNINGS})
foreach(writer songc quillmora-soundtrack quillmora-shot test_shot contact_sheet_tool model_sheet_tool test_image_tools)
  if(TARGET ${writer})
    target_link_libraries(${writer} PRIVATE quill_atomic_file)
  endif()
endforeach()

# The writer is tested through the programs that use it: tests/test_song_songc.sh,
# tests/test_soundtrack_files.sh and tests/test_shot_failures.cpp make their
# writes fail and cut them short with signals.

add_test(NAME soundtrack_files COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_soundtrack_files.sh $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(soundtrack_files PROPERTIES LABELS song TIMEOUT 600)

quill_gtest(test_shot_failures NAME shot_failures_gl SOURCES tests/test_shot_failures.cpp
  LIBS GTest::gtest GTest::gtest_main XVFB LABELS gl)
target_compile_definitions(test_shot_failures PRIVATE QUILL_SHOT_TOOL="$<TARGET_FILE:quillmora-shot>")
add_dependencies(test_shot_failures quillmora-shot)
set_tests_properties(shot_failures_gl PROPERTIES TIMEOUT 300)

# The sound device on SDL's silent driver: format checks and the shutdown order.
quill_gtest(test_audio_device NAME audio_device SOURCES tests/test_audio_device.cpp
  LIBS ${QUILL_TEST_LIBS} ${CMAKE_DL_LIBS})

quill_gtest(test_scene_flag NAME scene_flag SOURCES tests/test_scene_flag.cpp)

# The song compiler's fuzz target, built by clang with libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer whatever compiler builds the rest. It carries
# its own sanitizers, so the sanitizer build leaves it out. A short run with a
# fixed seed is a test; tools/fuzz_songc.sh runs it for longer.
find_program(QUILL_CLANGXX NAMES clang++ clang++-14)
if(QUILL_CLANGXX AND NOT QUILL_SANITIZE)
  set(QUILL_FUZZ_SOURCES
    ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_songc.cpp
    ${CMAKE_SOURCE_DIR}/tools/songc_parse.cpp
    ${CMAKE_SOURCE_DIR}/tools/songc_image.cpp
    ${CMAKE_SOURCE_DIR}/tools/samplegen.cpp)
  add_custom_command(
    OUTPUT ${CMAKE_BINARY_DIR}/fuzz_songc
    COMMAND ${QUILL_CLANGXX} -std=c++20 -g -O1 -ffp-contract=off
            -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
            -I${CMAKE_SOURCE_DIR} ${QUILL_FUZZ_SOURCES} -o ${CMAKE_BINARY_DIR}/fuzz_songc
    DEPENDS ${QUILL_FUZZ_SOURCES} ${CMAKE_SOURCE_DIR}/tools/song_source.h ${CMAKE_SOURCE_DIR}/audio/song.h
    COMMENT "Building the song compiler's fuzz target"
    VERBATIM)
  add_custom_target(songc_fuzz_target ALL DEPENDS ${CMAKE_BINARY_DIR}/fuzz_songc)
  add_test(NAME songc_fuzz COMMAND bash ${CMAKE_SOURCE_DIR}/tools/fuzz_songc.sh
           --runs 15000 --fuzzer ${CMAKE_BINARY_DIR}/fuzz_songc)
  set_tests_properties(songc_fuzz PROPERTIES LABELS "song;fuzz" TIMEOUT 300)
else()
  message(STATUS "clang++ not found or sanitizer build: the song compiler's fuzz target is not built")
endif()
