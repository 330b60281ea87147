# Checks the includes of one layer's files (see cmake/Layers.cmake): each quoted include must
# name a header of the layer or of a layer below it, by its path from source/; a layer without
# widgets includes no Qt Widgets header (its compiler can't find <QWidget> and the like, but
# <QtWidgets/QWidget> it could). Run as a build step: -DMANIFEST=<layer>.cmake
# -DSTAMP=<file touched when all is well>.
cmake_minimum_required(VERSION 3.25)
include(${MANIFEST})

set(problems "")
foreach(path ${SB_LAYER_FILES})
  file(RELATIVE_PATH shown ${SB_SOURCE_DIR}/.. ${path})
  file(STRINGS ${path} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line ${lines})
    if(line MATCHES "include[ \t]*\"([^\"]+)\"")
      set(included ${CMAKE_MATCH_1})
      if(NOT included IN_LIST SB_LAYER_ALLOWED)
        list(APPEND problems "  ${shown}: #include \"${included}\"")
      endif()
    elseif(NOT SB_LAYER_WIDGETS AND line MATCHES "include[ \t]*<(QtWidgets[^>]*)>")
      # <QWidget> and its kind are not even found without Qt Widgets; this is the one spelling
      # that would be.
      list(APPEND problems "  ${shown}: #include <${CMAKE_MATCH_1}> (a widget)")
    endif()
  endforeach()
endforeach()

if(problems)
  list(JOIN problems "\n" text)
  set(kind "no widgets")
  if(SB_LAYER_WIDGETS)
    set(kind "widgets")
  endif()
  message(FATAL_ERROR
    "Includes against the layers in the ${SB_LAYER} layer:\n${text}\n"
    "The ${SB_LAYER} layer may include the headers of: ${SB_LAYER_REACH} (${kind}), each by "
    "its path from source/. See docs/ARCHITECTURE.md, \"Layers\".")
endif()
file(TOUCH ${STAMP})
