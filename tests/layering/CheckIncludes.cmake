# Fails when a file of one layer includes a header of a layer above it.
# Run as: cmake -DSOURCE_DIR=<top of the tree> -P CheckIncludes.cmake
#
# The layers, each with the folders its files may include from:
#   ann     ann
#   base    base
#   db      base db
#   prices  ann base db prices
#   app     everything of the program
# A library below the window also includes no window header of Qt: their
# targets do not link Qt Widgets or Charts, so such an include does not compile.
cmake_minimum_required(VERSION 3.20)
set(allowed_ann ann)
set(allowed_base base)
set(allowed_db base db)
set(allowed_prices ann base db prices)
set(program_folders ann base db prices app)

set(failures "")
foreach(layer ann base db prices)
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*$" "\\1" header "${line}")
      string(REGEX MATCH "^[^/]+" folder "${header}")
      if(NOT header MATCHES "/")
        continue()   # a header beside the file
      endif()
      if(folder IN_LIST program_folders AND NOT folder IN_LIST allowed_${layer})
        file(RELATIVE_PATH shown "${SOURCE_DIR}" "${file}")
        string(APPEND failures "  ${shown} includes \"${header}\" (${layer}/ may include: ${allowed_${layer}})\n")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Includes against the layers:\n${failures}")
endif()
message(STATUS "every include follows the layers")
