# Installs the program as a desktop program (binary, man page, desktop entry,
# icon, AppStream metainfo) and describes the Debian package CPack builds.
include(GNUInstallDirs)

# One id for the desktop entry, the icon and the metainfo, so that software
# centres and menus tie them together.
set(STARLUME_APP_ID io.github.starlume.Starlume)
# The project has no public hosting yet; this is where the repository is
# expected to live. Software centres fetch the screenshot from
# <base>/docs/montage.png, so point this at wherever the repository is served.
set(STARLUME_SCREENSHOT_BASE_URL "https://raw.githubusercontent.com/starlume/starlume/main"
  CACHE STRING "URL of the repository's files, for the screenshot in the AppStream metainfo")
# Stands in until the project has a maintainer address of its own.
set(STARLUME_MAINTAINER "Starlume developers <starlume@users.noreply.github.com>"
  CACHE STRING "Maintainer field of the Debian package")

# The Debian changelog and the metainfo's releases, from CHANGELOG.md.
starlume_changelog(${PROJECT_BINARY_DIR}/changelog)
set(STARLUME_METAINFO ${PROJECT_BINARY_DIR}/${STARLUME_APP_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/data/${STARLUME_APP_ID}.metainfo.xml.in ${STARLUME_METAINFO}
  @ONLY)

# The manual carries the version and the release date.
configure_file(${PROJECT_SOURCE_DIR}/data/starlume.6.in ${PROJECT_BINARY_DIR}/starlume.6 @ONLY)
# The Debian copyright file, in the machine-readable format, with the
# licence's own text from LICENSE: its permission and warranty paragraphs,
# indented, an empty line written as " .".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
set(notice "Copyright (c) 2026 Starlume developers\n")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(FIND "${licence}" "${notice}" at)
string(LENGTH "${notice}" length)
math(EXPR at "${at} + ${length}")
string(SUBSTRING "${licence}" ${at} -1 licence)
string(STRIP "${licence}" licence)
string(REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REPLACE "\n" "\n " licence "${licence}")
set(STARLUME_LICENSE_TEXT " ${licence}")
configure_file(${PROJECT_SOURCE_DIR}/data/copyright.in ${PROJECT_BINARY_DIR}/copyright @ONLY)

# Compressed as Debian ships them; -n leaves the name and time out of the
# header, so the same text always gives the same bytes.
find_program(STARLUME_GZIP gzip REQUIRED)
foreach(file starlume.6 changelog)
  execute_process(COMMAND ${STARLUME_GZIP} -9 -n -f -k ${PROJECT_BINARY_DIR}/${file}
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()

# Any folder the install creates is 0755 whatever the umask, as packages need.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# /usr/bin, not /usr/games: Starlume plays and pictures music (a visualiser,
# as its desktop entry's AudioVideo category says), renders music videos and
# listens to live sound, so the package is in section sound and the binary
# on everyone's PATH. The manual stays in section 6, with the toys.
install(TARGETS starlume RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# A stripped install (the package) also loses the compilers' version notes,
# as Debian's own stripping does.
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/starlume\"
    COMMAND_ERROR_IS_FATAL ANY)
endif()")
install(FILES ${PROJECT_BINARY_DIR}/starlume.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz ${PROJECT_BINARY_DIR}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES data/${STARLUME_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/${STARLUME_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${STARLUME_METAINFO} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# `cpack -G DEB` in the build tree (`make package`).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME starlume)
set(CPACK_PACKAGE_VENDOR Orvalde)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music-driven particle toy: stars that dance to a music file")
set(CPACK_PACKAGE_DESCRIPTION
  "Starlume plays a music file and opens a window with a grid of up to 100 by
100 stars. The levels of 16 frequency bands, analysed in step with the
music, throw the stars resting on the floor upward, bass at the left and
treble at the right. The stars fall under gravity, follow or flee the mouse,
swirl around a black hole and bounce off or wrap through the walls; keys
switch each force and pick one of ten colour schemes. WAV, AIFF, FLAC, Ogg
Vorbis, Opus and MP3 files are analysed. It also dances to live sound and
renders music videos of a file, with no display needed.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STARLUME_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# Depends comes from the libraries the binary links, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# A video's title and artist are written in DejaVu Sans.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
include(CPack)
