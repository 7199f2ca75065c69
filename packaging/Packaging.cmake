# Release packaging of the Windows build: the help file qv_admin.chm beside the
# programs, the CPack ZIP and the x64 MSI. Included from the top CMakeLists.txt.
if(NOT WIN32)
  return()
endif()

set(DG_HELP_SOURCE_DIR ${CMAKE_SOURCE_DIR}/docs/help)
set(DG_SAMPLE_INI ${CMAKE_CURRENT_LIST_DIR}/qv_config.ini)
set(DG_CHM ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/qv_admin.chm)

# --- Help file -------------------------------------------------------------
# chmcmd reads the pages beside the project file and writes the CHM into its
# current folder: a folder of its own, so that a failed run leaves no half file
# beside the programs.
find_program(CHMCMD chmcmd)
file(GLOB DG_HELP_SOURCES CONFIGURE_DEPENDS ${DG_HELP_SOURCE_DIR}/*)
if(CHMCMD)
  set(help_work ${CMAKE_BINARY_DIR}/help)
  file(MAKE_DIRECTORY ${help_work})
  add_custom_command(
    OUTPUT ${DG_CHM}
    COMMAND ${CMAKE_COMMAND} -E rm -f qv_admin.chm
    COMMAND ${CHMCMD} --verbosity 1 ${DG_HELP_SOURCE_DIR}/qv_admin.hhp
    COMMAND ${CMAKE_COMMAND} -E copy qv_admin.chm ${DG_CHM}
    WORKING_DIRECTORY ${help_work}
    DEPENDS ${DG_HELP_SOURCES}
    COMMENT "Compiling the help file qv_admin.chm"
    VERBATIM)
  add_custom_target(qv_admin_chm ALL DEPENDS ${DG_CHM})
else()
  message(WARNING "chmcmd (Debian package fp-utils) not found: qv_admin.chm is not built; run tools/setup-debian.sh")
endif()

# --- Release ZIP (cpack -G ZIP) ----------------------------------------------
# Layout: the help, the sample configuration and the guide at the top; the
# plug-in and the console of each architecture in x64/ and x86/, to be
# copied together with the three.
set(DIALGATE_X86_DLL "" CACHE FILEPATH "dialgate.dll of an i686 build, packed as x86/dialgate.dll")
set(DIALGATE_X86_CONSOLE "" CACHE FILEPATH "portwatch.exe of an i686 build, packed as x86/portwatch.exe")

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(DG_ARCH x64)
else()
  set(DG_ARCH x86)
endif()
install(TARGETS dialgate RUNTIME DESTINATION ${DG_ARCH} LIBRARY DESTINATION ${DG_ARCH})
if(TARGET portwatch)
  install(TARGETS portwatch RUNTIME DESTINATION ${DG_ARCH})
endif()
if(DG_ARCH STREQUAL "x64")
  foreach(x86_file IN ITEMS DIALGATE_X86_DLL DIALGATE_X86_CONSOLE)
    if(${x86_file})
      if(NOT EXISTS "${${x86_file}}")
        message(WARNING "${x86_file} names no file yet: ${${x86_file}}")
      endif()
      install(FILES ${${x86_file}} DESTINATION x86)
    else()
      message(STATUS "${x86_file} is not set: the ZIP holds no x86 build of it")
    endif()
  endforeach()
endif()
if(CHMCMD)
  install(FILES ${DG_CHM} DESTINATION .)
endif()

# A text file of the release, with CR LF line ends whatever the checkout has:
# Notepad before Windows Server 2019 shows LF-only text as one line. Copied as
# it is otherwise, and written only when it changes, so that the packages are
# not made again for nothing. (file(CONFIGURE) would drop the CR: CMake 3.25
# writes its own line ends unless told.) An .xml file becomes UTF-16 with its
# byte-order mark, as Task Scheduler writes the tasks that schtasks imports.
#   dg_release_text(SOURCE OUTPUT_VARIABLE) gives the converted copy's path.
function(dg_release_text source out)
  get_filename_component(name ${source} NAME)
  set(copy ${CMAKE_BINARY_DIR}/packaging/text/${name})
  set(crlf ${copy})
  if(name MATCHES "[.]xml$")
    set(crlf ${CMAKE_BINARY_DIR}/packaging/text/utf-8/${name})
  endif()
  file(READ ${source} text)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\n" "\r\n" text "${text}")
  set(written "")
  if(EXISTS ${crlf})
    file(READ ${crlf} written)
  endif()
  if(NOT written STREQUAL text OR NOT EXISTS ${copy})
    file(WRITE ${crlf} "${text}")
    if(NOT crlf STREQUAL copy)
      execute_process(COMMAND sh -c [[printf '\377\376' >"$1" && iconv -f UTF-8 -t UTF-16LE "$2" >>"$1"]]
                              utf-16 ${copy} ${crlf}
                      RESULT_VARIABLE failed)
      if(failed)
        message(FATAL_ERROR "${name}: not converted to UTF-16 (iconv)")
      endif()
    endif()
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  set(${out} ${copy} PARENT_SCOPE)
endfunction()
dg_release_text(${DG_SAMPLE_INI} DG_SAMPLE_INI_CRLF)
dg_release_text(${CMAKE_CURRENT_LIST_DIR}/INSTALL.md DG_GUIDE_CRLF)
# What only a real server shows, and the acceptance test there (English, Russian).
dg_release_text(${CMAKE_SOURCE_DIR}/docs/WINDOWS.md DG_SERVER_DOC_EN)
dg_release_text(${CMAKE_SOURCE_DIR}/docs/WINDOWS.ru.md DG_SERVER_DOC_RU)
set(DG_SERVER_DOCS ${DG_SERVER_DOC_EN} ${DG_SERVER_DOC_RU})
# The console's logon task for schtasks /create /xml, without a time limit.
dg_release_text(${CMAKE_CURRENT_LIST_DIR}/portwatch-task.xml DG_CONSOLE_TASK)
install(FILES ${DG_SAMPLE_INI_CRLF} ${DG_GUIDE_CRLF} ${DG_SERVER_DOCS} ${DG_CONSOLE_TASK} DESTINATION .)
# The installer's commands for cmd.exe, which wait for msiexec and print its
# exit code: beside the MSI, not inside it (a batch file that removes itself
# loses its place).
dg_release_text(${CMAKE_CURRENT_LIST_DIR}/dialgate-msi.cmd DG_MSI_COMMANDS)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME dialgate)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME dialgate-${PROJECT_VERSION}-windows)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Timed dial-in gatekeeper: remote-access plug-in and administrator console")
include(CPack)

# --- x64 MSI (wixl) ------------------------------------------------------------
# The installer's own steps, carried in the MSI's Binary table.
if(DG_ARCH STREQUAL "x64")
  add_library(dginstall SHARED ${CMAKE_CURRENT_LIST_DIR}/InstallActions.cpp ${CMAKE_CURRENT_LIST_DIR}/InstallActions.def)
  set_target_properties(dginstall PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
  target_link_libraries(dginstall PRIVATE dg_win32 msi)
  dg_defaults(dginstall)
  # Only ever inside the MSI: without its symbols it is a quarter of the size.
  target_link_options(dginstall PRIVATE -s)
endif()

# dg_add_msi(TARGET VERSION PLUGIN_TARGET CONSOLE_TARGET STAGE_DIR): the
# installer of the given product version, from the given plug-in build and
# console (none when empty); its file versions are those the programs'
# version blocks carry.
function(dg_add_msi target version plugin_target console_target msi_stage)
  set(DG_VERSION ${version})
  # Every version and build is one product to Windows Installer.
  set(DG_UPGRADE_CODE 6D0B7A52-93E4-4C1F-B0A7-2F4E8C61D5A9)
  # The configuration keeps one identity across versions, so that upgrades
  # recognise the administrator's file as theirs.
  set(DG_CONFIG_GUID 9a41c7e3-6b25-4f08-a3d1-c85e2f70b194)
  set(DG_CONSOLE_COMPONENT "")
  set(DG_CONSOLE_REFS "")
  set(DG_MENU_DIRECTORY "")
  if(console_target)
    set(DG_CONSOLE_COMPONENT [=[
          <Component Id="Console" Guid="5b8e2d17-4c9a-4f06-a2e3-9d1f7c6b0e35" Win64="yes">
            <File Id="portwatch.exe" Name="portwatch.exe" Source="portwatch.exe" KeyPath="yes"/>
            <File Id="portwatch_task.xml" Name="portwatch-task.xml" Source="portwatch-task.xml"/>
          </Component>]=])
    set(DG_MENU_DIRECTORY [=[
      <Directory Id="ProgramMenuFolder">
        <Directory Id="MenuDir" Name="dialgate">
          <Component Id="MenuShortcut" Guid="0e6c3a58-d1b7-4e92-8f4a-3b5d9c2e7f16" Win64="yes">
            <Shortcut Id="ConsoleShortcut" Name="portwatch" Description="dialgate administrator console"
                      Target="[ProductFolder]portwatch.exe" WorkingDirectory="ProductFolder"/>
            <RemoveFolder Id="MenuDir" On="uninstall"/>
            <RegistryValue Root="HKLM" Key="SOFTWARE\dialgate" Name="StartMenuShortcut" Type="integer"
                           Value="1" KeyPath="yes"/>
          </Component>
        </Directory>
      </Directory>]=])
    set(DG_CONSOLE_REFS [=[
      <ComponentRef Id="Console"/>
      <ComponentRef Id="MenuShortcut"/>]=])
  endif()
  set(msi ${CMAKE_BINARY_DIR}/packages/dialgate-${version}-x64.msi)
  # wixl takes sources by names relative to the folder it runs in: the files
  # are gathered in one staging folder with the WiX source.
  configure_file(${CMAKE_SOURCE_DIR}/packaging/dialgate.wxs.in ${msi_stage}/dialgate.wxs @ONLY)

  set(msi_depends ${plugin_target} dginstall qv_admin_chm ${DG_CHM} ${DG_SAMPLE_INI_CRLF} ${DG_GUIDE_CRLF} ${DG_SERVER_DOCS}
                  ${DG_CONSOLE_TASK}
                  ${msi_stage}/dialgate.wxs)
  set(stage_console "")
  if(console_target)
    list(APPEND msi_depends ${console_target})
    set(stage_console COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${console_target}> ${msi_stage}/portwatch.exe)
  endif()
  # What wixl cannot write, added to its database with msibuild:
  # - the configuration's component attributes: 256 64-bit, 16 permanent,
  #   16384 never overwrite (Windows Installer keeps an existing file);
  # - a search for an existing qv_config.ini in the product's folder, which
  #   leaves the component out when one is there (Wine's installer ignores
  #   the never-overwrite attribute; so do repairs on Windows);
  # - the log folder at C:\VE_DA, as qv_config.ini names it, when there is
  #   a drive C: (a search for C:\, then VEDA set before the folders are
  #   resolved);
  # - an earlier build of the same version is replaced like an earlier
  #   version, not installed beside it: the upgrade's version range takes its
  #   upper end too (1 migrate features + 512 maximum inclusive), which is
  #   what WiX's AllowSameVersionUpgrades writes and wixl ignores;
  # - the old version is removed inside the installation's transaction, so
  #   that a failed upgrade brings it back;
  # - the installer's own steps. Custom action types: 1 a DLL of the Binary
  #   table, called at once; + 1024 deferred into the installation script;
  #   + 2048 run as the installer's service (LocalSystem); + 256 rollback
  #   only; + 64 its failure ignored; 51 sets a property, here the deferred
  #   steps' CustomActionData (the plug-in's installed path). $Plugin=3: the
  #   plug-in is being installed, $Plugin=2: removed.
  set(plugin_path "[ProductFolder]dialgate.dll")
  set(msi_fixes
    "UPDATE `Component` SET `Attributes` = 16656, `Condition` = 'NOT QVCONFIGFOUND' WHERE `Component` = 'Config'"
    "CREATE TABLE `DrLocator` (`Signature_` CHAR(72) NOT NULL, `Parent` CHAR(72), `Path` CHAR(255), `Depth` SHORT PRIMARY KEY `Signature_`, `Parent`, `Path`)"
    "INSERT INTO `Signature` (`Signature`, `FileName`) VALUES ('QvConfigFile', 'qv_config.ini')"
    "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('QvConfigFile', '[ProgramFiles64Folder]dialgate', 0)"
    "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('QVCONFIGFOUND', 'QvConfigFile')"
    "INSERT INTO `DrLocator` (`Signature_`, `Path`, `Depth`) VALUES ('DriveC', 'C:\\', 0)"
    "INSERT INTO `AppSearch` (`Property`, `Signature_`) VALUES ('DRIVEC', 'DriveC')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('SetLogFolderOnC', 51, 'VEDA', 'C:\\VE_DA\\')"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('AppSearch', 50)"
    "INSERT INTO `InstallUISequence` (`Action`, `Sequence`) VALUES ('AppSearch', 50)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetLogFolderOnC', 'DRIVEC', 990)"
    "INSERT INTO `InstallUISequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetLogFolderOnC', 'DRIVEC', 990)"
    "DELETE FROM `Upgrade` WHERE `ActionProperty` = 'WIX_UPGRADE_DETECTED'"
    "INSERT INTO `Upgrade` (`UpgradeCode`, `VersionMax`, `Attributes`, `ActionProperty`) VALUES ('{${DG_UPGRADE_CODE}}', '${version}', 513, 'WIX_UPGRADE_DETECTED')"
    "UPDATE `InstallExecuteSequence` SET `Sequence` = 1501 WHERE `Action` = 'RemoveExistingProducts'"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RememberRemoteAccess', 1, 'InstallActions', 'RememberRemoteAccess')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('CloseConsoles', 3073, 'InstallActions', 'CloseConsoles')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('UndoUnregisterPlugin', 3393, 'InstallActions', 'RegisterPlugin')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('UnregisterPlugin', 3073, 'InstallActions', 'UnregisterPlugin')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('UndoRegisterPlugin', 3393, 'InstallActions', 'UnregisterPlugin')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('RegisterPlugin', 3073, 'InstallActions', 'RegisterPlugin')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('StartRemoteAccess', 3073, 'InstallActions', 'StartRemoteAccess')"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('RememberRemoteAccess', 1450)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Sequence`) VALUES ('CloseConsoles', 1850)"
    # The log folder's rights, once CreateFolders (3700) has made it.
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('SetProtectLogFolder', 51, 'ProtectLogFolder', '[LOGDIR]')"
    "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('ProtectLogFolder', 3073, 'InstallActions', 'ProtectLogFolder')"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('SetProtectLogFolder', '$LogFolder=3', 3701)"
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('ProtectLogFolder', '$LogFolder=3', 3702)")
  # The registration steps and their undoing, each given the plug-in's path.
  set(sequence 3440)
  foreach(step IN ITEMS UndoUnregisterPlugin:2 UnregisterPlugin:2 UndoRegisterPlugin:3 RegisterPlugin:3)
    string(REPLACE ":" ";" step "${step}")
    list(GET step 0 action)
    list(GET step 1 state)
    if(state EQUAL 3 AND sequence LESS 4000)
      set(sequence 4010)
    endif()
    math(EXPR data_sequence "${sequence} + 1")
    math(EXPR action_sequence "${sequence} + 2")
    math(EXPR sequence "${sequence} + 10")
    list(APPEND msi_fixes
      "INSERT INTO `CustomAction` (`Action`, `Type`, `Source`, `Target`) VALUES ('Set${action}', 51, '${action}', '${plugin_path}')"
      "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('Set${action}', '$Plugin=${state}', ${data_sequence})"
      "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('${action}', '$Plugin=${state}', ${action_sequence})")
  endforeach()
  # Started again only when it ran before, and not by the earlier version's
  # removal inside an upgrade: the upgrade starts it once, at its end.
  list(APPEND msi_fixes
    "INSERT INTO `InstallExecuteSequence` (`Action`, `Condition`, `Sequence`) VALUES ('StartRemoteAccess', 'DG_RAS_RUNNING AND NOT UPGRADINGPRODUCTCODE', 5950)")
  # Each program's file version is the one its version block carries
  # (dg_version_resource).
  set(programs dialgate.dll=${plugin_target})
  if(console_target)
    list(APPEND programs portwatch.exe=${console_target})
  endif()
  foreach(program IN LISTS programs)
    string(REPLACE "=" ";" pair "${program}")
    list(GET pair 0 file)
    list(GET pair 1 program_target)
    get_target_property(file_version ${program_target} DG_FILE_VERSION)
    if(NOT file_version)
      message(FATAL_ERROR "${program_target} carries no version block for the installer")
    endif()
    list(APPEND msi_fixes
      "UPDATE `File` SET `Version` = '${file_version}', `Language` = '1033' WHERE `File` = '${file}'"
      "DELETE FROM `MsiFileHash` WHERE `File_` = '${file}'")
  endforeach()
  set(fix_commands "")
  foreach(query IN LISTS msi_fixes)
    list(APPEND fix_commands COMMAND ${MSIBUILD} ${msi}.tmp -q "${query}")
  endforeach()
  add_custom_command(
    OUTPUT ${msi}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packages
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${plugin_target}> ${msi_stage}/dialgate.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:dginstall> ${msi_stage}/dginstall.dll
    COMMAND ${CMAKE_COMMAND} -E copy ${DG_CHM} ${msi_stage}/qv_admin.chm
    COMMAND ${CMAKE_COMMAND} -E copy ${DG_SAMPLE_INI_CRLF} ${DG_GUIDE_CRLF} ${DG_SERVER_DOCS} ${DG_CONSOLE_TASK} ${msi_stage}
    ${stage_console}
    COMMAND ${WIXL} -a x64 -o ${msi}.tmp dialgate.wxs
    ${fix_commands}
    COMMAND ${CMAKE_COMMAND} -E rename ${msi}.tmp ${msi}
    WORKING_DIRECTORY ${msi_stage}
    DEPENDS ${msi_depends}
    COMMENT "Building the x64 installer dialgate-${version}-x64.msi"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${msi})
endfunction()

if(DG_ARCH STREQUAL "x64")
  find_program(WIXL wixl)
  find_program(MSIBUILD msibuild)
  if(WIXL AND MSIBUILD AND CHMCMD)
    set(console_target "")
    if(TARGET portwatch)
      set(console_target portwatch)
    endif()
    dg_add_msi(dialgate_msi ${PROJECT_VERSION} dialgate "${console_target}" ${CMAKE_BINARY_DIR}/packaging/msi)
    configure_file(${DG_MSI_COMMANDS} ${CMAKE_BINARY_DIR}/packages/dialgate-msi.cmd COPYONLY)

    # The upgrade test's later version (tests/packaging): the plug-in and the
    # console built again as DG_NEXT_VERSION, in an installer of that version.
    if(DIALGATE_TESTS AND TARGET portwatch AND TARGET dialgate_next)
      set(DG_RESOURCE_VERSION ${DG_NEXT_VERSION})
      add_executable(portwatch_next WIN32 ${CMAKE_SOURCE_DIR}/console/main.cpp)
      target_link_libraries(portwatch_next PRIVATE console_ui)
      target_link_options(portwatch_next PRIVATE -municode)
      set_target_properties(portwatch_next PROPERTIES OUTPUT_NAME portwatch
                            RUNTIME_OUTPUT_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/next)
      dg_defaults(portwatch_next)
      dg_console_resources(portwatch_next)
      unset(DG_RESOURCE_VERSION)
      dg_add_msi(dialgate_msi_next ${DG_NEXT_VERSION} dialgate_next portwatch_next
                 ${CMAKE_BINARY_DIR}/packaging/msi-next)
    endif()
  else()
    message(WARNING "wixl, msibuild (Debian packages wixl, msitools) or chmcmd missing: the MSI is not built")
  endif()
endif()
