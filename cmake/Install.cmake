# What `cmake --install build --prefix P` puts under P:
#   bin/                      noskrun, noskview and the engine noskwin
#   share/nosk/help/          the help pages (the programs look in ../share/nosk/help)
#   share/nosk/fittests/      the example jobs (the organiser looks in ../share/nosk/fittests)
#   share/applications/       the desktop entries of the two programs
#   share/icons/hicolor/scalable/apps/   their icons
# Each program is installed only when it is part of this build.
include(GNUInstallDirs)

foreach(program noskrun noskview noskwin)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

install(DIRECTORY ${CMAKE_SOURCE_DIR}/help/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nosk/help)
# The engine's built-in circuit definitions, for users to read beside the help.
install(FILES ${CMAKE_SOURCE_DIR}/engine/circuits.txt DESTINATION ${CMAKE_INSTALL_DATADIR}/nosk/help)

# The example jobs are checked for when installing, so that a tree without
# them still installs.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/fittests/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nosk/fittests
  OPTIONAL)

install(FILES
  ${CMAKE_SOURCE_DIR}/packaging/noskrun.desktop
  ${CMAKE_SOURCE_DIR}/packaging/noskview.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES
  ${CMAKE_SOURCE_DIR}/packaging/noskrun.svg
  ${CMAKE_SOURCE_DIR}/packaging/noskview.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
