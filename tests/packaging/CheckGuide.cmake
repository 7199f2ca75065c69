# packaging/INSTALL.md gives, in its Russian and in its English half, the
# commands that msi_install_test.sh runs: install, upgrade, rollback and
# removal with this build's version and the next one, exit codes, and the
# emergency disable with regsvr32; and none of the earlier commands that
# overwrote the service's list of administration DLLs.
#   cmake -DGUIDE=... -DVERSION=... -DNEXT_VERSION=... -P CheckGuide.cmake
file(READ ${GUIDE} guide)
string(FIND "${guide}" "\n## English" english)
if(english LESS 0)
  message(FATAL_ERROR "${GUIDE} has no English half (## English)")
endif()
string(SUBSTRING "${guide}" 0 ${english} russian)
string(SUBSTRING "${guide}" ${english} -1 english)

set(log "/qn /norestart /l*v \"%TEMP%\\dialgate-msi.log\"")
set(plugin "\"C:\\Program Files\\dialgate\\dialgate.dll\"")
set(required
  "msiexec /i dialgate-${VERSION}-x64.msi ${log}"
  "msiexec /x dialgate-${VERSION}-x64.msi ${log}"
  "msiexec /i dialgate-${NEXT_VERSION}-x64.msi ${log}"
  "msiexec /x dialgate-${NEXT_VERSION}-x64.msi ${log}"
  "echo %ERRORLEVEL%"
  "| 3010 |" "| 1603 |" "| 1618 |"
  "regsvr32 ${plugin}"
  "regsvr32 /u ${plugin}"
  "net stop RemoteAccess"
  "net start RemoteAccess"
  "DISABLE_CHECK_WORK_TIME=1")
set(forbidden "dial-in gatekeeper" "/v DLLPath")
set(failures "")
foreach(half russian english)
  foreach(text IN LISTS required)
    string(FIND "${${half}}" "${text}" at)
    if(at LESS 0)
      string(APPEND failures "\n  the ${half} half lacks: ${text}")
    endif()
  endforeach()
  foreach(text IN LISTS forbidden)
    string(FIND "${${half}}" "${text}" at)
    if(NOT at LESS 0)
      string(APPEND failures "\n  the ${half} half still has: ${text}")
    endif()
  endforeach()
endforeach()
if(failures)
  message(FATAL_ERROR "${GUIDE}:${failures}")
endif()
message(STATUS "INSTALL.md gives the tested commands in both languages (version ${VERSION}, next ${NEXT_VERSION})")
