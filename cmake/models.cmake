# Models: the build-time generator (tools/modelgen) turns the recipes in
# data/models/ into the show's static models, which the library embeds;
# gfx/models.cpp hands them out by ModelId. quillmora-models exports them as
# OBJ files, and the model_sheet target draws them all into docs/models.png.

set(QUILL_MODEL_RECIPES
  ${CMAKE_SOURCE_DIR}/data/models/projector.txt
  ${CMAKE_SOURCE_DIR}/data/models/room.txt
  ${CMAKE_SOURCE_DIR}/data/models/jack.txt
  ${CMAKE_SOURCE_DIR}/data/models/tree.txt)
set(QUILL_MODEL_DIR ${CMAKE_BINARY_DIR}/generated/models)
file(MAKE_DIRECTORY ${QUILL_MODEL_DIR})

add_library(quill_model_builder STATIC
  tools/model_mesh.cpp
  tools/model_recipe.cpp
  tools/model_build.cpp
  tools/model_tree.cpp)
target_include_directories(quill_model_builder PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quill_model_builder PRIVATE ${QUILL_WARNINGS})

add_executable(modelgen tools/modelgen.cpp)
target_compile_options(modelgen PRIVATE ${QUILL_WARNINGS})
target_link_libraries(modelgen PRIVATE quill_model_builder)

set(QUILL_MODEL_OUTPUTS ${QUILL_MODEL_DIR}/models.bin ${QUILL_MODEL_DIR}/model_table.inc)
add_custom_command(
  OUTPUT ${QUILL_MODEL_OUTPUTS}
  COMMAND modelgen ${QUILL_MODEL_DIR} ${QUILL_MODEL_RECIPES}
  DEPENDS modelgen ${QUILL_MODEL_RECIPES}
  COMMENT "Building the static models"
  VERBATIM)
add_custom_target(quill_models DEPENDS ${QUILL_MODEL_OUTPUTS})

quill_embed(TARGET quillmora_core SYMBOL quill_model_blob FILE ${QUILL_MODEL_DIR}/models.bin DEPENDS quill_models)
target_sources(quillmora_core PRIVATE gfx/models.cpp)
set_source_files_properties(gfx/models.cpp PROPERTIES OBJECT_DEPENDS ${QUILL_MODEL_DIR}/model_table.inc)

# The model sheet for docs/pictures-and-models.md: cmake --build <dir> --target model_sheet
add_executable(model_sheet_tool tools/model_sheet.cpp tools/png_write.cpp)
target_compile_options(model_sheet_tool PRIVATE ${QUILL_WARNINGS})
target_link_libraries(model_sheet_tool PRIVATE quillmora_core quill_image_painter ZLIB::ZLIB)
add_custom_target(model_sheet
  COMMAND model_sheet_tool ${QUILL_LABEL_FONT} ${CMAKE_SOURCE_DIR}/docs/models.png
  DEPENDS model_sheet_tool
  COMMENT "Writing docs/models.png"
  VERBATIM)

# Tests: the models against the room's layout and the generator's own checks
# without a window; the generator from the command line.
quill_gtest(test_models NAME models SOURCES tests/test_models.cpp
  LIBS quillmora_core quill_model_builder GTest::gtest GTest::gtest_main LABELS models)
add_test(NAME modelgen COMMAND bash ${CMAKE_SOURCE_DIR}/tests/test_modelgen.sh
  $<TARGET_FILE:modelgen> ${QUILL_MODEL_DIR} ${QUILL_MODEL_RECIPES})
set_tests_properties(modelgen PROPERTIES LABELS models)
# The tree's winding, seen through back-face culling on a real window.
quill_gtest(test_models_gl NAME models_gl SOURCES tests/test_models_gl.cpp XVFB LABELS models gl)

# quillmora-models -o DIR: every model as a Wavefront OBJ file.
add_executable(quillmora-models tools/models_export.cpp)
target_compile_options(quillmora-models PRIVATE ${QUILL_WARNINGS})
target_link_libraries(quillmora-models PRIVATE quillmora_core)
quill_gtest(test_models_export NAME models_export SOURCES tests/test_models_export.cpp LABELS models)
target_compile_definitions(test_models_export PRIVATE QUILL_MODELS_TOOL="$<TARGET_FILE:quillmora-models>")
add_dependencies(test_models_export quillmora-models)

# Benchmark: the models drawn as the forest and the projector room draw them
# (run it under xvfb-run).
quill_bench(bench_models bench/bench_models.cpp)
