# Writes the Zephrel.ini a player installs from the table of keys: section MAIN and each of its settings at its
# default, with the line ends of Windows. cmake -DTABLE=<settings_table.inc> -DOUTPUT=<file> -P settings_ini.cmake
include(${CMAKE_CURRENT_LIST_DIR}/settings_table.cmake)
zephrel_settings_rows(${TABLE} rows)
set(text "[MAIN]\r\n")
foreach(row IN LISTS rows)
  zephrel_settings_row("${row}" key default help)
  string(APPEND text "${key}=${default}\r\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
