@echo off
rem Puts one BIOS image from ROM onto the root of the prepared USB key.
rem Usage: ToUSB.bat DRIVE IMAGE   (for example: ToUSB.bat  E: KV1.102)
rem Copies ROM\IMAGE to DRIVE\IMAGE and nothing else: no format, no delete.
setlocal
set "image=%~2"
set "drive=%~1"
if "%image%"=="" goto usage
if "%drive%"=="" goto usage
rem A drive name such as A: or E:, nothing else.
if not "%drive:~1%"==":" goto usage
rem One bare file name: a wildcard or a path would reach other files.
if not "%image:**=%"=="%image%" goto badname
if not "%image:?=%"=="%image%" goto badname
set "attr="
for %%F in ("ROM\%image%") do (
  if /i not "%%~nxF"=="%image%" goto badname
  set "attr=%%~aF"
)
if not defined attr goto noimage
if /i "%attr:~0,1%"=="d" goto noimage
copy /Y /B "ROM\%image%" "%drive%\%image%" >nul
if errorlevel 1 goto failed
exit /b 0

:usage
echo Usage: ToUSB.bat DRIVE IMAGE
exit /b 2
:badname
echo Not a plain image file name: %image%
exit /b 2
:noimage
echo No image ROM\%image%
exit /b 3
:failed
echo Copy of ROM\%image% to %drive% failed
exit /b 4
