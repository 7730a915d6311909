@echo off
rem Registers the TLG decoder with the Windows Imaging Component, for 64-bit
rem and 32-bit programs: Explorer's thumbnails and every program that opens
rem pictures through it then read .tlg files. Run it as administrator, from
rem the folder where the DLLs are to stay.
setlocal
set "here=%~dp0"
set "system=%SystemRoot%\System32"
rem A 32-bit command prompt sees the 64-bit system folder as Sysnative.
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
  "%system%\regsvr32.exe" /s "%here%tlgwic64.dll" || goto failed
  "%SystemRoot%\SysWOW64\regsvr32.exe" /s "%here%tlgwic32.dll" || goto failed
) else (
  "%system%\regsvr32.exe" /s "%here%tlgwic32.dll" || goto failed
)
echo The TLG decoder is registered. Explorer shows thumbnails of .tlg files
echo (clear the thumbnail cache with Disk Cleanup if old blank ones remain).
exit /b 0
:failed
echo Registering the TLG decoder failed. Run install.cmd as administrator
echo (right-click it, then "Run as administrator").
exit /b 1
