# The program's layers: one static library each, with its files listed, the layers below it
# that it may use, and the Qt modules it may use. docs/ARCHITECTURE.md tells what each is for.
#
#   sb_layer(<name> [USES <layer>...] QT <module>... [LIBS <target>...] FILES <file>...)
#
# Files are named from source/. A layer may include its own headers and those of the layers
# it uses, directly or through them; nothing else of ours. A build step checks every file of
# the layer before it is compiled (cmake/CheckIncludes.cmake): an include against the layers
# fails the build and names the file, the include and what the layer may use. A layer without
# Widgets among its Qt modules may not include a widget header either.

set(SB_LAYERS "" CACHE INTERNAL "")
set(SB_LAYER_CHECKER ${CMAKE_CURRENT_LIST_DIR}/CheckIncludes.cmake)

function(sb_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 L "" "" "USES;QT;LIBS;FILES;GENERATED")
  set(target sb_${name})

  # What the layer may include: its own headers and every header of the layers below it.
  set(allowed "")
  set(reach ${name})
  foreach(used ${L_USES})
    if(NOT used IN_LIST SB_LAYERS)
      message(FATAL_ERROR "Layer ${name} uses ${used}, which is not declared before it.")
    endif()
    list(APPEND allowed ${SB_LAYER_${used}_ALL_HEADERS})
    list(APPEND reach ${SB_LAYER_${used}_REACH})
  endforeach()
  list(REMOVE_DUPLICATES reach)
  set(headers "")
  set(paths "")
  foreach(file ${L_FILES})
    list(APPEND paths ${CMAKE_SOURCE_DIR}/source/${file})
    if(file MATCHES "\\.h$")
      list(APPEND headers ${file})
    endif()
  endforeach()
  list(APPEND allowed ${headers} ${L_GENERATED})
  list(REMOVE_DUPLICATES allowed)

  set(SB_LAYERS ${SB_LAYERS} ${name} CACHE INTERNAL "")
  set(SB_LAYER_${name}_HEADERS ${headers} ${L_GENERATED} CACHE INTERNAL "")
  set(SB_LAYER_${name}_ALL_HEADERS ${allowed} CACHE INTERNAL "")
  set(SB_LAYER_${name}_REACH ${reach} CACHE INTERNAL "")
  set(SB_LAYER_${name}_FILES ${paths} CACHE INTERNAL "")

  set(widgets OFF)
  set(qt_targets "")
  foreach(module ${L_QT})
    list(APPEND qt_targets Qt6::${module})
    if(module STREQUAL "Widgets")
      set(widgets ON)
    endif()
  endforeach()

  # The check's inputs, written at configure time; it runs again whenever a file changes.
  set(manifest ${CMAKE_BINARY_DIR}/layers/${name}.cmake)
  list(JOIN reach ", " reach_text)
  file(WRITE ${manifest}
       "set(SB_LAYER \"${name}\")\n"
       "set(SB_LAYER_REACH \"${reach_text}\")\n"
       "set(SB_LAYER_WIDGETS ${widgets})\n"
       "set(SB_SOURCE_DIR \"${CMAKE_SOURCE_DIR}/source\")\n"
       "set(SB_LAYER_FILES \"${paths}\")\n"
       "set(SB_LAYER_ALLOWED \"${allowed}\")\n")
  set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DMANIFEST=${manifest} -DSTAMP=${stamp} -P ${SB_LAYER_CHECKER}
    DEPENDS ${paths} ${manifest} ${SB_LAYER_CHECKER}
    COMMENT "Checking the includes of the ${name} layer"
    VERBATIM)
  add_custom_target(${target}_includes DEPENDS ${stamp})

  add_library(${target} STATIC ${paths})
  add_dependencies(${target} ${target}_includes)
  target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/source)
  target_compile_options(${target} PRIVATE ${SB_WARNINGS})
  set(deps "")
  foreach(used ${L_USES})
    list(APPEND deps sb_${used})
  endforeach()
  target_link_libraries(${target} PUBLIC ${deps} ${qt_targets} ${L_LIBS})
endfunction()

# Every .cpp and .h file below `folder` must be in `listed` (absolute paths): a file in no list
# would silently not be built (or not be checked, or never run). Found by a glob only to be
# told about, never to be built. Paths matching `skip` (relative to `folder`) are left alone.
function(sb_require_listed folder listed skip advice)
  file(GLOB_RECURSE present RELATIVE ${folder} ${folder}/*.cpp ${folder}/*.h)
  file(RELATIVE_PATH shown ${CMAKE_SOURCE_DIR} ${folder})
  set(missing "")
  foreach(file ${present})
    if(NOT ${folder}/${file} IN_LIST listed AND (skip STREQUAL "" OR NOT file MATCHES "${skip}"))
      list(APPEND missing "  ${shown}/${file}")
    endif()
  endforeach()
  if(missing)
    list(JOIN missing "\n" text)
    message(FATAL_ERROR "${advice}:\n${text}")
  endif()
endfunction()

function(sb_check_every_file_has_a_layer)
  set(listed "")
  foreach(name ${SB_LAYERS})
    list(APPEND listed ${SB_LAYER_${name}_FILES})
  endforeach()
  sb_require_listed(${CMAKE_SOURCE_DIR}/source "${listed}" ""
    "These files belong to no layer; add each to its layer's FILES in source/CMakeLists.txt")
endfunction()
