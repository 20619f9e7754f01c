# cmake -DSOURCE=<checkout> -DNAME=<top folder> -DOUT=<tarball> -P dist.cmake
# The last commit's tracked files, every entry under NAME/, stamped with the
# commit time, owned by root and writable by the owner alone, gzipped without
# a name or timestamp.
find_program(GIT git)
find_program(GZIP gzip REQUIRED)
if(NOT GIT OR NOT EXISTS ${SOURCE}/.git)
  message(FATAL_ERROR "make dist packs the last commit, so it needs the git checkout")
endif()
execute_process(COMMAND ${GIT} -C ${SOURCE} status --porcelain --untracked-files=no
  OUTPUT_VARIABLE changed)
if(changed)
  message(WARNING "Uncommitted changes are not in the tarball:\n${changed}")
endif()
execute_process(
  COMMAND ${GIT} -C ${SOURCE} -c tar.umask=022 archive --format=tar --prefix=${NAME}/ HEAD
  COMMAND ${GZIP} -9 -n
  OUTPUT_FILE ${OUT}.part RESULTS_VARIABLE results)
if(NOT results STREQUAL "0;0")
  file(REMOVE ${OUT}.part)
  message(FATAL_ERROR "git archive | gzip failed: ${results}")
endif()
file(RENAME ${OUT}.part ${OUT})
message(STATUS "Wrote ${OUT}")
