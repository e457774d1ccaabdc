# Reading src/config/settings_table.inc, the table of keys, in the scripts that make the shipped files from it.

# The rows of [MAIN]'s settings (read in kSetting), in the table's order, into `out`.
function(zephrel_settings_rows table out)
  file(STRINGS ${table} rows REGEX "^ZEPHREL_KEY\\(")
  set(settings)
  foreach(row IN LISTS rows)
    if(NOT row MATCHES "^ZEPHREL_KEY\\([A-Za-z]+, (Flag|Number|ModelId|Colour|Texture), \"[^\"]*\", [A-Za-z| ]+, ")
      message(FATAL_ERROR "not a row of the table of keys: ${row}")
    endif()
    if(row MATCHES "^ZEPHREL_KEY\\([A-Za-z]+, [A-Za-z]+, \"[^\"]*\", [^,]*kSetting")
      list(APPEND settings "${row}")
    endif()
  endforeach()
  set(${out} "${settings}" PARENT_SCOPE)
endfunction()

# The key, the default as the shipped file writes it and the help of a row.
function(zephrel_settings_row row key default help)
  if(NOT row MATCHES "^ZEPHREL_KEY\\(([A-Za-z]+), [A-Za-z]+, \"([^\"]*)\", .*, \"(.*)\"\\)$")
    message(FATAL_ERROR "not a row of the table of keys: ${row}")
  endif()
  set(${key} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  set(${default} "${CMAKE_MATCH_2}" PARENT_SCOPE)
  set(${help} "${CMAKE_MATCH_3}" PARENT_SCOPE)
endfunction()
