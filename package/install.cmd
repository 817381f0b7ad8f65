@echo off
rem Creates the service QVLService for the qvlsvce.exe in this folder. Run it as administrator.
net session >nul 2>&1
if errorlevel 1 (
    echo install.cmd must be run as administrator: right-click it and choose "Run as administrator".
    exit /b 1
)
sc create QVLService binPath= "\"%~dp0qvlsvce.exe\"" type= own type= interact start= demand DisplayName= "QVL Service"
if errorlevel 1 (
    echo QVLService was not created: see the message above.
    exit /b 1
)
echo QVLService created. Put ZARNQVL.EXE beside qvlsvce.exe, then: sc start QVLService
