# How code is compiled for the part it plays, beyond the options every layer shares: code the game's code calls,
# code that keeps the game's stack alignment, code that runs too seldom to be built for speed, and code that calls
# nothing that throws. Each target or source says which part it plays by calling these; the flags and their reasons
# live here alone.

# zephrel_compile_with(<target> <option> [<sources...>]): the option for the sources given, or for the whole target.
function(zephrel_compile_with target option)
  if(ARGN)
    set_property(SOURCE ${ARGN} TARGET_DIRECTORY ${target} APPEND PROPERTY COMPILE_OPTIONS ${option})
  else()
    target_compile_options(${target} PRIVATE ${option})
  endif()
endfunction()

# zephrel_called_from_game(<target> [INTERFACE])
# Its functions are called from the game's code, whose call sites give only the 4-byte stack alignment the game's
# own compiler keeps; GCC on Linux i386 would assume 16 bytes at a function's entry. INTERFACE: for the targets that
# link an interface library. Nothing in WebAssembly, whose stack is the module's own.
function(zephrel_called_from_game target)
  cmake_parse_arguments(ARG "INTERFACE" "" "" ${ARGN})
  if(EMSCRIPTEN)
    return()
  endif()
  set(scope PRIVATE)
  if(ARG_INTERFACE)
    set(scope INTERFACE)
  endif()
  target_compile_options(${target} ${scope} -mincoming-stack-boundary=2)
endfunction()

# zephrel_keeps_game_stack(<target> [SOURCES <files...>])
# Its code (or that of the sources given) keeps the stack alignment the game gives, in the DLL and the Linux build
# alike, so that the suites run the stack layout that ships: code that makes no more of 4 bytes than it needs saves a
# realigned frame, and the register that holds it, in every function that calls another (what needs more aligns its own
# frame). For work that calls only the game and itself. Not under AddressSanitizer, whose bookkeeping of stack frames
# expects the 16 bytes GCC makes by default, nor in WebAssembly.
function(zephrel_keeps_game_stack target)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(ZEPHREL_ASAN OR EMSCRIPTEN)
    return()
  endif()
  zephrel_compile_with(${target} -mpreferred-stack-boundary=2 ${ARG_SOURCES})
endfunction()

# zephrel_built_for_size(<target> [SOURCES <files...>])
# Its code (or that of the sources given) runs at loading, unloading, start-up or re-initialisation, a few times a
# second at most, or once at a player's request: in what ships for Windows it is compiled small rather than fast.
function(zephrel_built_for_size target)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  zephrel_compile_with(${target} -Os ${ARG_SOURCES})
endfunction()

# zephrel_throws_nothing(<target> [SOURCES <files...>])
# Its code (or that of the sources given) calls nothing that throws: in what ships for Windows it is built without
# exceptions and carries no unwind tables, which would only make the DLL larger (the linker keeps every function
# that has an entry in them).
function(zephrel_throws_nothing target)
  cmake_parse_arguments(ARG "" "" "SOURCES" ${ARGN})
  if(NOT WIN32)
    return()
  endif()
  zephrel_compile_with(${target} "-fno-exceptions;-fno-asynchronous-unwind-tables" ${ARG_SOURCES})
endfunction()
