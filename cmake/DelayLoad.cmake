# The program imports these DLLs lazily. None of them is a known system
# DLL, so a static import would be resolved before the entry has restricted
# the DLL search to the system folder, and a copy planted beside the program
# would be loaded. Delay-loaded, they are first loaded by the mingw helper's
# LoadLibrary after that restriction.
# The .def files list the functions the program calls, with i686 stdcall
# decorations; the x86_64 variant drops them.
#
# Each delay-load slot must start out holding the address of its loader
# stub. The SDK headers declare these functions dllimport, so the program
# calls through the slot and never names the stub; the i686 linker then
# drops the stub's section as unused and leaves the slot 0, and the first
# call jumps to address 0. Every stub is therefore named as undefined on
# the link line, and a post-build check reads the slots of the image.
set(TAV_DELAY_DLLS wininet msimg32 uxtheme comctl32)
set(TAV_DELAY_LIBS)
set(TAV_DELAY_STUBS)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(tav_dlltool_machine i386:x86-64)
else()
  set(tav_dlltool_machine i386)
endif()
find_program(TAV_DLLTOOL NAMES ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32-dlltool REQUIRED)
foreach(dll ${TAV_DELAY_DLLS})
  set(src ${CMAKE_SOURCE_DIR}/cmake/delayload/${dll}.def)
  set(def ${CMAKE_BINARY_DIR}/delayload/${dll}.def)
  file(READ ${src} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "@[0-9]+" "" text "${text}")
  endif()
  file(WRITE ${def} "${text}")
  string(REGEX MATCHALL "\n[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?" exports "${text}")
  foreach(export ${exports})
    string(STRIP "${export}" export)
    if(export MATCHES "^(LIBRARY|EXPORTS)$")
      continue()
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(export "_${export}")  # i686 C names carry a leading underscore
    endif()
    list(APPEND TAV_DELAY_STUBS "LINKER:-u,${export}")
  endforeach()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${src})
  set(lib ${CMAKE_BINARY_DIR}/delayload/lib${dll}_delay.a)
  add_custom_command(OUTPUT ${lib}
    COMMAND ${TAV_DLLTOOL} -m ${tav_dlltool_machine} -k --input-def ${def} --output-delaylib ${lib}
    DEPENDS ${def}
    COMMENT "Delay-load library for ${dll}")
  list(APPEND TAV_DELAY_LIBS ${lib})
endforeach()
add_custom_target(tav_delay_libs DEPENDS ${TAV_DELAY_LIBS})
find_program(TAV_PYTHON3 python3 REQUIRED)

# Links a program of the updater against the delay-load libraries and
# checks the result.
function(tav_delay_load target)
  add_dependencies(${target} tav_delay_libs)
  # Ahead of tav_platform_win32's own import libraries on the link line, so they win.
  target_link_libraries(${target} PRIVATE ${TAV_DELAY_LIBS})
  target_link_options(${target} PRIVATE ${TAV_DELAY_STUBS})
  # A function newly called from one of these DLLs would quietly bring its
  # static import back through the ordinary import library, and a slot
  # without its stub would jump to 0: the build fails instead.
  list(LENGTH TAV_DELAY_DLLS count)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:${target}>
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckStaticImports.cmake
    COMMAND ${TAV_PYTHON3} ${CMAKE_SOURCE_DIR}/cmake/check_delay_imports.py
            ${CMAKE_NM} $<TARGET_FILE:${target}> ${count}
    VERBATIM)
endfunction()

tav_delay_load(TAVUpdate)
