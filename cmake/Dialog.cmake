# The message dialog's Windows pieces: its icons inside the program, and the
# resource library TAVri.dll with its visual style, built next to the
# program and installed with it.

set_property(SOURCE ${CMAKE_BINARY_DIR}/generated/TAVUpdate.rc APPEND PROPERTY OBJECT_DEPENDS
  ${CMAKE_SOURCE_DIR}/src/resources/dialog.rc
  ${CMAKE_SOURCE_DIR}/src/resources/dialog_warning.ico
  ${CMAKE_SOURCE_DIR}/src/resources/dialog_error.ico
  ${CMAKE_SOURCE_DIR}/src/resources/dialog_information.ico
  ${CMAKE_SOURCE_DIR}/src/resources/dialog_question.ico
  ${CMAKE_SOURCE_DIR}/src/resources/dialog_hourglass.ico)

configure_file(${CMAKE_SOURCE_DIR}/src/resources/TAVri.rc.in
               ${CMAKE_BINARY_DIR}/generated/TAVri.rc @ONLY)
# A module, not a linked library: nothing imports it, nothing runs in it.
add_library(TAVri MODULE ${CMAKE_BINARY_DIR}/generated/TAVri.rc)
set_target_properties(TAVri PROPERTIES PREFIX "" LINKER_LANGUAGE C
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(TAVri PRIVATE ${CMAKE_SOURCE_DIR}/src/resources)
target_link_options(TAVri PRIVATE -nostdlib -Wl,--entry=0 -s)
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/TAVri.rc PROPERTIES
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/src/resources/Office2007Black.ini)
add_dependencies(TAVUpdate TAVri)
install(TARGETS TAVri LIBRARY DESTINATION .)
