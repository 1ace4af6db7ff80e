# The Win32 home of the platform seam, the resources and the program.

# A development build starts unsigned installers: it never leaves the
# machine it was built on, neither installed nor packaged (CPack installs
# first, so this one rule stops both).
if(TAV_IS_DEVELOPMENT_BUILD)
  install(CODE "message(FATAL_ERROR \"This is a development build (TAV_DEVELOPMENT_BUILD): it starts unsigned installers and is not installed or packaged. Configure a release with TAV_TRUSTED_PUBLISHER_KEYS.\")")
  set(TAV_RC_FILEFLAGS "0x20L")  # VS_FF_SPECIALBUILD
  set(TAV_RC_SPECIALBUILD "VALUE \"SpecialBuild\", \"development build\"")
else()
  set(TAV_RC_FILEFLAGS "0x0L")
  set(TAV_RC_SPECIALBUILD "")
endif()

# The Win32 home of the seam: it may use the seam and what the seam uses.
tav_folder_library(tav_platform_win32 platform/win32 PUBLIC tav_platform tav_core)
# The process entry belongs to the programs, which start the application.
get_target_property(tav_platform_win32_sources tav_platform_win32 SOURCES)
list(FILTER tav_platform_win32_sources EXCLUDE REGEX "/entry\\.cpp$")
set_target_properties(tav_platform_win32 PROPERTIES SOURCES "${tav_platform_win32_sources}")
target_include_directories(tav_platform_win32 PRIVATE ${CMAKE_BINARY_DIR}/generated)
target_compile_definitions(tav_platform_win32 PUBLIC UNICODE _UNICODE)
# The read service runs the download's rules: Fetch, which the seam names
# (platform/http_transport.h) and src/download defines, as the program
# defines the StartProgram the entry calls. Whatever links the read
# service links those rules; the Win32 home itself sees none of their
# headers.
target_link_libraries(tav_platform_win32 INTERFACE $<LINK_ONLY:tav_download>)
target_link_libraries(tav_platform_win32 PUBLIC
  user32 gdi32 advapi32 shell32 comctl32 ole32 oleaut32 uuid wininet psapi
  shlwapi msimg32 windowscodecs wbemuuid version uxtheme dwmapi)

# The program on Win32, its composition: its logic wired to the real window
# and services.
tav_folder_library(tav_app_win32 app/win32
  PUBLIC tav_platform_win32
  PRIVATE tav_app tav_main_window tav_error_log tav_system tav_platform tav_core)

# Everything, for the Windows tests, their helpers and the benchmarks.
add_library(tav_win32 INTERFACE)
target_link_libraries(tav_win32 INTERFACE tav_app_win32 tav_program tav_platform_win32)

# The type library that describes the error logger, embedded in the exe.
# Debian's mingw-w64-tools names the compiler by its target only; the
# target's own one writes the type library for the build's width.
find_program(TAV_WIDL NAMES ${TAV_WIDL_TARGET}-widl widl REQUIRED)
set(TAV_WINE_IDL_DIR /usr/include/wine/wine/windows CACHE PATH "Wine's IDL files")
set(TAV_STDOLE_DIR /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH "folder of stdole2.tlb")
set(TAV_TLB ${CMAKE_BINARY_DIR}/generated/TAVUpdate.tlb)
add_custom_command(OUTPUT ${TAV_TLB}
  COMMAND ${TAV_WIDL} -t -I ${TAV_WINE_IDL_DIR} -L ${TAV_STDOLE_DIR}
          -o ${TAV_TLB} ${CMAKE_SOURCE_DIR}/src/resources/TAVUpdate.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/src/resources/TAVUpdate.idl
  COMMENT "Type library TAVUpdate")
add_custom_target(tav_typelib DEPENDS ${TAV_TLB})

configure_file(${CMAKE_SOURCE_DIR}/src/resources/TAVUpdate.rc.in
               ${CMAKE_BINARY_DIR}/generated/TAVUpdate.rc @ONLY)

add_executable(TAVUpdate WIN32
  ${CMAKE_SOURCE_DIR}/src/platform/win32/entry.cpp
  ${CMAKE_BINARY_DIR}/generated/TAVUpdate.rc)
add_dependencies(TAVUpdate tav_typelib)
set_source_files_properties(${CMAKE_BINARY_DIR}/generated/TAVUpdate.rc PROPERTIES
  OBJECT_DEPENDS "${TAV_TLB};${CMAKE_SOURCE_DIR}/src/resources/TAVUpdate.manifest;${CMAKE_SOURCE_DIR}/src/resources/main_window.rc;${CMAKE_SOURCE_DIR}/src/resources/main_artwork.png")
target_include_directories(TAVUpdate PRIVATE ${CMAKE_SOURCE_DIR}/src/resources ${CMAKE_BINARY_DIR}/generated)
target_link_options(TAVUpdate PRIVATE -municode)
target_link_libraries(TAVUpdate PRIVATE tav_app_win32 tav_platform_win32)
tav_warnings(TAVUpdate)

install(TARGETS TAVUpdate RUNTIME DESTINATION .)

# --- The program's icon --------------------------------------------------
set_property(SOURCE ${CMAKE_BINARY_DIR}/generated/TAVUpdate.rc APPEND PROPERTY OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/src/resources/TAVIcon.rc;${CMAKE_SOURCE_DIR}/src/resources/TAV.ico")
include(cmake/Dialog.cmake)

# --- DLLs the program loads only after hardening its DLL search -------------
include(cmake/DelayLoad.cmake)
