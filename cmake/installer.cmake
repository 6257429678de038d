# The Windows installer (CPack's NSIS generator): the program in
# Program Files\cdmg2csv\bin, an uninstaller registered with Windows, and a
# page that offers to add the bin folder to PATH for all users or for the
# current one. A silent install takes the same choice as /PATH=all or
# /PATH=user (without it, PATH is left alone):
#   cdmg2csv-1.0.0-windows-x86_64.exe /S /PATH=user
#   "C:\Program Files\cdmg2csv\Uninstall.exe" /S
set(CPACK_NSIS_PACKAGE_NAME "cdmg2csv ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "cdmg2csv ${PROJECT_VERSION}")
set(CPACK_NSIS_MODIFY_PATH ON)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
endif()
string(REPLACE "." ";" version_parts "${PROJECT_VERSION}.0")
list(JOIN version_parts "." version4)
set(CPACK_NSIS_INSTALLER_MUI_ICON_CODE [=[
!include FileFunc.nsh
; No file times in the installer: two builds of one commit give its bytes.
SetDateSave off
VIProductVersion "@version4@"
VIAddVersionKey "ProductName" "cdmg2csv"
VIAddVersionKey "ProductVersion" "@PROJECT_VERSION@"
VIAddVersionKey "FileVersion" "@PROJECT_VERSION@"
VIAddVersionKey "FileDescription" "cdmg2csv @PROJECT_VERSION@ installer"
VIAddVersionKey "CompanyName" "The cdmg2csv developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The cdmg2csv developers, MIT licence"
]=])
# Top-level code: where the icon settings would go.
string(CONFIGURE "${CPACK_NSIS_INSTALLER_MUI_ICON_CODE}" CPACK_NSIS_INSTALLER_MUI_ICON_CODE @ONLY)
# /PATH=all or /PATH=user on the command line chooses as the page would,
# and is recorded where the uninstaller looks for it.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/PATH=" $R1
  IfErrors cdmg_path_chosen
  StrCpy $DO_NOT_ADD_TO_PATH "1"
  StrCpy $ADD_TO_PATH_ALL_USERS "0"
  StrCpy $ADD_TO_PATH_CURRENT_USER "0"
  StrCmp $R1 "all" 0 +3
    StrCpy $DO_NOT_ADD_TO_PATH "0"
    StrCpy $ADD_TO_PATH_ALL_USERS "1"
  StrCmp $R1 "user" 0 +3
    StrCpy $DO_NOT_ADD_TO_PATH "0"
    StrCpy $ADD_TO_PATH_CURRENT_USER "1"
  Push "DoNotAddToPath"
  Push "$DO_NOT_ADD_TO_PATH"
  Call ConditionalAddToRegistry
  Push "AddToPathAllUsers"
  Push "$ADD_TO_PATH_ALL_USERS"
  Call ConditionalAddToRegistry
  Push "AddToPathCurrentUser"
  Push "$ADD_TO_PATH_CURRENT_USER"
  Call ConditionalAddToRegistry
cdmg_path_chosen:
]=])
