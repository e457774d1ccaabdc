# Runs PROGRAM (through EMULATOR, if any) as a copy of itself in a folder of its own, for a program whose tests
# write files beside it (the Zephrel.ini next to the module that reads it): no other test, and no other run of it,
# then shares that folder.
include(${CMAKE_CURRENT_LIST_DIR}/own_folder.cmake)
get_filename_component(name ${PROGRAM} NAME)
own_folder(folder ${name})
file(COPY ${PROGRAM} DESTINATION ${folder})
execute_process(COMMAND ${EMULATOR} ${folder}/${name} RESULT_VARIABLE status)
file(REMOVE_RECURSE ${folder})
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${name} ended with ${status}")
endif()
