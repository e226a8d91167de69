@echo off
rem CorvaneVoiceBridge: edit the two settings below once, save, then double-click
rem this file every evening. It may be started before or after World of Warcraft.
rem Save it as UTF-8 (Notepad's default) if your name has letters beyond A-Z.
chcp 65001 >nul

rem Your voice identity: your character's name. Every player needs a different one.
set "IDENTITY=YourCharacterName"

rem Your community's context: exactly the same text for every player of the community.
set "CONTEXT=CORVANE:WORLD:1"

cd /d "%~dp0"
CorvaneVoiceBridge.exe --wow --wait --identity "%IDENTITY%" --context "%CONTEXT%"
if errorlevel 1 (
    echo.
    echo The bridge stopped because of the error above. See player-guide.html, "Troubleshooting".
    pause
)
