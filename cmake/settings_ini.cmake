# Writes the Zephrel.ini a player installs from the table of settings: section MAIN and every key at its
# default, with the line ends of Windows. cmake -DTABLE=<settings_table.inc> -DOUTPUT=<file> -P settings_ini.cmake
file(STRINGS ${TABLE} rows REGEX "^ZEPHREL_SETTING\\(")
set(text "[MAIN]\r\n")
foreach(row IN LISTS rows)
  if(NOT row MATCHES "^ZEPHREL_SETTING\\(([A-Za-z]+), (Flag|Number|ModelId), ([^,]+), \"")
    message(FATAL_ERROR "not a row of the settings table: ${row}")
  endif()
  string(APPEND text "${CMAKE_MATCH_1}=${CMAKE_MATCH_3}\r\n")
endforeach()
file(WRITE ${OUTPUT} "${text}")
