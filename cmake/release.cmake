# The release: the manual's date, the changelog and the source tarball. The
# version itself is written once, in project(); the program, the manual, the
# metainfo, the package and the tarball all read PROJECT_VERSION.

# The manual is dated by the last commit, so one source always gives the same
# manual. SOURCE_DATE_EPOCH overrides it. A tarball from `make dist` has no
# .git; git archive writes the commit time into cmake/commit-time instead.
# A tree with neither falls back to today.
function(starlume_release_epoch out)
  if(DEFINED ENV{SOURCE_DATE_EPOCH})
    set(${out} "$ENV{SOURCE_DATE_EPOCH}" PARENT_SCOPE)
    return()
  endif()
  file(STRINGS ${PROJECT_SOURCE_DIR}/cmake/commit-time stamp LIMIT_COUNT 1)
  if(stamp MATCHES "^[0-9]+$")
    set(${out} ${stamp} PARENT_SCOPE)
    return()
  endif()
  find_package(Git QUIET)
  if(NOT GIT_FOUND)
    return()
  endif()
  # Only this project's own repository: an unpacked tarball may sit inside
  # some other checkout.
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --show-toplevel --absolute-git-dir
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE failed
    OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(failed)
    return()
  endif()
  string(REPLACE "\n" ";" found "${found}")
  list(GET found 0 top)
  list(GET found 1 gitdir)
  file(REAL_PATH ${top} top)
  file(REAL_PATH ${PROJECT_SOURCE_DIR} source)
  if(NOT top STREQUAL source)
    return()
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE stamp
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(stamp MATCHES "^[0-9]+$")
    set(${out} ${stamp} PARENT_SCOPE)
    # A new commit configures the tree again, so the dates follow it.
    if(EXISTS ${gitdir}/logs/HEAD)
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${gitdir}/logs/HEAD)
    endif()
  endif()
endfunction()

# string(TIMESTAMP) formats SOURCE_DATE_EPOCH when it is set, so the epoch
# goes through it for the moment.
function(starlume_manual_date)
  starlume_release_epoch(epoch)
  if(epoch AND NOT DEFINED ENV{SOURCE_DATE_EPOCH})
    set(ENV{SOURCE_DATE_EPOCH} ${epoch})
    set(borrowed ON)
  endif()
  string(TIMESTAMP month "%B" UTC)
  string(TIMESTAMP day "%d" UTC)
  string(TIMESTAMP year "%Y" UTC)
  if(borrowed)
    unset(ENV{SOURCE_DATE_EPOCH})
  endif()
  string(REGEX REPLACE "^0" "" day ${day})
  set(STARLUME_MANUAL_DATE "${month} ${day}, ${year}" PARENT_SCOPE)
endfunction()

starlume_manual_date()

# CHANGELOG.md is the one list of what each version brought; its entries
# ("## VERSION — YYYY-MM-DD", then "- " items with two-space continuation
# lines) give the metainfo's releases, and the Debian changelog the package
# carries, since Debian reads a native package's changelog.gz in that format.
# The newest entry must be this version.
function(starlume_changelog debian)
  set(changelog ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${changelog})
  file(READ ${changelog} text)
  # Lines become list items, so a semicolon in the text waits outside.
  string(ASCII 31 semicolon)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "\n" ";" lines "${text}\n## end")
  # Releases made on the same day are told apart by the hour, later ones
  # later, since Debian wants every entry newer than the one below it.
  string(REGEX MATCHALL "\n## [0-9.]+ — [0-9-]+" headings "\n${text}")
  set(dates "")
  foreach(heading IN LISTS headings)
    string(REGEX REPLACE ".* " "" day "${heading}")
    list(APPEND dates ${day})
  endforeach()
  set(index 0)
  set(releases "")
  set(out "")
  set(version "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^## ")
      if(NOT version STREQUAL "")
        # The entries below this one on the same day.
        set(hour 0)
        list(LENGTH dates count)
        math(EXPR below "${index} + 1")
        while(below LESS count)
          list(GET dates ${below} other)
          if(other STREQUAL date)
            math(EXPR hour "${hour} + 1")
          endif()
          math(EXPR below "${below} + 1")
        endwhile()
        execute_process(COMMAND date -u -R -d "${date} ${hour}:00" OUTPUT_VARIABLE stamp
          OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        string(APPEND out "\n -- ${STARLUME_MAINTAINER}  ${stamp}\n")
        math(EXPR index "${index} + 1")
      endif()
      if(line STREQUAL "## end")
        break()
      elseif(NOT line MATCHES "^## ([0-9]+[.][0-9]+[.][0-9]+) — ([0-9]+-[0-9]+-[0-9]+)$")
        message(FATAL_ERROR "CHANGELOG.md: an entry starts \"## VERSION — YYYY-MM-DD\", not \"${line}\"")
      endif()
      set(version ${CMAKE_MATCH_1})
      set(date ${CMAKE_MATCH_2})
      if(NOT releases AND NOT version VERSION_EQUAL PROJECT_VERSION)
        message(FATAL_ERROR "CHANGELOG.md's newest entry is ${version}, the project's version ${PROJECT_VERSION}")
      endif()
      if(NOT out STREQUAL "")
        string(APPEND out "\n")
      endif()
      string(APPEND out "${PROJECT_NAME} (${version}) unstable; urgency=medium\n\n")
      string(APPEND releases "    <release version=\"${version}\" date=\"${date}\"/>\n")
    elseif(NOT version STREQUAL "" AND line MATCHES "^- (.*)")
      string(APPEND out "  * ${CMAKE_MATCH_1}\n")
    elseif(NOT version STREQUAL "" AND line MATCHES "^  (.*)")
      string(APPEND out "    ${CMAKE_MATCH_1}\n")
    endif()
  endforeach()
  string(REPLACE "${semicolon}" ";" out "${out}")
  file(WRITE ${debian} "${out}")
  string(STRIP "${releases}" releases)
  set(STARLUME_RELEASES "${releases}" PARENT_SCOPE)
endfunction()

# `make dist`: starlume-VERSION.tar.gz in the build tree, from the last
# commit's tracked files under one top folder. git archive stamps every entry
# with the commit time and root ownership, and gzip -n leaves out its own
# timestamp, so the same commit gives the same bytes.
set(STARLUME_DIST_NAME ${PROJECT_NAME}-${PROJECT_VERSION})
set(STARLUME_DIST ${PROJECT_BINARY_DIR}/${STARLUME_DIST_NAME}.tar.gz)
add_custom_target(dist
  COMMAND ${CMAKE_COMMAND} -DSOURCE=${PROJECT_SOURCE_DIR} -DNAME=${STARLUME_DIST_NAME}
    -DOUT=${STARLUME_DIST} -P ${PROJECT_SOURCE_DIR}/cmake/dist.cmake
  VERBATIM)
# `make distcheck`: the tarball unpacked in a temporary folder, built there
# and its unit tests run.
add_custom_target(distcheck
  COMMAND ${CMAKE_COMMAND} -DTARBALL=${STARLUME_DIST} -DNAME=${STARLUME_DIST_NAME}
    "-DDATE=${STARLUME_MANUAL_DATE}" -P ${PROJECT_SOURCE_DIR}/cmake/distcheck.cmake
  VERBATIM)
add_dependencies(distcheck dist)
