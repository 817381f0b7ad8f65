@echo off
rem Stops and deletes the service QVLService. Run it as administrator.
net session >nul 2>&1
if errorlevel 1 (
    echo uninstall.cmd must be run as administrator: right-click it and choose "Run as administrator".
    exit /b 1
)
sc query QVLService >nul 2>&1
if errorlevel 1 (
    echo There is no service QVLService.
    exit /b 1
)
sc stop QVLService >nul 2>&1
sc delete QVLService
if errorlevel 1 exit /b 1
echo QVLService deleted. The folder and its log ZARNQVL.ERR are left as they are.
