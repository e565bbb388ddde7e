# What `cmake --install build --prefix P` puts under P:
#   bin/                        noskrun, noskview and the engine noskwin
#   lib/nosk/                   noskrun's window module and the engine's
#                               hypergeometric module (each opened on use)
#   share/nosk/                 the shared data (cmake/DataFiles.cmake)
#   share/applications/         the desktop entries of the two programs
#   share/icons/hicolor/        their icons
#   share/metainfo/             the AppStream description
#   share/man/man1/             the manual pages
#   share/doc/nosk/             README, licence and third-party notices
include(GNUInstallDirs)

# Programs: one rule per target, each installed when it is part of this build.
foreach(program noskrun noskview noskwin)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(TARGET noskrun_window)
  install(TARGETS noskrun_window LIBRARY DESTINATION ${NOSK_WINDOW_INSTALL_DIR})
endif()
if(TARGET nosk_hypergeometric AND TARGET noskwin)
  install(TARGETS nosk_hypergeometric LIBRARY DESTINATION ${NOSK_MODULE_INSTALL_DIR})
endif()

set(packaging ${CMAKE_SOURCE_DIR}/packaging)
install(FILES ${packaging}/noskrun.desktop ${packaging}/noskview.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${packaging}/noskrun.svg ${packaging}/noskview.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 128 256)
  install(FILES ${packaging}/icons/${size}/noskrun.png ${packaging}/icons/${size}/noskview.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
install(FILES ${packaging}/org.nosk.noskrun.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${packaging}/noskrun.1 ${packaging}/noskview.1 ${packaging}/noskwin.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_SOURCE_DIR}/LICENSE
  ${CMAKE_SOURCE_DIR}/THIRD-PARTY.md ${CMAKE_SOURCE_DIR}/CITATION.cff
  DESTINATION ${CMAKE_INSTALL_DOCDIR})
