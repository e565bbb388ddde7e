cmake_minimum_required(VERSION 3.25)
# cmake -DSOURCE_DIR=... -P Layering.cmake
# The model stands under the engine, the analyses and the viewer, and they
# reach it only from above:
# - nothing in model/ includes the engine, the analyses, the programs or Qt;
# - the analyses and the viewer include no engine header (the viewer links
#   the model, not the fitter);
# - no two parts of model/ include each other, directly or through others
#   (a part is a file name without its extensions: X.h and X.cpp are one).
# Exit status 1 with one line per finding.

set(findings "")

# The file an include names, relative to SOURCE_DIR, or "" for a system one.
function(resolve_include from name out)
  get_filename_component(dir ${from} DIRECTORY)
  set(result "")
  foreach(candidate ${dir}/${name} ${name} common/${name})
    if(EXISTS ${SOURCE_DIR}/${candidate})
      file(RELATIVE_PATH result ${SOURCE_DIR} ${SOURCE_DIR}/${candidate})
      break()
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The includes of a file as "<quote or angle>|<name>".
function(includes_of file out)
  file(STRINGS ${SOURCE_DIR}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  set(result "")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*([\"<])([^\">]+)[\">]")
      list(APPEND result "${CMAKE_MATCH_1}|${CMAKE_MATCH_2}")
    endif()
  endforeach()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(part_of file out)
  get_filename_component(dir ${file} DIRECTORY)
  get_filename_component(name ${file} NAME_WE)
  set(${out} ${dir}/${name} PARENT_SCOPE)
endfunction()

# The model: what it may not include, and the includes between its parts.
file(GLOB_RECURSE model_files RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/model/*.h ${SOURCE_DIR}/model/*.cpp ${SOURCE_DIR}/model/*.in)
if(NOT model_files)
  message(FATAL_ERROR "no files under ${SOURCE_DIR}/model")
endif()
set(parts "")
foreach(file IN LISTS model_files)
  part_of(${file} part)
  string(MAKE_C_IDENTIFIER ${part} id)
  list(APPEND parts ${part})
  includes_of(${file} incs)
  foreach(inc IN LISTS incs)
    string(REPLACE "|" ";" pair "${inc}")
    list(GET pair 0 kind)
    list(GET pair 1 name)
    if(name MATCHES "^(engine|analysis|organiser|viewer|python|platform|grid|ui|chart)/" OR name MATCHES "^Q")
      list(APPEND findings "${file} includes ${name}")
    endif()
    if(kind STREQUAL "\"")
      resolve_include(${file} ${name} target)
      if(target MATCHES "^model/")
        part_of(${target} to)
        if(NOT to STREQUAL part)
          list(APPEND deps_${id} ${to})
        endif()
      endif()
    endif()
  endforeach()
endforeach()
list(REMOVE_DUPLICATES parts)

# A part that reaches itself through the parts it includes.
foreach(part IN LISTS parts)
  string(MAKE_C_IDENTIFIER ${part} id)
  set(queue ${deps_${id}})
  set(seen "")
  while(queue)
    list(POP_FRONT queue next)
    if(next IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${next})
    if(next STREQUAL part)
      list(JOIN deps_${id} ", " via)
      list(APPEND findings "${part} comes back to itself from what it includes (${via})")
      break()
    endif()
    string(MAKE_C_IDENTIFIER ${next} nid)
    list(APPEND queue ${deps_${nid}})
  endwhile()
endforeach()

# The analyses and the viewer reach the model without the engine.
file(GLOB_RECURSE above RELATIVE ${SOURCE_DIR}
  ${SOURCE_DIR}/analysis/*.h ${SOURCE_DIR}/analysis/*.cpp
  ${SOURCE_DIR}/viewer/*.h ${SOURCE_DIR}/viewer/*.cpp)
foreach(file IN LISTS above)
  includes_of(${file} incs)
  foreach(inc IN LISTS incs)
    if(inc MATCHES "^\"\\|engine/")
      string(REPLACE "\"|" "" name "${inc}")
      list(APPEND findings "${file} includes ${name}")
    endif()
  endforeach()
endforeach()

if(findings)
  list(JOIN findings "\n" text)
  message(FATAL_ERROR "layering:\n${text}")
endif()
list(LENGTH model_files count)
message(STATUS "layering: ${count} files of model/ checked")
