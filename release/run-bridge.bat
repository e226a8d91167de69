@echo off
rem CorvaneVoiceBridge: double-click this file every evening. It may be started
rem before or after World of Warcraft. Your settings (your character's name and
rem your community's context) are in CorvaneVoiceBridge.ini beside it: edit that
rem file, not this one.

cd /d "%~dp0"
CorvaneVoiceBridge.exe --config "%~dp0CorvaneVoiceBridge.ini" --wow --wait
if errorlevel 1 (
    echo.
    echo The bridge stopped because of the error above. See player-guide.html, "Troubleshooting".
    pause
)
