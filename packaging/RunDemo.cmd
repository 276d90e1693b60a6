@echo off
rem Runs SAP Marrowind against the simulated SAP landscape in SapSim.json of this folder. The run
rem "PRD max,limits,forecast" shows the alerting: the fullest tablespace as the first channel, with
rem limits, and the days until a tablespace is full from the history in Marrowind-PRD-sapprd01.hst.
rem Delayed expansion: %ERRORLEVEL% inside the parenthesised loop body would be read once, before
rem the loop runs; !ERRORLEVEL! is read after each run.
setlocal EnableDelayedExpansion
cd /d "%~dp0"
for %%A in ("PRD" "PRD gigabyte" "PRD max,limits,forecast" "BWP" "QAS" "GLOBAL diskspace") do (
  echo ^> SapMarrowind %%~A
  SapMarrowind.exe %%~A
  echo [exit status !ERRORLEVEL!]
  echo.
)
endlocal
