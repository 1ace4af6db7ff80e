# The release: the two files that go into the TAV folder, as a ZIP
# (`cmake --build <dir> --target package`). `cmake --install` gives the
# same two files in a folder.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAV_PACKAGE_ARCH win32)
else()
  set(TAV_PACKAGE_ARCH win64)
endif()
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TAVUpdate)
set(CPACK_PACKAGE_VENDOR "Corvel Systems")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "TAVUpdate-${PROJECT_VERSION}-${TAV_PACKAGE_ARCH}")
# The files sit at the top of the archive, as they sit in the TAV folder.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})
include(CPack)
