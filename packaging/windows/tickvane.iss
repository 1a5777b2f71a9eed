; The Tickvane installer (Inno Setup 6). It packs the folder that `cmake --install` laid out:
;   cmake --install build --prefix stage
;   iscc /DStageDir=%CD%\stage packaging\windows\tickvane.iss
; The version shown and the installer's name come from Tickvane.exe's version resource.

#ifndef StageDir
  #define StageDir AddBackslash(SourcePath) + "..\..\stage"
#endif
#define AppExe "Tickvane.exe"
#define AppVersion GetStringFileInfo(StageDir + "\" + AppExe, "ProductVersion")

; An installer without these would install a feed that cannot unpack archives or reach the vendor.
#if AppVersion == ""
  #error Tickvane.exe with its version resource is not in StageDir
#endif
#if !FileExists(StageDir + "\7za.exe")
  #error 7za.exe is not in StageDir: configure with -DTICKVANE_7ZA=<path of 7za.exe>
#endif
#if !FileExists(StageDir + "\sqldrivers\qsqlmysql.dll")
  #error sqldrivers\qsqlmysql.dll is not in StageDir: this Qt has no MySQL driver
#endif
#if !FileExists(StageDir + "\libmariadb.dll") && !FileExists(StageDir + "\libmysql.dll")
  #error no MySQL client library in StageDir: configure with -DTICKVANE_MYSQL_CLIENT=<path>
#endif

[Setup]
AppId={{07F9A79A-DA54-4D92-8F02-4817CA00CDC7}
AppName=Tickvane
AppVersion={#AppVersion}
AppVerName=Tickvane {#AppVersion}
AppPublisher=Quorvix Company
VersionInfoVersion={#GetVersionNumbersString(StageDir + "\" + AppExe)}
; Every path of the program lies under C:\Quorvix: it is installed there and nowhere else.
DefaultDirName=C:\Quorvix
DisableDirPage=yes
UsePreviousAppDir=no
DefaultGroupName=Tickvane
DisableProgramGroupPage=yes
PrivilegesRequired=admin
ArchitecturesAllowed=x64compatible
ArchitecturesInstallIn64BitMode=x64compatible
; A running feed holds its files: [Code] closes it as the trader would before an upgrade; the
; Restart Manager is left for what else may hold them.
CloseApplications=yes
SetupIconFile=..\..\src\resources\tickvane.ico
UninstallDisplayIcon={app}\{#AppExe}
OutputDir=Output
OutputBaseFilename=Tickvane-{#AppVersion}-setup
Compression=lzma2
SolidCompression=yes
WizardStyle=modern

[Dirs]
; The feed writes its quote files, logs and backfill beside itself and replaces itself on update,
; so the trader's account must be able to write here.
Name: "{app}"; Permissions: users-modify

[Files]
Source: "{#StageDir}\*"; DestDir: "{app}"; Excludes: "\dbfiles"; Flags: ignoreversion recursesubdirs createallsubdirs
; The AmiBroker database templates: an existing set is the trader's and an upgrade leaves it alone.
Source: "{#StageDir}\dbfiles\*"; DestDir: "{app}\dbfiles"; Flags: onlyifdoesntexist recursesubdirs createallsubdirs

[Tasks]
; Off unless chosen; an upgrade offers (and, run silently, keeps) the choice of the installation before.
Name: "autostart"; Description: "Start Tickvane when I sign in to Windows"; Flags: unchecked

[Registry]
; The signed-in user's own start at sign-in, in the tray: the feed runs before the market opens.
Root: HKCU; Subkey: "Software\Microsoft\Windows\CurrentVersion\Run"; ValueType: string; ValueName: "Tickvane"; ValueData: """{app}\{#AppExe}"" --minimized"; Tasks: autostart; Flags: uninsdeletevalue

[Icons]
Name: "{autoprograms}\Tickvane"; Filename: "{app}\{#AppExe}"; WorkingDir: "{app}"

[Run]
Filename: "{app}\{#AppExe}"; WorkingDir: "{app}"; Description: "Start Tickvane"; Flags: nowait postinstall skipifsilent runasoriginaluser; Check: not FeedWasClosed
; A feed closed for the upgrade runs again afterwards, silent or not.
Filename: "{app}\{#AppExe}"; WorkingDir: "{app}"; Flags: nowait runasoriginaluser; Check: FeedWasClosed

[UninstallDelete]
; What the feed itself wrote. The AmiBroker database (Amibroker\) is the trader's and stays, and
; with it the install folder; so do the trader's choices in the registry.
Type: files; Name: "{app}\rt.txt"
Type: files; Name: "{app}\rtimport.txt"
Type: files; Name: "{app}\autobackfill.txt"
Type: files; Name: "{app}\backfilldata.zip"
Type: files; Name: "{app}\ZentorUpdator.bat"
Type: filesandordirs; Name: "{app}\Backfill"
Type: filesandordirs; Name: "{app}\logs"
; The update's staging folder beside the install folder, with the files it set aside.
Type: filesandordirs; Name: "{app}.update"

[Code]
const
  // Held by every running Tickvane.exe (src/platform/runningmark_win.cpp): the session's own name,
  // and the global one a feed in another Windows session (user switching, remote desktop) holds.
  FeedMutex = 'QuorvixTickvaneFeed';
  GlobalFeedMutex = 'Global\QuorvixTickvaneFeed';
  // The feed's close sequence saves AmiBroker's database and may wait for taskkill.
  CloseWaitMs = 60000;

var
  ClosedForSetup: Boolean;
  // Set when the feed that did not close runs in another Windows session.
  OtherSession: Boolean;

function FeedWasClosed(): Boolean;
begin
  Result := ClosedForSetup;
end;

function FeedRunning(): Boolean;
begin
  Result := CheckForMutexes(FeedMutex) or CheckForMutexes(GlobalFeedMutex);
end;

// Closes a running feed through its windows, as the trader's close does, so that its close
// sequence runs (choices stored, AmiBroker's database saved); never by force. True once none runs.
function CloseRunningFeed(): Boolean;
var
  ResultCode, Waited: Integer;
begin
  Result := True;
  OtherSession := False;
  if not FeedRunning() then
    Exit;
  Log('Tickvane is running: asking it to close');
  Exec(ExpandConstant('{sys}\taskkill.exe'), '/IM {#AppExe}', '', SW_HIDE, ewWaitUntilTerminated, ResultCode);
  Waited := 0;
  while FeedRunning() and (Waited < CloseWaitMs) do begin
    Sleep(250);
    Waited := Waited + 250;
  end;
  Result := not FeedRunning();
  if Result then begin
    // The mark goes with the process; give the system a moment to let go of its files.
    Sleep(1000);
    Log(Format('Tickvane closed after %d ms', [Waited]));
    ClosedForSetup := True;
  end else begin
    // Only the global name left: the feed's windows are in a session this Setup cannot reach.
    OtherSession := not CheckForMutexes(FeedMutex);
    Log('Tickvane did not close within a minute');
  end;
end;

function StillRunningText(Action: String): String;
begin
  if OtherSession then
    Result := 'Tickvane is running in another Windows session (another user signed in, or a remote desktop) and did not close. Close Tickvane there, then ' + Action + '.'
  else
    Result := 'Tickvane is still running and did not close within a minute. Close Tickvane, then ' + Action + '.';
end;

const
  RunKey = 'Software\Microsoft\Windows\CurrentVersion\Run';

// An upgrade without the task takes back the start at sign-in an earlier installation wrote.
procedure CurStepChanged(CurStep: TSetupStep);
begin
  if (CurStep = ssPostInstall) and not WizardIsTaskSelected('autostart') then
    RegDeleteValue(HKCU, RunKey, 'Tickvane');
end;

procedure CurUninstallStepChanged(CurUninstallStep: TUninstallStep);
begin
  if CurUninstallStep = usPostUninstall then
    RegDeleteValue(HKCU, RunKey, 'Tickvane');
end;

function PrepareToInstall(var NeedsRestart: Boolean): String;
begin
  Result := '';
  if not CloseRunningFeed() then
    Result := StillRunningText('run Setup again');
end;

function InitializeUninstall(): Boolean;
begin
  Result := CloseRunningFeed();
  if not Result then
    SuppressibleMsgBox(StillRunningText('uninstall it again'), mbError, MB_OK, IDOK);
end;
