@echo off
rem Installs, upgrades, removes or rolls back dialgate with its MSI, waits for
rem the installer, and prints its exit code and what the code means. A command
rem prompt does not wait for msiexec, a window program, so "echo %ERRORLEVEL%"
rem typed after it shows 0 whatever happened; this script waits. Run it in an
rem administrator command prompt (cmd.exe, not PowerShell):
rem   dialgate-msi.cmd install  dialgate-1.1.0-x64.msi
rem   dialgate-msi.cmd upgrade  dialgate-1.1.0-x64.msi
rem   dialgate-msi.cmd remove   dialgate-1.1.0-x64.msi
rem   dialgate-msi.cmd rollback dialgate-1.1.0-x64.msi dialgate-1.0.0-x64.msi
rem (rollback removes the first package's version and then installs the
rem second, only when the removal succeeded). Each msiexec writes its verbose
rem log to %TEMP%\dialgate-STEP.log. The script ends with msiexec's exit code.
setlocal
set "step=%~1"
if "%~2"=="" goto usage
if /i "%step%"=="install" goto install
if /i "%step%"=="upgrade" goto install
if /i "%step%"=="remove" goto remove
if /i "%step%"=="rollback" goto rollback
:usage
echo Usage, in an administrator command prompt (cmd.exe, not PowerShell):
echo   %~nx0 install  dialgate-^<version^>-x64.msi
echo   %~nx0 upgrade  dialgate-^<version^>-x64.msi
echo   %~nx0 remove   dialgate-^<version^>-x64.msi
echo   %~nx0 rollback dialgate-^<later version^>-x64.msi dialgate-^<earlier version^>-x64.msi
exit /b 1639

:install
call :msiexec %step% /i "%~2"
exit /b %code%

:remove
call :msiexec remove /x "%~2"
exit /b %code%

:rollback
if "%~3"=="" goto usage
call :msiexec rollback-remove /x "%~2"
if not "%code%"=="0" goto rollback_stopped
call :msiexec rollback-install /i "%~3"
exit /b %code%
:rollback_stopped
echo The later version was not removed, so the earlier one was not installed.
exit /b %code%

rem One installer run: call :msiexec STEP /i PACKAGE, or /x; it sets code.
:msiexec
set "log=%TEMP%\dialgate-%~1.log"
echo msiexec %2 "%~f3" /qn /norestart /l*v "%log%"
start "" /wait msiexec.exe %2 "%~f3" /qn /norestart /l*v "%log%"
set code=%errorlevel%
set "meaning=failed; the cause is in the log"
if "%code%"=="0" set "meaning=done"
if "%code%"=="3010" set "meaning=done, but a file in use is replaced only at the next restart, which the server does not do by itself"
if "%code%"=="1603" set "meaning=failed and undone; the cause is in the log"
if "%code%"=="1605" set "meaning=this version is not installed"
if "%code%"=="1618" set "meaning=another installation is running; try again when it has finished"
if "%code%"=="1619" set "meaning=the package cannot be opened; check its name and folder"
echo Exit code %code%: %meaning%
echo Log: %log%
exit /b %code%
