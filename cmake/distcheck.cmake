# cmake -DTARBALL=<tarball> -DNAME=<top folder> -DDATE=<manual date> -P distcheck.cmake
# Unpacks the tarball in a temporary folder, builds it there, with no git
# repository to lean on, and runs its unit tests. The folder is removed when
# everything passes and kept for a look when something fails.
set(tmp /tmp)
if(DEFINED ENV{TMPDIR})
  set(tmp $ENV{TMPDIR})
endif()
execute_process(COMMAND mktemp -d ${tmp}/starlume-distcheck.XXXXXX
  OUTPUT_VARIABLE work OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
file(ARCHIVE_EXTRACT INPUT ${TARBALL} DESTINATION ${work})
file(GLOB top RELATIVE ${work} ${work}/*)
if(NOT top STREQUAL NAME OR EXISTS ${work}/${NAME}/.git)
  message(FATAL_ERROR "${TARBALL} must hold ${NAME}/ alone, without .git; it holds: ${top}")
endif()
# Git must not find a repository above the folder either.
set(ENV{GIT_CEILING_DIRECTORIES} ${work})
cmake_host_system_information(RESULT jobs QUERY NUMBER_OF_LOGICAL_CORES)
foreach(step
    "${CMAKE_COMMAND};-S;${work}/${NAME};-B;${work}/build;-DCMAKE_BUILD_TYPE=Release"
    "${CMAKE_COMMAND};--build;${work}/build;--parallel;${jobs}"
    "${CMAKE_CTEST_COMMAND};--test-dir;${work}/build;-L;^unit$;--output-on-failure")
  execute_process(COMMAND ${step} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "distcheck failed in ${work}: ${step}")
  endif()
endforeach()
# Without git the dates come from the commit time git archive wrote in.
file(STRINGS ${work}/build/starlume.6 dated REGEX "^\\.Dd ")
if(NOT dated STREQUAL ".Dd ${DATE}")
  message(FATAL_ERROR "The tarball's manual says '${dated}', the checkout's '.Dd ${DATE}'")
endif()
file(REMOVE_RECURSE ${work})
message(STATUS "${NAME} builds from its tarball and passes its unit tests")
