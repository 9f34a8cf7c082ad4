; The Windows installer. scripts/windows/package.sh builds it (makensis -INPUTCHARSET UTF8) and
; defines:
;   VERSION         the project's version, from CMake's project()
;   STAGING         the folder of the packed program: the same files the zip holds
;   UNINSTALL_LIST  a file of Delete and RMDir lines, one for each file and folder of STAGING
;   OUTFILE         where the installer is written
;
; It installs for the user who runs it, without administrator rights: into the user's own
; programs folder, with an entry in the user's Start menu and the uninstaller registered under
; HKEY_CURRENT_USER. The 64-bit stub, so that the installer runs where only 64-bit programs do.

!macro Required NAME
  !ifndef ${NAME}
    !error "${NAME} is not defined: build the installer with scripts/windows/package.sh"
  !endif
!macroend
!insertmacro Required VERSION
!insertmacro Required STAGING
!insertmacro Required UNINSTALL_LIST
!insertmacro Required OUTFILE

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include LogicLib.nsh

; The name the desktop entry gives the program in Chinese.
!define DISPLAY_NAME "Tavrin外链小工具"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tavrin"
!define SHORTCUT "$SMPROGRAMS\${DISPLAY_NAME}.lnk"
; Said in the details when a changed url.txt or ping.txt is kept.
!define KEPT_TEXT "保留您改过的文件："

Name "${DISPLAY_NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Tavrin"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\tavrin.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
; Every text the installer and the uninstaller show comes from NSIS's Chinese language file.
!insertmacro MUI_LANGUAGE "SimpChinese"

; The template library (url.txt) and the ping list (ping.txt) are the user's to change, and the
; program loads the copy beside itself first. So a copy changed since it was installed is neither
; replaced by a later installation nor removed by the uninstaller. A copy is known as the one
; installed by its file time, recorded beside the uninstaller's entry when it was put there; a
; copy with no record was not put there by the installer and is kept as well.
!macro InstallDataFile NAME
  StrCpy $3 install
  ${If} ${FileExists} "$INSTDIR\${NAME}"
    ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "${NAME} time"
    GetFileTime "$INSTDIR\${NAME}" $1 $2
    ${If} $0 != "$1 $2"
      StrCpy $3 keep
    ${EndIf}
  ${EndIf}
  ${If} $3 == install
    File "${STAGING}\${NAME}"
    GetFileTime "$INSTDIR\${NAME}" $1 $2
    WriteRegStr HKCU "${UNINSTALL_KEY}" "${NAME} time" "$1 $2"
  ${Else}
    DetailPrint "${KEPT_TEXT}$INSTDIR\${NAME}"
  ${EndIf}
!macroend

!macro RemoveDataFile NAME
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "${NAME} time"
  ClearErrors
  GetFileTime "$INSTDIR\${NAME}" $1 $2
  ${IfNot} ${Errors}
  ${AndIf} $0 == "$1 $2"
    Delete "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

Section
  SetOutPath "$INSTDIR"
  File /r /x url.txt /x ping.txt "${STAGING}\*.*"
  !insertmacro InstallDataFile url.txt
  !insertmacro InstallDataFile ping.txt
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ; The Start-menu entry starts the program in its own folder.
  CreateShortCut "${SHORTCUT}" "$INSTDIR\tavrin.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${DISPLAY_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tavrin.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; Removes what the installer put there and nothing else: the folder itself goes only when it is
; empty then, so files the user keeps in it stay.
Section "Uninstall"
  !include "${UNINSTALL_LIST}"
  !insertmacro RemoveDataFile url.txt
  !insertmacro RemoveDataFile ping.txt
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${SHORTCUT}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
