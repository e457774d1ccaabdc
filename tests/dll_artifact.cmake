cmake_policy(SET CMP0057 NEW)  # IN_LIST
# Checks the Windows DLL with objdump: a PE32 i386 image, an empty export table, and imports from
# KERNEL32.dll, USER32.dll and msvcrt.dll only (no runtime DLL beside it). It and the checker CHECKER carry no
# symbols, and a version resource of VERSION for the file's Properties (dumped by WINDRES).
if(NOT EXISTS "${DLL}")
  message(FATAL_ERROR "${DLL} is missing: build it first (the README's build command)")
endif()
# The tools' words are read: in English whatever the machine's language.
set(english ${CMAKE_COMMAND} -E env LC_ALL=C)
execute_process(COMMAND ${english} ${OBJDUMP} -p "${DLL}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
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

# A budget above what it measures (README, "How it is built and tested", gives what each layer adds): what pulls a
# large part of a library in, the C++ library's streams and their locales say, fails here rather than in a player's
# download.
set(budget 380000)
file(SIZE "${DLL}" size)
if(size GREATER budget)
  message(FATAL_ERROR "${DLL} is ${size} bytes, over its budget of ${budget} (README, \"How it is built\")")
endif()

foreach(file "${DLL}" "${CHECKER}")
  execute_process(COMMAND ${english} ${OBJDUMP} -h -t "${file}" OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT sections MATCHES "SYMBOL TABLE:\nno symbols" OR sections MATCHES "\\.debug")
    message(FATAL_ERROR "${file} carries symbols or debug sections: the build strips them\n${sections}")
  endif()
  execute_process(COMMAND ${english} ${WINDRES} -i "${file}" -O rc OUTPUT_VARIABLE resources RESULT_VARIABLE rc)
  string(REPLACE "." ", " commas "${VERSION}")
  foreach(line "FILEVERSION ${commas}, 0" "VALUE \"FileVersion\", \"${VERSION}\"" "VALUE \"ProductName\", \"Zephrel\""
               "VALUE \"ProductVersion\", \"${VERSION}\"" "VALUE \"FileDescription\", \"")
    string(FIND "${resources}" "${line}" at)
    if(NOT rc EQUAL 0 OR at EQUAL -1)
      message(FATAL_ERROR "${file} has no version resource with ${line}\n${resources}")
    endif()
  endforeach()
endforeach()
message(STATUS "${DLL}: PE32 i386, ${size} bytes, no exports, imports: ${names}; it and ${CHECKER} stripped, version ${VERSION}")
