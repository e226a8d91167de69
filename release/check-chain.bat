@echo off
rem CorvaneVoiceBridge: double-click this file when you hear nobody in 3D. It
rem looks once at the game, the bridge, the link to Mumble and Mumble itself,
rem with your settings (CorvaneVoiceBridge.ini beside it), says which of them
rem is broken and how to mend it, and keeps this window open. It changes
rem nothing, and may run while the bridge runs.

cd /d "%~dp0"
CorvaneVoiceBridge.exe --config "%~dp0CorvaneVoiceBridge.ini" --wow --wait --check
echo.
pause
