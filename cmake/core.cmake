# The core: the show and its pass, the analysis, the clocks, the colours and
# the frame, the key commands, the command line and the console texts. It
# links nothing of a platform (KISS FFT alone, STARLUME_FFT) and is tested
# directly; the native program and the page build the same sources.
file(GLOB STARLUME_CORE_SOURCES CONFIGURE_DEPENDS src/core/*/*.cpp)
add_library(starlume_core STATIC ${STARLUME_CORE_SOURCES})
target_include_directories(starlume_core PUBLIC src)
target_compile_definitions(starlume_core PRIVATE STARLUME_VERSION="${PROJECT_VERSION}")
target_link_libraries(starlume_core PUBLIC ${STARLUME_FFT})
