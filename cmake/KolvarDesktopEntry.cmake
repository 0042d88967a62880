# Install-time script of the desktop component: the menu entry of the windowed main program and
# its icon. The entry names the installed program by its absolute path, which is only known when
# the install runs (`cmake --install --prefix`), so the entry is written here and not at configure
# time. The entry and the icon go below KOLVAR_DESKTOP_DATA_DIR when that environment variable is
# set (scripts/install --desktop sets it to the desktop's own data folder, ~/.local/share), else
# below <prefix>/share, beside the suite's install layout.
#
# Set by the install rules before this script runs: KOLVAR_DESKTOP_TEMPLATE, KOLVAR_DESKTOP_ICON,
# KOLVAR_DESKTOP_PROGRAM_DIR (the suite's folder below the prefix) and KOLVAR_DESKTOP_STAGING.

set(program "${CMAKE_INSTALL_PREFIX}/${KOLVAR_DESKTOP_PROGRAM_DIR}/KVAntivirus")
cmake_path(NORMAL_PATH program)

# The Exec key takes the program as a quoted argument: inside the quotes a backslash, a double
# quote, a backtick and a dollar sign are escaped with a backslash, and the entry's own string
# syntax doubles every backslash again; a percent sign is doubled, or it would read as a field code.
set(quoted "${program}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
string(REPLACE "`" "\\`" quoted "${quoted}")
string(REPLACE "$" "\\$" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")
set(KOLVAR_DESKTOP_EXEC "\"${quoted}\"")
# TryExec is a plain string value: only its backslashes are escaped.
string(REPLACE "\\" "\\\\" KOLVAR_DESKTOP_TRY_EXEC "${program}")

set(data_dir "${CMAKE_INSTALL_PREFIX}/share")
if(DEFINED ENV{KOLVAR_DESKTOP_DATA_DIR} AND NOT "$ENV{KOLVAR_DESKTOP_DATA_DIR}" STREQUAL "")
  set(data_dir "$ENV{KOLVAR_DESKTOP_DATA_DIR}")
endif()

configure_file("${KOLVAR_DESKTOP_TEMPLATE}" "${KOLVAR_DESKTOP_STAGING}/kolvar-antivirus.desktop"
               @ONLY)
file(INSTALL "${KOLVAR_DESKTOP_STAGING}/kolvar-antivirus.desktop"
     DESTINATION "${data_dir}/applications")
file(INSTALL "${KOLVAR_DESKTOP_ICON}" DESTINATION "${data_dir}/icons/hicolor/scalable/apps")
