@echo off
rem Unregisters the TLG decoder that install.cmd registered. Run it as
rem administrator; afterwards the DLLs may be deleted.
setlocal
set "here=%~dp0"
set "system=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
set "status=0"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  "%system%\regsvr32.exe" /s /u "%here%tlgwic64.dll" || set "status=1"
  "%SystemRoot%\SysWOW64\regsvr32.exe" /s /u "%here%tlgwic32.dll" || set "status=1"
) else (
  "%system%\regsvr32.exe" /s /u "%here%tlgwic32.dll" || set "status=1"
)
if "%status%"=="0" (
  echo The TLG decoder is unregistered.
) else (
  echo Unregistering failed. Run uninstall.cmd as administrator.
)
exit /b %status%
