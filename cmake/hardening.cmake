# Hardening: whole-or-nothing output files for every program that writes one,
# and their tests.

# Tools that write files (directly or through the PNG writer) get the
# temporary-file-and-rename writer.
add_library(quill_atomic_file STATIC tools/atomic_file.cpp)
target_include_directories(quill_atomic_file PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quill_atomic_file PRIVATE ${QUILL_WARNINGS})
foreach(writer songc quillmora-soundtrack quillmora-shot test_shot contact_sheet_tool test_image_tools)
  if(TARGET ${writer})
    target_link_libraries(${writer} PRIVATE quill_atomic_file)
  endif()
endforeach()

quill_gtest(test_atomic_file NAME atomic_file SOURCES tests/test_atomic_file.cpp
  LIBS quill_atomic_file GTest::gtest GTest::gtest_main)

add_test(NAME soundtrack_files COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_soundtrack_files.sh $<TARGET_FILE:quillmora-soundtrack>)
set_tests_properties(soundtrack_files PROPERTIES LABELS song TIMEOUT 120)

quill_gtest(test_shot_failures NAME shot_failures_gl SOURCES tests/test_shot_failures.cpp
  LIBS GTest::gtest GTest::gtest_main XVFB LABELS gl)
target_compile_definitions(test_shot_failures PRIVATE QUILL_SHOT_TOOL="$<TARGET_FILE:quillmora-shot>")
add_dependencies(test_shot_failures quillmora-shot)
set_tests_properties(shot_failures_gl PROPERTIES TIMEOUT 300)

# The sound device on SDL's silent driver: format checks and the shutdown order.
quill_gtest(test_audio_device NAME audio_device SOURCES tests/test_audio_device.cpp
  LIBS ${QUILL_TEST_LIBS} ${CMAKE_DL_LIBS})

quill_gtest(test_scene_flag NAME scene_flag SOURCES tests/test_scene_flag.cpp)
