; The walkers installer's and uninstaller's own steps (included by cmake/WindowsPackage.cmake):
; every file replaced or removed, or nothing touched and a non-zero status with a line naming it.
!include LogicLib.nsh
!include WinMessages.nsh

; Each file the installer puts in place and the uninstaller removes (Uninstall.exe aside: it is
; written anew, or removes itself); keep in step with WindowsPackage.cmake's install rules.
!macro _WalkersEachFile check
  !insertmacro ${check} "$INSTDIR\walkers.exe"
  !insertmacro ${check} "$INSTDIR\walkers.scr"
  !insertmacro ${check} "$INSTDIR\README.md"
  !insertmacro ${check} "$INSTDIR\LICENSE.txt"
  !insertmacro ${check} "$SYSDIR\walkers.scr"
!macroend

; Sets $R1 to `path` and $R2 to the system's error when $R1 is still empty and `path` is there but
; cannot be opened for writing: a running program's file cannot, nor one another program holds.
!macro _WalkersCheckFile path
  ${If} $R1 == ""
  ${AndIf} ${FileExists} "${path}"
    StrCpy $R3 "${path}"
    ; GENERIC_WRITE, shared with readers, OPEN_EXISTING
    System::Call 'kernel32::CreateFileW(w R3, i 0x40000000, i 1, p 0, i 3, i 0, p 0) p .R4 ?e'
    Pop $R2
    ${If} $R4 = -1
      StrCpy $R1 "${path}"
    ${Else}
      System::Call 'kernel32::CloseHandle(p R4)'
    ${EndIf}
  ${EndIf}
!macroend

!macro _WalkersFunctions un verb who
  ; $R1: the first file that cannot be written (its error in $R2), or "" when every one can.
  Function ${un}WalkersFirstInUse
    StrCpy $R1 ""
    !insertmacro _WalkersEachFile _WalkersCheckFile
  FunctionEnd

  ; Says the line in $R0 on standard error (the parent's console when there is no standard
  ; error) and in the details.
  Function ${un}WalkersSay
    DetailPrint "$R0"
    System::Call 'kernel32::GetStdHandle(i -12) p .R5'
    System::Call 'kernel32::GetFileType(p R5) i .R6'
    ${If} $R6 = 0
      System::Call 'kernel32::AttachConsole(i -1) i .R6'
      ${If} $R6 <> 0
        StrCpy $R6 "CONOUT$$"
        System::Call 'kernel32::CreateFileW(w R6, i 0x40000000, i 2, p 0, i 3, i 0, p 0) p .R5'
      ${EndIf}
    ${EndIf}
    ${If} $R5 <> 0
    ${AndIf} $R5 <> -1
      FileWrite $R5 "walkers ${who}: $R0$\r$\n"
    ${EndIf}
  FunctionEnd

  ; Ends the run: the line in $R0 said, and shown in a message box unless silent; status 2.
  Function ${un}WalkersFail
    Call ${un}WalkersSay
    MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
    SetErrorLevel 2
    Abort
  FunctionEnd

  ; Every file free, or the run fails with nothing touched. A walkers program using one is asked
  ; to end (its windows are closed, as the user would; silent runs go on without asking) and
  ; given 5 s; anything else holding a file is named.
  Function ${un}WalkersFilesFree
    Call ${un}WalkersFirstInUse
    ${If} $R1 == ""
      Return
    ${EndIf}
    MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
        "walkers is running ($R1 is in use). It will be closed to go on." /SD IDOK IDOK close
    StrCpy $R0 "cannot ${verb} $R1: it is in use"
    Call ${un}WalkersFail
  close:
    ; The main window and the screen saver's covers (the class "walkers"), and the settings
    ; dialog: WM_CLOSE ends each as its close button does. Previews live in other programs'
    ; windows and end with them.
    StrCpy $R7 0
    ${Do}
      FindWindow $R7 "walkers" "" 0 $R7
      ${IfThen} $R7 = 0 ${|} ${ExitDo} ${|}
      System::Call 'user32::PostMessageW(p R7, i ${WM_CLOSE}, p 0, p 0)'
    ${Loop}
    StrCpy $R7 0
    ${Do}
      FindWindow $R7 "#32770" "walkers settings" 0 $R7
      ${IfThen} $R7 = 0 ${|} ${ExitDo} ${|}
      System::Call 'user32::PostMessageW(p R7, i ${WM_CLOSE}, p 0, p 0)'
    ${Loop}
    ${For} $R7 1 25
      Sleep 200
      Call ${un}WalkersFirstInUse
      ${If} $R1 == ""
        Return
      ${EndIf}
    ${Next}
    ${If} $R2 = 32  ; ERROR_SHARING_VIOLATION
      StrCpy $R0 "cannot ${verb} $R1: it is in use"
    ${Else}
      StrCpy $R0 "cannot ${verb} $R1 (error $R2)"
    ${EndIf}
    Call ${un}WalkersFail
  FunctionEnd
!macroend
!insertmacro _WalkersFunctions "" replace installer
!insertmacro _WalkersFunctions "un." remove uninstaller

; Before the first file is written: all of them free. A file that still cannot be written stops
; the installer (AllowSkipFiles off: NSIS would skip it in silent mode).
!macro WalkersBeforeInstall
  AllowSkipFiles off
  Call WalkersFilesFree
!macroend

; Screen Saver Settings lists the screen savers in the system folder.
!macro WalkersAfterInstall
  StrCpy $R3 "$INSTDIR\walkers.scr"
  StrCpy $R4 "$SYSDIR\walkers.scr"
  System::Call 'kernel32::CopyFileW(w R3, w R4, i 0) i .R5 ?e'
  Pop $R2
  ${If} $R5 = 0
    StrCpy $R0 "cannot replace $SYSDIR\walkers.scr (error $R2)"
    Call WalkersFail
  ${EndIf}
!macroend

; Before anything is removed: every file free. Then the screen saver and the saved settings.
; NSIS runs the uninstaller from a copy of itself in the temporary folder, which removes
; Uninstall.exe with the rest; run in place instead (with _?=, so as to wait for it), it cannot
; delete its own file, which NSIS holds open: that file and its folder go at the next restart,
; and the status (3010) and a line say so.
!macro WalkersBeforeUninstall
  SetOutPath "$TEMP"  ; the working folder, never the one to remove
  Call un.WalkersFilesFree
  ClearErrors
  Delete "$SYSDIR\walkers.scr"
  ${If} ${Errors}
    StrCpy $R0 "cannot remove $SYSDIR\walkers.scr"
    Call un.WalkersFail
  ${EndIf}
  DeleteRegKey HKCU "Software\walkers"
  ClearErrors
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${Errors}
  ${AndIf} ${FileExists} "$INSTDIR\Uninstall.exe"
    Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
    StrCpy $R0 "$INSTDIR\Uninstall.exe and its folder are removed at the next restart"
    Call un.WalkersSay
    SetErrorLevel 3010  ; ERROR_SUCCESS_REBOOT_REQUIRED
  ${EndIf}
!macroend
