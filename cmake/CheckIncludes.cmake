# Run as a script (-P) with FILES (a ;-list) and STAMP: fails when a file
# includes a path that climbs out of its own folder, the one way past the
# include roots of cmake/Layers.cmake; touches STAMP otherwise.
foreach(file IN LISTS FILES)
  if(file STREQUAL "")
    continue()  # a folder without headers leaves an empty entry
  endif()
  file(STRINGS ${file} climbing REGEX "^[ \t]*#[ \t]*include[ \t]*\"\\.\\.?/")
  if(climbing)
    message(FATAL_ERROR "${file}: an include may not climb out of its folder: ${climbing}")
  endif()
endforeach()
file(TOUCH ${STAMP})
