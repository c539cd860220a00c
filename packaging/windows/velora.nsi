; Installer of velora for 64-bit Windows. scripts/windows.sh passes VERSION, FILES (the install
; commands of every packaged file), UNFILES (their removal), ICON and OUTFILE.
Unicode true
!include "MUI2.nsh"
!include "x64.nsh"

!define APPNAME "velora"
!define DISPLAYNAME "velora 试卷评测系统-教师端"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velora"

Name "${DISPLAYNAME}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\velora"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "velora ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\velora.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "velora 需要 64 位的 Windows。"
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "velora"
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\velora"
  CreateShortcut "$SMPROGRAMS\velora\velora 试卷评测系统.lnk" "$INSTDIR\velora.exe" "" "$INSTDIR\velora.exe" 0
  CreateShortcut "$SMPROGRAMS\velora\卸载 velora.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayName" "${DISPLAYNAME}"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTKEY}" "Publisher" "velora 开发组"
  WriteRegStr HKLM "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\velora.exe,0"
  WriteRegStr HKLM "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTKEY}" "NoRepair" 1
SectionEnd

; Removes exactly what the installer put down; a folder keeps whatever else the user left in it.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\velora\velora 试卷评测系统.lnk"
  Delete "$SMPROGRAMS\velora\卸载 velora.lnk"
  RMDir "$SMPROGRAMS\velora"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTKEY}"
SectionEnd
