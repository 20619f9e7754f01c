# The page, built by emscripten (make web): the same core as the native
# program, compiled to wasm, with the web stage around it, written to the
# build tree as index.html, index.js, index.wasm and capture.js; and the
# core's unit tests compiled to wasm and run under node.
enable_language(C)

# KISS FFT's own sources, from npm's kissfft-js (Debian has no build of it
# that emscripten can link).
set(STARLUME_KISSFFT_DIR ${PROJECT_SOURCE_DIR}/node_modules/kissfft-js/src CACHE PATH
  "KISS FFT's C sources")
if(NOT EXISTS ${STARLUME_KISSFFT_DIR}/tools/kiss_fftr.c)
  message(FATAL_ERROR "No KISS FFT sources in ${STARLUME_KISSFFT_DIR}: run npm ci (make deps)")
endif()
add_library(kissfft STATIC ${STARLUME_KISSFFT_DIR}/kiss_fft.c ${STARLUME_KISSFFT_DIR}/tools/kiss_fftr.c)
target_include_directories(kissfft SYSTEM PUBLIC ${STARLUME_KISSFFT_DIR} ${STARLUME_KISSFFT_DIR}/tools)
target_compile_options(kissfft PRIVATE -w)

# The per-star loops' vector types become wasm SIMD.
add_compile_options(-msimd128)

set(STARLUME_FFT kissfft)
include(cmake/core.cmake)

set(web ${PROJECT_SOURCE_DIR}/src/platform/web)
add_executable(starlume_page ${web}/page.cpp ${web}/video.cpp ${web}/webgl.cpp)
target_link_libraries(starlume_page PRIVATE starlume_core)
set_target_properties(starlume_page PROPERTIES OUTPUT_NAME index SUFFIX .html
  LINK_DEPENDS "${web}/page.js;${web}/take.js;${web}/shell.html")
target_link_options(starlume_page PRIVATE
  --shell-file ${web}/shell.html -sMINIFY_HTML=0
  # "SHELL:" keeps CMake from folding the second --js-library into the first.
  "SHELL:--js-library ${web}/page.js" "SHELL:--js-library ${web}/take.js"
  -sENVIRONMENT=web -sALLOW_MEMORY_GROWTH=1 -sEXPORTED_FUNCTIONS=_main,_malloc,_free
  -sMIN_WEBGL_VERSION=1 -sMAX_WEBGL_VERSION=1)
configure_file(${web}/capture.js ${CMAKE_BINARY_DIR}/capture.js COPYONLY)

# The module player, loaded by the page only when a module is opened:
# libopenmpt's wasm build from npm's chiptune3 (its wasm inside the script)
# and the worker that renders with it.
set(STARLUME_CHIPTUNE_DIR ${PROJECT_SOURCE_DIR}/node_modules/chiptune3 CACHE PATH
  "chiptune3's files: libopenmpt built for the browser")
if(NOT EXISTS ${STARLUME_CHIPTUNE_DIR}/libopenmpt.worklet.js)
  message(FATAL_ERROR "No libopenmpt for the browser in ${STARLUME_CHIPTUNE_DIR}: run npm ci (make deps)")
endif()
configure_file(${STARLUME_CHIPTUNE_DIR}/libopenmpt.worklet.js ${CMAKE_BINARY_DIR}/libopenmpt.worklet.js
  COPYONLY)
configure_file(${STARLUME_CHIPTUNE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/libopenmpt.worklet.LICENSE COPYONLY)
configure_file(${web}/tracker.js ${CMAKE_BINARY_DIR}/tracker.js COPYONLY)

# Make video: makevideo.js with the page; mediabunny (MP4 and WebM in the
# page) and its AAC encoder (FFmpeg's, in wasm) from npm, loaded only when a
# video is made, each beside its licence.
configure_file(${web}/makevideo.js ${CMAKE_BINARY_DIR}/makevideo.js COPYONLY)
set(STARLUME_MEDIABUNNY_DIR ${PROJECT_SOURCE_DIR}/node_modules CACHE PATH
  "Where npm put mediabunny and @mediabunny/aac-encoder")
set(mediabunny ${STARLUME_MEDIABUNNY_DIR}/mediabunny)
set(aacencoder ${STARLUME_MEDIABUNNY_DIR}/@mediabunny/aac-encoder)
if(NOT EXISTS ${mediabunny}/dist/bundles/mediabunny.min.mjs OR
   NOT EXISTS ${aacencoder}/dist/bundles/mediabunny-aac-encoder.min.mjs)
  message(FATAL_ERROR "No mediabunny in ${STARLUME_MEDIABUNNY_DIR}: run npm ci (make deps)")
endif()
configure_file(${mediabunny}/dist/bundles/mediabunny.min.mjs ${CMAKE_BINARY_DIR}/mediabunny.js COPYONLY)
configure_file(${mediabunny}/LICENSE ${CMAKE_BINARY_DIR}/mediabunny.LICENSE COPYONLY)
configure_file(${aacencoder}/dist/bundles/mediabunny-aac-encoder.min.mjs
  ${CMAKE_BINARY_DIR}/mediabunny-aac-encoder.js COPYONLY)
configure_file(${aacencoder}/LICENSE ${CMAKE_BINARY_DIR}/mediabunny-aac-encoder.LICENSE COPYONLY)

# Installable and offline: the manifest, its icon, and the service worker,
# written after the page is linked.
configure_file(${web}/manifest.webmanifest ${CMAKE_BINARY_DIR}/manifest.webmanifest COPYONLY)
configure_file(${web}/icon.svg ${CMAKE_BINARY_DIR}/icon.svg COPYONLY)
# At every build: a file copied at configure time changes the page too.
add_custom_target(starlume_offline ALL
  COMMAND ${CMAKE_COMMAND} -DBIN=${CMAKE_BINARY_DIR} -DSOURCE=${web}/sw.js
          -P ${PROJECT_SOURCE_DIR}/cmake/webversion.cmake
  DEPENDS starlume_page VERBATIM)

if(STARLUME_TESTS)
  enable_testing()
  # GoogleTest from Debian's sources, without threads.
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB unit_sources CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(unit_tests ${unit_sources})
  target_include_directories(unit_tests PRIVATE tests/unit)
  target_link_libraries(unit_tests PRIVATE starlume_core GTest::gtest_main)
  # Real files through node; more memory than 16 MB; main's status as node's.
  target_link_options(unit_tests PRIVATE -sNODERAWFS=1 -sALLOW_MEMORY_GROWTH=1 -sEXIT_RUNTIME=1
    -sWASM_ASYNC_COMPILATION=0)
  find_program(NODE node REQUIRED)
  # The one test that needs a second thread runs natively (and under
  # ThreadSanitizer) only.
  add_test(NAME wasm.unit COMMAND ${NODE} $<TARGET_FILE:unit_tests>
    --gtest_filter=-Ring.HandsOverEveryValueInOrderFromAnotherThread)
  # The page in headless Chromium; the native program renders a take made
  # on the page (make test builds it first).
  set(STARLUME_NATIVE ${PROJECT_SOURCE_DIR}/build/starlume CACHE FILEPATH
    "The native starlume, for the page's takes rendered natively")
  # One browser at a time: node --test would run the files side by side,
  # and two software-drawn pages on two cores miss their waits.
  foreach(suite page take video)
    add_test(NAME web.${suite} COMMAND ${NODE} --test
      ${PROJECT_SOURCE_DIR}/tests/web/${suite}.test.mjs)
    set_tests_properties(web.${suite} PROPERTIES TIMEOUT 600 RESOURCE_LOCK chromium
      ENVIRONMENT "STARLUME_WEB=${CMAKE_BINARY_DIR};STARLUME_SOURCE=${PROJECT_SOURCE_DIR};STARLUME_NATIVE=${STARLUME_NATIVE}")
  endforeach()
endif()
