cmake_minimum_required(VERSION 3.25)
# cmake -DSOURCE_DIR=... -DWORK=... -DREMOVE=viewer/CStatisticsPage.cpp -P MissingSource.cmake
# A copy of the source tree without one of its files must not configure: a
# missing file is an error that names it, never a program left out in silence.
file(REMOVE_RECURSE ${WORK})
file(COPY ${SOURCE_DIR}/ DESTINATION ${WORK}/src
  REGEX "^${SOURCE_DIR}/(build[^/]*|work|\\.git)$" EXCLUDE)
if(NOT EXISTS ${WORK}/src/${REMOVE})
  message(FATAL_ERROR "${REMOVE} is not in the source tree")
endif()
file(REMOVE ${WORK}/src/${REMOVE})
execute_process(COMMAND ${CMAKE_COMMAND} -S ${WORK}/src -B ${WORK}/build -G Ninja
    -DNOSK_TESTS=OFF -DNOSK_BENCH=OFF
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE ${WORK})
get_filename_component(name ${REMOVE} NAME)
if(rc EQUAL 0)
  message(FATAL_ERROR "the tree without ${REMOVE} configured:\n${out}")
endif()
if(NOT err MATCHES "${name}")
  message(FATAL_ERROR "the configure failed without naming ${name}:\n${err}")
endif()
message(STATUS "without ${REMOVE} the configure fails and names it")
