# Checks a built dialgate.dll: exactly the eight callbacks and the two
cmake_policy(SET CMP0057 NEW)
# registration entries exported by their plain names, and imports from
# Windows system DLLs only.
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [A-Za-z_@0-9]+" rows "${dump}")
set(exports "")
foreach(row ${rows})
  string(REGEX REPLACE ".*\\] " "" name "${row}")
  list(APPEND exports ${name})
endforeach()
list(SORT exports)
set(expected DllRegisterServer DllUnregisterServer MprAdminAcceptNewConnection MprAdminAcceptNewLink MprAdminConnectionHangupNotification
    MprAdminGetIpAddressForUser MprAdminInitializeDll MprAdminLinkHangupNotification MprAdminReleaseIpAddress
    MprAdminTerminateDll)
if(NOT exports STREQUAL expected)
  message(FATAL_ERROR "exports: expected ${expected}\n actual ${exports}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls kernel32.dll advapi32.dll msvcrt.dll mprapi.dll user32.dll ntdll.dll)
foreach(row ${imports})
  string(REGEX REPLACE "DLL Name: " "" name "${row}")
  string(TOLOWER "${name}" name)
  if(NOT name IN_LIST system_dlls)
    message(FATAL_ERROR "dialgate.dll imports ${name}, which Windows does not ship")
  endif()
  message(STATUS "imports ${name}")
endforeach()
message(STATUS "exports ${exports}")
