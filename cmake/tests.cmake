# Native tests: every src/**/*_test.cpp in one GoogleTest program.
# Windows tests: the platform tests plus every *_wintest.cpp, built with GoogleTest compiled from
# Debian's source package by the mingw toolchain, and run under Wine.
if(WIN32)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  file(GLOB_RECURSE EPD_WIN_TESTS CONFIGURE_DEPENDS
       ${CMAKE_SOURCE_DIR}/src/platform/*_test.cpp ${CMAKE_SOURCE_DIR}/src/config/*_test.cpp
       ${CMAKE_SOURCE_DIR}/src/*_wintest.cpp)
  list(FILTER EPD_WIN_TESTS EXCLUDE REGEX "_posix_test\\.cpp$")
  add_executable(epd_win_tests ${EPD_WIN_TESTS} ${CMAKE_SOURCE_DIR}/src/platform/test_support.cpp
                             $<TARGET_OBJECTS:epd_api>)
  target_link_libraries(epd_win_tests PRIVATE epd_core gtest gtest_main)
  target_link_options(epd_win_tests PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(epd_win_tests export_epd)
else()
  if(CMAKE_CROSSCOMPILING)
    include(${CMAKE_SOURCE_DIR}/cmake/cross-linux-tests.cmake)
  else()
    find_package(GTest REQUIRED)
  endif()
  file(GLOB_RECURSE EPD_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/*_test.cpp
       ${CMAKE_SOURCE_DIR}/tools/*_test.cpp)
  add_executable(epd_tests ${EPD_NATIVE_TESTS} ${CMAKE_SOURCE_DIR}/src/platform/test_support.cpp
                         $<TARGET_OBJECTS:epd_api>)
  target_link_libraries(epd_tests PRIVATE epd_core GTest::gtest GTest::gtest_main)
  target_compile_definitions(epd_tests PRIVATE EPD_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                               EPD_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                               EPD_VERSION="${PROJECT_VERSION}")
  add_dependencies(epd_tests epd)
  if(TARGET make_sample_host)
    add_dependencies(epd_tests make_sample_host)
  endif()
  include(GoogleTest)
  gtest_discover_tests(epd_tests DISCOVERY_TIMEOUT 60)

  # The Russian guide names every message of the code in its troubleshooting tables, and the
  # check notices a missing one.
  add_test(NAME GuideListsEveryMessage COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-guide-messages.py)
  add_test(NAME GuideCheckNamesAMissingMessage
           COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-guide-messages.py --drop-rows "Не найден заголовок")
  set_tests_properties(GuideCheckNamesAMissingMessage PROPERTIES
                       PASS_REGULAR_EXPRESSION "missing from the table[^\n]*\"Не найден заголовок накладной\"")
endif()
