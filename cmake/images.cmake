# Images: the build-time painter (tools/imagegen) turns data/images/images.txt
# into raw RGB pictures that the library embeds; gfx/image_store.cpp looks
# them up by key and uploads them as textures.

set(QUILL_IMAGE_RECIPES ${CMAKE_SOURCE_DIR}/data/images/images.txt)
set(QUILL_IMAGE_DIR ${CMAKE_BINARY_DIR}/generated/images)
set(QUILL_LABEL_FONT /usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf)
file(MAKE_DIRECTORY ${QUILL_IMAGE_DIR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${QUILL_IMAGE_RECIPES})

# Every typeface the recipes declare must be installed; say which package brings it.
file(STRINGS ${QUILL_IMAGE_RECIPES} quill_font_lines REGEX "^typeface[ \t]")
foreach(line IN LISTS quill_font_lines)
  string(REGEX REPLACE "[ \t]+" ";" words "${line}")
  list(GET words 2 font_path)
  list(GET words 3 font_package)
  if(NOT EXISTS ${font_path})
    message(FATAL_ERROR "Font ${font_path} is missing: install the Debian package ${font_package}")
  endif()
endforeach()
if(NOT EXISTS ${QUILL_LABEL_FONT})
  message(FATAL_ERROR "Font ${QUILL_LABEL_FONT} is missing: install the Debian package fonts-dejavu-core")
endif()

find_package(ZLIB REQUIRED)

set(QUILL_IMAGE_PAINTER_SOURCES
  tools/imagegen_paint.cpp
  tools/image_recipe.cpp
  tools/image_raster.cpp
  tools/image_text.cpp)
add_library(quill_image_painter STATIC ${QUILL_IMAGE_PAINTER_SOURCES})
target_include_directories(quill_image_painter PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(quill_image_painter PRIVATE ${QUILL_WARNINGS})
target_link_libraries(quill_image_painter PUBLIC Freetype::Freetype m)

add_executable(imagegen tools/imagegen.cpp)
target_compile_options(imagegen PRIVATE ${QUILL_WARNINGS})
target_link_libraries(imagegen PRIVATE quill_image_painter)

set(QUILL_IMAGE_OUTPUTS
  ${QUILL_IMAGE_DIR}/images.bin
  ${QUILL_IMAGE_DIR}/title_logo.rgb
  ${QUILL_IMAGE_DIR}/image_table.inc)
add_custom_command(
  OUTPUT ${QUILL_IMAGE_OUTPUTS}
  COMMAND imagegen ${QUILL_IMAGE_RECIPES} ${QUILL_IMAGE_DIR}
  DEPENDS imagegen ${QUILL_IMAGE_RECIPES}
  COMMENT "Painting the embedded images"
  VERBATIM)
add_custom_target(quill_images DEPENDS ${QUILL_IMAGE_OUTPUTS})

quill_embed(TARGET quillmora_core SYMBOL quill_image_blob FILE ${QUILL_IMAGE_DIR}/images.bin DEPENDS quill_images)
quill_embed(TARGET quillmora_core SYMBOL quill_title_logo FILE ${QUILL_IMAGE_DIR}/title_logo.rgb DEPENDS quill_images)
target_sources(quillmora_core PRIVATE gfx/image_store.cpp)
set_source_files_properties(gfx/image_store.cpp PROPERTIES OBJECT_DEPENDS ${QUILL_IMAGE_DIR}/image_table.inc)

# Contact sheet of every picture for the README: cmake --build <dir> --target contact_sheet
add_executable(contact_sheet_tool tools/contact_sheet.cpp tools/png_write.cpp)
target_compile_options(contact_sheet_tool PRIVATE ${QUILL_WARNINGS})
target_link_libraries(contact_sheet_tool PRIVATE quill_image_painter ZLIB::ZLIB)
add_custom_target(contact_sheet
  COMMAND contact_sheet_tool ${QUILL_IMAGE_RECIPES} ${QUILL_LABEL_FONT} ${CMAKE_SOURCE_DIR}/docs/contact-sheet.png
  DEPENDS contact_sheet_tool
  COMMENT "Writing docs/contact-sheet.png"
  VERBATIM)

# Tests: the store and the pictures' defining properties, without a window.
quill_gtest(test_image_store NAME image_store SOURCES tests/test_image_store.cpp
  ARGS --gtest_filter=-ImageUpload* LABELS images)
# Texture uploads need a GL context: same binary, under its own X server.
quill_gtest(test_image_store NAME image_upload XVFB ARGS --gtest_filter=ImageUpload* LABELS images gl)
# Painting twice must give the same bytes as the embedded build.
add_test(NAME image_generation_is_deterministic
  COMMAND sh -c "rm -rf \"$1\" && mkdir -p \"$1\" && \"$2\" \"$3\" \"$1\" && for f in images.bin title_logo.rgb image_table.inc; do cmp \"$1/$f\" \"$4/$f\" || exit 1; done"
    repaint ${CMAKE_BINARY_DIR}/image_repaint $<TARGET_FILE:imagegen> ${QUILL_IMAGE_RECIPES} ${QUILL_IMAGE_DIR})
set_tests_properties(image_generation_is_deterministic PROPERTIES LABELS images)
# The generator's toolkit (noise, masks, text, recipes, PNG) on its own.
quill_gtest(test_image_tools NAME image_tools SOURCES tests/test_image_tools.cpp tools/png_write.cpp
  LIBS quill_image_painter ZLIB::ZLIB GTest::gtest GTest::gtest_main LABELS images)
