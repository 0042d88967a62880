# The install folder of the suite, as the device's installer lays it out: every program, the
# signature database and the virus detail file side by side in one folder (the "InstallDir" of
# the programs), with an empty quarantine folder beside them. The programs find each other and
# their data there, so nothing depends on the build tree:
#
#   cmake --build BUILD --target kolvar_suite
#   cmake --install BUILD --prefix FOLDER          (scripts/install wraps this)
#
# Programs that have not landed yet are left out; each lands in the list once its target exists.
# Included at the end of the top-level CMakeLists.txt, after every target is defined.

set(kolvar_suite_programs
    # The suite's own programs.
    KVAntivirus KVBkgScan kvipcsrv KVTaskMgr KVScheduler KVUpdSP wceload
    # The terminal front end and the tools for people.
    kolvar kvcfg kvreg kvipcstat kvsigtool kvupdpack kvtasks kvnotify kvnotifyd kvsetup)
set(kolvar_suite_libraries kvmsetup kvmupdrules)

set(kolvar_suite_targets)
foreach(program ${kolvar_suite_programs})
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${KOLVAR_INSTALL_DIR})
    list(APPEND kolvar_suite_targets ${program})
  endif()
endforeach()
foreach(library ${kolvar_suite_libraries})
  if(TARGET ${library})
    install(TARGETS ${library} LIBRARY DESTINATION ${KOLVAR_INSTALL_DIR}
                               RUNTIME DESTINATION ${KOLVAR_INSTALL_DIR})
    list(APPEND kolvar_suite_targets ${library})
  endif()
endforeach()

if(TARGET kolvar_signatures)
  install(FILES ${KOLVAR_BIN_DIR}/KVVirusDB.dat ${KOLVAR_BIN_DIR}/KVVirusDBDet.dat
          DESTINATION ${KOLVAR_INSTALL_DIR})
  list(APPEND kolvar_suite_targets kolvar_signatures)
endif()

if(TARGET kolvar_default_tasks)
  install(FILES ${KOLVAR_BIN_DIR}/KVTasks.dat DESTINATION ${KOLVAR_INSTALL_DIR}
          PERMISSIONS OWNER_READ OWNER_WRITE)
  list(APPEND kolvar_suite_targets kolvar_default_tasks)
endif()

# The quarantine folder is private to the user, as the programs create it.
install(DIRECTORY DESTINATION ${KOLVAR_INSTALL_DIR}/Quarantine
        DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)

# The desktop's menu entry and icon of the windowed main program, for the host profile: a
# component of its own, left out of the default install (a device image has no desktop menu).
# `cmake --install BUILD --prefix P --component desktop` writes them below P/share;
# scripts/install --desktop puts them where the desktop looks (~/.local/share).
if(TARGET KVAntivirus)
  set(kolvar_desktop_staging ${CMAKE_BINARY_DIR}/desktop)
  install(CODE "set(KOLVAR_DESKTOP_TEMPLATE \"${CMAKE_SOURCE_DIR}/cmake/kolvar-antivirus.desktop.in\")
set(KOLVAR_DESKTOP_ICON \"${CMAKE_SOURCE_DIR}/antivirus/views/pictures/kolvar.svg\")
set(KOLVAR_DESKTOP_PROGRAM_DIR \"${KOLVAR_INSTALL_DIR}\")
set(KOLVAR_DESKTOP_STAGING \"${kolvar_desktop_staging}\")"
          COMPONENT desktop EXCLUDE_FROM_ALL)
  install(SCRIPT ${CMAKE_SOURCE_DIR}/cmake/KolvarDesktopEntry.cmake
          COMPONENT desktop EXCLUDE_FROM_ALL)
endif()

# Everything that the install step copies, and nothing else (no tests, no benchmarks).
add_custom_target(kolvar_suite DEPENDS ${kolvar_suite_targets})
