# The native tests of a Linux build for another processor (linux-i686.cmake), run through
# CMAKE_CROSSCOMPILING_EMULATOR: GoogleTest built from Debian's sources by the same toolchain,
# and the programs wrapped so that the shell starts them under the emulator too.
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)  # defines GTest::gtest

# Each program is built as <name>.<processor>, and <name> beside it is a script that starts it
# under the emulator: for the shell of the tests that start the tool, and for a plain run of the
# test programs (build/linux-i686/epd_*_tests). Done once every target is defined.
function(epd_wrap_in_emulator)
  list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
  get_property(tests GLOBAL PROPERTY EPD_TEST_PROGRAMS)
  foreach(program epd make_sample_host ${tests})
    if(NOT TARGET ${program})
      continue()
    endif()
    set_target_properties(${program} PROPERTIES OUTPUT_NAME ${program}.${CMAKE_SYSTEM_PROCESSOR})
    file(GENERATE OUTPUT $<TARGET_FILE_DIR:${program}>/${program}
         CONTENT "#!/bin/sh\nexec ${emulator} \"$<TARGET_FILE:${program}>\" \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL epd_wrap_in_emulator)
