cmake_policy(SET CMP0057 NEW)  # IN_LIST
# Checks the Windows DLL with objdump: a PE32 i386 image, an empty export table, and imports from
# KERNEL32.dll, USER32.dll and msvcrt.dll only (no runtime DLL beside it).
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "${DLL} is missing: build it first (the README's build command)")
endif()
execute_process(COMMAND ${OBJDUMP} -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} failed on ${DLL}")
endif()

if(NOT dump MATCHES "file format pei-i386")
  message(FATAL_ERROR "${DLL} is not a PE32 i386 image")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
set(allowed "DLL Name: KERNEL32.dll" "DLL Name: USER32.dll" "DLL Name: msvcrt.dll")
foreach(name IN LISTS names)
  if(NOT name IN_LIST allowed)
    message(FATAL_ERROR "${DLL} imports from a DLL a player does not have: ${name}")
  endif()
endforeach()

# An export directory, if the linker wrote one, must count no addresses and no names.
if(dump MATCHES "Number in:")
  if(NOT dump MATCHES "Number in:[\t ]*\n[\t ]*Export Address Table[\t ]+0+[\t ]*\n[\t ]*\\[Name Pointer/Ordinal\\] Table[\t ]+0+")
    message(FATAL_ERROR "${DLL} exports something; it must export nothing")
  endif()
endif()
message(STATUS "${DLL}: PE32 i386, no exports, imports: ${names}")
