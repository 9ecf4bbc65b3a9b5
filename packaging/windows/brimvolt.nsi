; The Brimvolt installer. tools/windows/package.sh passes VERSION, OUTFILE and three lists it
; makes from the zip's folder: FILES (what to install), UNFILES and DIRS (what to remove again).
; /S installs silently, /CurrentUser or /AllUsers says for whom.
; A 64-bit installer for a 64-bit program: it runs where the program does, Wine's wine64 included.
Target amd64-unicode
; The bench's shortcut has a Cyrillic name: only a Unicode installer keeps it.
Unicode true
SetCompressor /SOLID lzma

!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_INSTDIR "Brimvolt"
!define MULTIUSER_MUI
!include MultiUser.nsh
!include MUI2.nsh

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimvolt"

Name "Brimvolt ${VERSION}"
OutFile "${OUTFILE}"

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"
!insertmacro MUI_LANGUAGE "Russian"

Function .onInit
    !insertmacro MULTIUSER_INIT
FunctionEnd

Function un.onInit
    !insertmacro MULTIUSER_UNINIT
FunctionEnd

Section "Brimvolt"
    !include "${FILES}"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateDirectory "$SMPROGRAMS\Brimvolt"
    CreateShortcut "$SMPROGRAMS\Brimvolt\Brimvolt.lnk" "$INSTDIR\brimvolt.exe"
    ; A colon is no character of a Windows file name (NTFS would make it a stream): a dash here.
    CreateShortcut "$SMPROGRAMS\Brimvolt\Brimvolt — стенд.lnk" "$INSTDIR\brimvolt.exe" "--bench"
    CreateShortcut "$SMPROGRAMS\Brimvolt\Uninstall Brimvolt.lnk" "$INSTDIR\uninstall.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "Brimvolt"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brimvolt.exe"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode'
    WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /$MultiUser.InstallMode /S'
    ; Curve files open with Brimvolt, which loads them into the curve window.
    WriteRegStr SHCTX "Software\Classes\.raz" "" "Brimvolt.DischargeCurve"
    WriteRegStr SHCTX "Software\Classes\.zar" "" "Brimvolt.ChargeCurve"
    WriteRegStr SHCTX "Software\Classes\Brimvolt.DischargeCurve" "" "Brimvolt discharge curve"
    WriteRegStr SHCTX "Software\Classes\Brimvolt.ChargeCurve" "" "Brimvolt charge curve"
    WriteRegStr SHCTX "Software\Classes\Brimvolt.DischargeCurve\DefaultIcon" "" "$INSTDIR\brimvolt.exe,0"
    WriteRegStr SHCTX "Software\Classes\Brimvolt.ChargeCurve\DefaultIcon" "" "$INSTDIR\brimvolt.exe,0"
    WriteRegStr SHCTX "Software\Classes\Brimvolt.DischargeCurve\shell\open\command" "" '"$INSTDIR\brimvolt.exe" "%1"'
    WriteRegStr SHCTX "Software\Classes\Brimvolt.ChargeCurve\shell\open\command" "" '"$INSTDIR\brimvolt.exe" "%1"'
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    ; Only what the installer put there: files the program wrote (journals, curves) stay.
    !include "${UNFILES}"
    Delete "$INSTDIR\uninstall.exe"
    !include "${DIRS}"
    RMDir "$INSTDIR"
    Delete "$SMPROGRAMS\Brimvolt\Brimvolt.lnk"
    Delete "$SMPROGRAMS\Brimvolt\Brimvolt — стенд.lnk"
    Delete "$SMPROGRAMS\Brimvolt\Uninstall Brimvolt.lnk"
    RMDir "$SMPROGRAMS\Brimvolt"
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
    ; The extensions are given back only while they still name Brimvolt's types.
    ReadRegStr $0 SHCTX "Software\Classes\.raz" ""
    StrCmp $0 "Brimvolt.DischargeCurve" 0 +2
        DeleteRegKey SHCTX "Software\Classes\.raz"
    ReadRegStr $0 SHCTX "Software\Classes\.zar" ""
    StrCmp $0 "Brimvolt.ChargeCurve" 0 +2
        DeleteRegKey SHCTX "Software\Classes\.zar"
    DeleteRegKey SHCTX "Software\Classes\Brimvolt.DischargeCurve"
    DeleteRegKey SHCTX "Software\Classes\Brimvolt.ChargeCurve"
    System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
SectionEnd
