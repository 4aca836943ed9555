; The Windows installer: the three programs (static, no DLLs beside them), a Start-menu entry, an uninstaller.
; Built by scripts/windows.sh: makensis -DVERSION=<x.y.z> -DBIN=<folder of the .exe> -DTOP=<source tree>
;   -DOUT=<setup.exe> [-DNO_GUI: a build without the wizard, the converter tools only]. Silent install: setup.exe /S [/D=C:\path]; silent removal: uninstall.exe /S.
Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define NAME "Velmora"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"

Name "${NAME} ${VERSION}"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES64\${NAME}"
InstallDirRegKey HKLM "Software\${NAME}" "InstallDir"
; The same bytes from the same inputs.
SetDatablockOptimize on
SetDateSave off

Page license
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles
LicenseData "${TOP}/LICENSE"

Section "Install"
  SetRegView 64
  SetOutPath "$INSTDIR"
!ifndef NO_GUI
  File "${BIN}/velmora.exe"
!endif
  File "${BIN}/velmora-convert.exe"
  File "${BIN}/velmora-pst.exe"
  File "/oname=LICENSE.txt" "${TOP}/LICENSE"
  File "/oname=README.md" "${TOP}/README.md"
  File /r "${BIN}/zoneinfo"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
!ifndef NO_GUI
  CreateShortCut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\velmora.exe"
!endif
  WriteRegStr HKLM "Software\${NAME}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${NAME}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  SetRegView 64
  SetShellVarContext all
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\velmora-convert.exe"
  Delete "$INSTDIR\velmora-pst.exe"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /r "$INSTDIR\zoneinfo"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
  DeleteRegKey HKLM "Software\${NAME}"
SectionEnd
