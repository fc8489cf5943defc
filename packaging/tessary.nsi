; The Windows installer: for the current user without administrator rights
; (%LOCALAPPDATA%\Programs\Tessary), or for all users when run elevated
; (Program Files). scripts/package-windows passes the version, the staged
; icon and the two file lists it wrote from the staged portable folder:
;   makensis -DVERSION=2.2.0.2 -DICON=... -DFILES=... -DUNFILES=... -DOUTFILE=... tessary.nsi
; Silent use: setup.exe /S [/CURRENTUSER | /ALLUSERS] [/ASSOCIATE] [/D=folder]
; (/D last, as NSIS wants it).
Unicode true
Target amd64-unicode
ManifestDPIAware true
ManifestSupportedOS all
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include LogicLib.nsh
!include FileFunc.nsh
!include WordFunc.nsh
!include Sections.nsh

!define APP "Tessary"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Tessary"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} setup"
VIAddVersionKey "LegalCopyright" "The Tessary developers"

Var AllUsers

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Removes the .cfg association under root when it opens files with the program
; in $INSTDIR; another program's keys stay as they are.
!macro RemoveAssociation ROOT
  ReadRegStr $0 ${ROOT} "Software\Classes\.cfg" ""
  ${If} $0 == "cfgfile"
  ${OrIf} $0 == "Tessary.cfgfile"
    ReadRegStr $1 ${ROOT} "Software\Classes\$0\shell\open\command" ""
    ${WordFind} $1 '"$INSTDIR\tessary.exe"' "E+1{" $2
    ${IfNot} ${Errors}
      DeleteRegKey ${ROOT} "Software\Classes\$0"
      DeleteRegValue ${ROOT} "Software\Classes\.cfg" ""
      DeleteRegKey /ifempty ${ROOT} "Software\Classes\.cfg"
    ${EndIf}
  ${EndIf}
  ClearErrors
!macroend

Section "Tessary" SecProgram
  SectionIn RO
  SetOverwrite on
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\Tessary.lnk" "$INSTDIR\tessary.exe" "" "$INSTDIR\tessary.exe" 0
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "The Tessary developers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\tessary.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Open .cfg files with Tessary" SecAssociate
  ; "cfgfile", unless it opens files with another program: then a key of our own.
  StrCpy $0 "cfgfile"
  ReadRegStr $1 SHCTX "Software\Classes\cfgfile\shell\open\command" ""
  ${If} $1 != ""
    ${WordFind} $1 "\tessary.exe$\"" "E+1{" $2
    ${If} ${Errors}
      StrCpy $0 "Tessary.cfgfile"
    ${EndIf}
  ${EndIf}
  ClearErrors
  WriteRegStr SHCTX "Software\Classes\.cfg" "" $0
  WriteRegStr SHCTX "Software\Classes\$0\DefaultIcon" "" "$INSTDIR\tessary.exe,0"
  WriteRegStr SHCTX "Software\Classes\$0\Shell" "" "Open"
  WriteRegStr SHCTX "Software\Classes\$0\shell\open\command" "" '"$INSTDIR\tessary.exe" "%1"'
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd

Function .onInit
  ${GetParameters} $R0
  ; Elevated: for all users, unless /CURRENTUSER says otherwise; else for this user.
  UserInfo::GetAccountType
  Pop $R1
  StrCpy $AllUsers 0
  ${If} $R1 == "Admin"
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R2
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ALLUSERS" $R2
  ${IfNot} ${Errors}
    ${If} $R1 != "Admin"
      MessageBox MB_ICONSTOP "Installing for all users needs administrator rights." /SD IDOK
      Abort
    ${EndIf}
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/ASSOCIATE" $R2
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAssociate}
  ${EndIf}
  ClearErrors
  ${If} $AllUsers == 1
    SetShellVarContext all
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${APP}"
    ${EndIf}
  ${Else}
    SetShellVarContext current
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${APP}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function un.onInit
  ; Installed for all users when the machine's uninstall entry names this folder.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    UserInfo::GetAccountType
    Pop $1
    ${If} $1 != "Admin"
      MessageBox MB_ICONSTOP "Tessary was installed for all users: removing it needs administrator rights." /SD IDOK
      Abort
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Every file the installer put there, and the folders it made when they are
; empty: what the user keeps elsewhere (%LOCALAPPDATA%\Tessary, the arenas) stays.
Section "Uninstall"
  !insertmacro RemoveAssociation HKCU
  ${If} $INSTDIR != ""
    ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $0 == $INSTDIR
      !insertmacro RemoveAssociation HKLM
    ${EndIf}
  ${EndIf}
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  Delete "$SMPROGRAMS\Tessary.lnk"
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
