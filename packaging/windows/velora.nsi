; Installer of velora for 64-bit Windows. scripts/windows.sh passes VERSION, FILES (the install
; commands of every packaged file), UNFILES (their removal), ICON and OUTFILE.
; A 64-bit installer for a 64-bit program (it also runs where only 64-bit Wine is at hand).
;
; A teacher without administrator rights installs for herself, under %LOCALAPPDATA%\Programs\velora,
; with no UAC prompt; an administrator may choose all users (Program Files). /CurrentUser and
; /AllUsers choose on the command line, /S installs silently.
Target amd64-unicode

!define APPNAME "velora"
!define DISPLAYNAME "velora 试卷评测系统-教师端"
!define UNINSTKEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\velora"
!define SHORTCUT "velora 试卷评测系统.lnk"

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "velora"
!define MULTIUSER_USE_PROGRAMFILES64
; The uninstaller removes what this install put down, in the mode it was made in (un.onInit).
!define MULTIUSER_NOUNINSTALL
!include "MultiUser.nsh"
!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

Name "${DISPLAYNAME}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
BrandingText "velora ${VERSION}"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_COMPONENTSPAGE_NODESC
!define MUI_FINISHPAGE_RUN "$INSTDIR\velora.exe"
!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; An account that counts as an administrator but cannot write to Program Files (not elevated,
; or kept out by the folder's permissions) installs for itself, as any other user does.
Function CheckAllUsersPossible
  ${If} $MultiUser.InstallMode != "AllUsers"
    Return
  ${EndIf}
  ClearErrors
  FileOpen $0 "$PROGRAMFILES64\velora-setup.probe" w
  ${If} ${Errors}
    ${GetParameters} $1
    ClearErrors
    ${GetOptions} $1 "/AllUsers" $2
    ${IfNot} ${Errors}
      MessageBox MB_OK|MB_ICONSTOP "没有写入“$PROGRAMFILES64”的权限，无法为所有用户安装。" /SD IDOK
      Quit
    ${EndIf}
    StrCpy $MultiUser.Privileges "User"
    Call MultiUser.InstallMode.CurrentUser
  ${Else}
    FileClose $0
    Delete "$PROGRAMFILES64\velora-setup.probe"
  ${EndIf}
FunctionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "velora 需要 64 位的 Windows。" /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MULTIUSER_INIT
  Call CheckAllUsersPossible
FunctionEnd

; The install mode: HKLM's entry names this folder for an all-users install, HKCU's for one user's.
Function un.onInit
  SetRegView 64
  ReadRegStr $0 HKLM "${UNINSTKEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "velora" SecProgram
  SectionIn RO
  !include "${FILES}"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayName" "${DISPLAYNAME}"
  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTKEY}" "Publisher" "velora 开发组"
  WriteRegStr SHCTX "${UNINSTKEY}" "DisplayIcon" "$INSTDIR\velora.exe,0"
  WriteRegStr SHCTX "${UNINSTKEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTKEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTKEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTKEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTKEY}" "NoRepair" 1
  ; A shortcut starts velora in the folder $OUTDIR names. For one user that is her Documents, so
  ; a bare file name typed into the export field lands there; an all-users shortcut cannot name
  ; every user's Documents and starts velora in its own folder, which velora leaves for the
  ; Documents of whoever runs it.
  ${If} $MultiUser.InstallMode == "CurrentUser"
    SetOutPath "$DOCUMENTS"
  ${EndIf}
  CreateDirectory "$SMPROGRAMS\velora"
  CreateShortcut "$SMPROGRAMS\velora\${SHORTCUT}" "$INSTDIR\velora.exe" "" "$INSTDIR\velora.exe" 0
  CreateShortcut "$SMPROGRAMS\velora\卸载 velora.lnk" "$INSTDIR\uninstall.exe"
  SetOutPath "$INSTDIR"
SectionEnd

Section "桌面快捷方式" SecDesktop
  ${If} $MultiUser.InstallMode == "CurrentUser"
    SetOutPath "$DOCUMENTS"
  ${EndIf}
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\velora.exe" "" "$INSTDIR\velora.exe" 0
  SetOutPath "$INSTDIR"
  ; Removed by the uninstaller only when it was made here.
  WriteRegDWORD SHCTX "${UNINSTKEY}" "DesktopShortcut" 1
SectionEnd

; Removes exactly what the installer put down; a folder keeps whatever else the user left in it.
Section "Uninstall"
  ReadRegDWORD $0 SHCTX "${UNINSTKEY}" "DesktopShortcut"
  ${If} $0 == 1
    Delete "$DESKTOP\${SHORTCUT}"
  ${EndIf}
  Delete "$SMPROGRAMS\velora\${SHORTCUT}"
  Delete "$SMPROGRAMS\velora\卸载 velora.lnk"
  RMDir "$SMPROGRAMS\velora"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTKEY}"
SectionEnd
