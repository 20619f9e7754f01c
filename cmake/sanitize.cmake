# AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer over
# everything built here; any report ends the process with a failing status.
add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
add_link_options(-fsanitize=address,undefined)

# Every ctest run in this tree gets the sanitizer options, however it is
# started: the script is read by ctest itself before any test runs.
set(STARLUME_LSAN_SUPP ${PROJECT_SOURCE_DIR}/tests/lsan.supp)
configure_file(${CMAKE_CURRENT_LIST_DIR}/sanitizer-env.cmake.in sanitizer-env.cmake @ONLY)
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES
  ${CMAKE_CURRENT_BINARY_DIR}/sanitizer-env.cmake)

# Output of a test that holds a sanitizer report fails the test, even when the
# program's status was never looked at (an end-to-end test that stops it).
set(STARLUME_SANITIZER_REPORT "==[0-9]+==ERROR: [A-Za-z]+Sanitizer|runtime error: ")

# Mesa's GL library unloads the software driver at exit, before the leak check
# runs, and the driver's own leftovers would then come from an unknown module
# that no suppression can name. Loading the driver with the program keeps it
# mapped to the end.
find_file(STARLUME_MESA_DRIVER swrast_dri.so
  PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/dri /usr/lib64/dri /usr/lib/dri
  NO_DEFAULT_PATH)
if(STARLUME_MESA_DRIVER)
  foreach(target starlume starlume_stills)
    set(wrapper ${CMAKE_BINARY_DIR}/${target}-sanitized)
    file(GENERATE OUTPUT ${wrapper}
      CONTENT "#!/bin/sh\nexport LD_PRELOAD=${STARLUME_MESA_DRIVER}\${LD_PRELOAD:+:\$LD_PRELOAD}\nexec $<TARGET_FILE:${target}> \"$@\"\n"
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(STARLUME_E2E_BIN ${CMAKE_BINARY_DIR}/starlume-sanitized)
  set(STARLUME_E2E_STILLS ${CMAKE_BINARY_DIR}/starlume_stills-sanitized)
endif()
