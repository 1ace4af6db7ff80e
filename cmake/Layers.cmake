# One library per folder of src/, each with the folders it may use declared.
#
# A library's headers are seen only through an include root of its own,
# build/include/<library>/<folder>/<header> (links to the headers in src),
# which the library hands on only to the libraries that link it. An include
# of a folder a library does not link, a folder above it above all, finds
# no file and fails to compile. The one way around that, a path that climbs
# out of the including file's own folder ("../app/state.h"), fails a check
# that runs before the library's sources compile (cmake/CheckIncludes.cmake).

# tav_folder_library(<name> <folder> [PUBLIC <lib>...] [PRIVATE <lib>...]
#                    [SOURCES <file>...])
# PUBLIC: libraries the folder's headers include; PRIVATE: those only its
# sources include.
function(tav_folder_library name folder)
  cmake_parse_arguments(arg "" "" "PUBLIC;PRIVATE;SOURCES" ${ARGN})
  set(dir ${CMAKE_SOURCE_DIR}/src/${folder})
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  file(GLOB headers CONFIGURE_DEPENDS ${dir}/*.h)
  # Made anew at each configuration, so that a removed header is gone too.
  set(root ${CMAKE_BINARY_DIR}/include/${name})
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root}/${folder})
  foreach(header ${headers})
    get_filename_component(leaf ${header} NAME)
    file(CREATE_LINK ${header} ${root}/${folder}/${leaf} SYMBOLIC)
  endforeach()
  add_library(${name} STATIC ${sources} ${arg_SOURCES})
  target_include_directories(${name} PUBLIC ${root})
  target_link_libraries(${name} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
  tav_warnings(${name})
  set(stamp ${CMAKE_BINARY_DIR}/include/${name}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DFILES=${sources};${headers}" -DSTAMP=${stamp}
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
    DEPENDS ${sources} ${headers} ${CMAKE_SOURCE_DIR}/cmake/CheckIncludes.cmake
    COMMENT "Includes of ${folder} stay in their roots" VERBATIM)
  add_custom_target(${name}_includes DEPENDS ${stamp})
  add_dependencies(${name} ${name}_includes)
endfunction()

# The portable program, bottom to top.
tav_folder_library(tav_core core)
tav_folder_library(tav_platform platform PUBLIC tav_core)
tav_folder_library(tav_error_log error_log PUBLIC tav_core tav_platform)
tav_folder_library(tav_system system PUBLIC tav_platform PRIVATE tav_error_log)
tav_folder_library(tav_install install PUBLIC tav_core tav_platform
  PRIVATE tav_error_log tav_system
  SOURCES ${CMAKE_BINARY_DIR}/generated/trust_config.cpp)
tav_folder_library(tav_download download PUBLIC tav_core tav_platform PRIVATE tav_error_log)
tav_folder_library(tav_dialog dialog PUBLIC tav_core tav_error_log tav_platform)
tav_folder_library(tav_main_window main_window
  PUBLIC tav_core tav_download tav_error_log tav_install tav_platform
  PRIVATE tav_dialog tav_system)
tav_folder_library(tav_app app PUBLIC tav_core tav_error_log tav_platform tav_system)

# Everything portable, for what stands above the program: tests, fuzzers.
add_library(tav_program INTERFACE)
target_link_libraries(tav_program INTERFACE
  tav_app tav_main_window tav_dialog tav_download tav_install tav_system tav_error_log
  tav_platform tav_core)
