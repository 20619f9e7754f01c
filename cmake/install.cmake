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

set(STARLUME_METAINFO ${PROJECT_BINARY_DIR}/${STARLUME_APP_ID}.metainfo.xml)
configure_file(${PROJECT_SOURCE_DIR}/data/${STARLUME_APP_ID}.metainfo.xml.in ${STARLUME_METAINFO}
  @ONLY)

install(TARGETS starlume RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES data/starlume.6 DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
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
  "Starlume plays a music file and opens a window with a grid of up to 100 by 100
stars. The levels of 16 frequency bands, analysed in step with the music, throw
the stars resting on the floor upward, bass at the left and treble at the right.
The stars fall under gravity, follow or flee the mouse, swirl around a black hole
and bounce off or wrap through the walls; keys switch each force and pick one of
ten colour schemes. WAV, AIFF, FLAC, Ogg Vorbis, Opus and MP3 files are analysed.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${STARLUME_MAINTAINER})
# A toy with its manual in section 6.
set(CPACK_DEBIAN_PACKAGE_SECTION games)
# Depends comes from the libraries the binary links, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
