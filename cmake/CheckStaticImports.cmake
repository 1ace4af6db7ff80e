cmake_minimum_required(VERSION 3.25)
# Fails when EXE imports, at load time, a system DLL that is not on the
# known-DLL list (those are resolved beside the program first).
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE headers RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${headers}")
set(allowed ADVAPI32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL OLE32.DLL OLEAUT32.DLL SHELL32.DLL USER32.DLL
  SHLWAPI.DLL PSAPI.DLL COMDLG32.DLL WS2_32.DLL RPCRT4.DLL SETUPAPI.DLL IMM32.DLL)
foreach(line ${names})
  string(REGEX REPLACE "DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOUPPER "${dll}" upper)
  if(NOT upper IN_LIST allowed)
    message(FATAL_ERROR "${EXE} imports ${dll} at load time; delay-load it (cmake/DelayLoad.cmake)")
  endif()
endforeach()
