@echo off
rem schedule.cmd: packs yesterday's logs in D:\logs into one archive per day
rem under D:\archive\<year>, each night at 00:15.
rem
rem   schedule.cmd        registers the job with the Task Scheduler (run it
rem                       once, from an administrator's prompt)
rem   schedule.cmd run    runs the job now; this is what the task runs
rem
rem The job is kept here rather than in the task itself, whose command may
rem hold only 261 characters. Its exit status, vorla's, is the task's
rem "Last Run Result": 0 when the archive was made, 1 otherwise.
setlocal
if /i "%~1"=="run" goto run
schtasks /Create /F /TN "Vorla nightly archive" /SC DAILY /ST 00:15 /RU SYSTEM /TR "\"%~f0\" run"
exit /b %ERRORLEVEL%

:run
"%~dp0vorla.exe" /SOURCE D:\logs /TARGET D:\archive\{Time.Year4} /FILENAME ex{Time.Year2}{Time.MonthPad}{Time.DayPad}.zip /WILDCARD ex{Time.Year2}{Time.MonthPad}{Time.DayPad}*.log /OFFSET -1d /EXECUTE "powershell -NoProfile -Command Compress-Archive -Path {Config.Source}{Config.Wildcard} -DestinationPath {Config.Target}{Config.Filename}"
exit /b %ERRORLEVEL%
