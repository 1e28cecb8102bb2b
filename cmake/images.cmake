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
  tools/imagegen_scene.cpp
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

# The pictures that scenes read directly, each embedded as quill_<name>.
set(QUILL_UNKEYED_PICTURES title_logo reel_image flower_image corner_mask_image subtitle_image
  signature_image height_image)
set(QUILL_IMAGE_FILES images.bin image_table.inc)
foreach(name IN LISTS QUILL_UNKEYED_PICTURES)
  list(APPEND QUILL_IMAGE_FILES ${name}.rgb)
endforeach()
list(TRANSFORM QUILL_IMAGE_FILES PREPEND ${QUILL_IMAGE_DIR}/ OUTPUT_VARIABLE QUILL_IMAGE_OUTPUTS)
# The tunnel's fragment program, kept right behind the height image's bytes.
set(QUILL_BUMP_PROGRAM ${CMAKE_SOURCE_DIR}/data/programs/bump_shader.arbfp)
add_custom_command(
  OUTPUT ${QUILL_IMAGE_OUTPUTS}
  COMMAND imagegen ${QUILL_IMAGE_RECIPES} ${QUILL_IMAGE_DIR}
  DEPENDS imagegen ${QUILL_IMAGE_RECIPES}
  COMMENT "Painting the embedded images"
  VERBATIM)
add_custom_target(quill_images DEPENDS ${QUILL_IMAGE_OUTPUTS})

quill_embed(TARGET quillmora_core SYMBOL quill_image_blob FILE ${QUILL_IMAGE_DIR}/images.bin DEPENDS quill_images)
foreach(name IN LISTS QUILL_UNKEYED_PICTURES)
  set(files ${QUILL_IMAGE_DIR}/${name}.rgb)
  if(name STREQUAL "height_image")
    list(APPEND files ${QUILL_BUMP_PROGRAM})
  endif()
  quill_embed(TARGET quillmora_core SYMBOL quill_${name} FILE ${files} DEPENDS quill_images)
endforeach()
target_sources(quillmora_core PRIVATE gfx/image_store.cpp)
set_source_files_properties(gfx/image_store.cpp PROPERTIES OBJECT_DEPENDS ${QUILL_IMAGE_DIR}/image_table.inc)

# Contact sheet of every picture for docs/pictures-and-models.md: cmake --build <dir> --target contact_sheet
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
  COMMAND sh -c "again=$1 built=$4 && rm -rf \"$again\" && mkdir -p \"$again\" && \"$2\" \"$3\" \"$again\" && shift 4 && for f in \"$@\"; do cmp \"$again/$f\" \"$built/$f\" || exit 1; done"
    repaint ${CMAKE_BINARY_DIR}/image_repaint $<TARGET_FILE:imagegen> ${QUILL_IMAGE_RECIPES} ${QUILL_IMAGE_DIR}
    ${QUILL_IMAGE_FILES})
set_tests_properties(image_generation_is_deterministic PROPERTIES LABELS images)
# A scene-read picture must be one the library declares, at the declared size.
add_test(NAME imagegen_checks_unkeyed_pictures
  COMMAND sh -c "mkdir -p \"$2\" && cd \"$2\" && printf 'picture reel_image 64 64\\nend\\n' > wrong_size.txt && printf 'picture mystery 8 8\\nend\\n' > unknown.txt && ! \"$1\" wrong_size.txt . 2> size.err && grep -q 'wrong_size.txt:0: reel_image: size differs' size.err && ! \"$1\" unknown.txt . 2> unknown.err && grep -q 'no such unkeyed picture' unknown.err"
    checks $<TARGET_FILE:imagegen> ${CMAKE_BINARY_DIR}/image_checks)
set_tests_properties(imagegen_checks_unkeyed_pictures PROPERTIES LABELS images)
# The generator's toolkit (noise, masks, text, recipes, PNG) on its own.
quill_gtest(test_image_tools NAME image_tools SOURCES tests/test_image_tools.cpp tools/png_write.cpp
  LIBS quill_image_painter ZLIB::ZLIB GTest::gtest GTest::gtest_main LABELS images)
# The pictures that scenes read directly and the tunnel's fragment program;
# BumpProgram.* hands the program to the GL, under its own X server.
quill_gtest(test_raw_pictures NAME raw_pictures SOURCES tests/test_raw_pictures.cpp
  ARGS --gtest_filter=-BumpProgram.* LABELS images)
quill_gtest(test_raw_pictures NAME bump_program_gl XVFB ARGS --gtest_filter=BumpProgram.* LABELS images gl)
