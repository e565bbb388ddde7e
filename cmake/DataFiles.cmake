# The programs' shared read-only data: installed under share/nosk/ and, for
# programs run from the build tree, named in bin/nosk-data-dir.
include(GNUInstallDirs)

# The shared data the programs look up by name (common/core/DataFiles.h):
# pairs of the name under share/nosk and the file or folder in the source tree.
# Add a line here for another data file; it is installed and found from the
# build tree alike.
set(NOSK_DATA_FILES
  help          help
  fittests      fittests
  circuits.txt  model/circuits.txt)

# The build tree's map, beside the programs: "<name>=<absolute source path>".
set(map "")
set(NOSK_DATA_NAMES "")
set(items ${NOSK_DATA_FILES})
while(items)
  list(POP_FRONT items name source)
  set(path ${CMAKE_SOURCE_DIR}/${source})
  if(NOT EXISTS ${path})
    message(FATAL_ERROR "The data file ${source} is missing from the source tree")
  endif()
  string(APPEND map "${name}=${path}\n")
  list(APPEND NOSK_DATA_NAMES ${name})
  if(IS_DIRECTORY ${path})
    install(DIRECTORY ${path}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/nosk/${name})
  else()
    install(FILES ${path} DESTINATION ${CMAKE_INSTALL_DATADIR}/nosk RENAME ${name})
  endif()
endwhile()
file(CONFIGURE OUTPUT ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/nosk-data-dir CONTENT "${map}" @ONLY)
