# Native tests: the *_test.cpp of each layer in a GoogleTest program of its own.
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
  target_link_libraries(epd_win_tests PRIVATE epd_library gtest gtest_main)
  target_link_options(epd_win_tests PRIVATE -static -static-libgcc -static-libstdc++)
  add_dependencies(epd_win_tests export_epd)
else()
  if(CMAKE_CROSSCOMPILING)
    include(${CMAKE_SOURCE_DIR}/cmake/cross-linux-tests.cmake)
  else()
    find_package(GTest REQUIRED)
  endif()
  # What the tests share: temporary directories, whole-file helpers, message catchers.
  add_library(epd_test_support STATIC ${CMAKE_SOURCE_DIR}/src/platform/test_support.cpp)
  target_link_libraries(epd_test_support PUBLIC epd_platform GTest::gtest GTest::gtest_main)
  target_compile_definitions(epd_test_support PUBLIC EPD_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
                                                     EPD_BINARY_DIR="${CMAKE_BINARY_DIR}"
                                                     EPD_VERSION="${PROJECT_VERSION}")
  include(GoogleTest)

  # One test program per layer, linked with that layer and what lies below it only: a test, or
  # code under test, that reaches up the layers does not link.
  #   epd_layer_tests(NAME FOLDER lib...)
  function(epd_layer_tests name folder)
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*_test.cpp)
    add_executable(epd_${name}_tests ${sources})
    target_link_libraries(epd_${name}_tests PRIVATE epd_test_support ${ARGN})
    gtest_discover_tests(epd_${name}_tests DISCOVERY_TIMEOUT 60)
    set_property(GLOBAL APPEND PROPERTY EPD_TEST_PROGRAMS epd_${name}_tests)
  endfunction()
  epd_layer_tests(platform src/platform epd_platform)
  epd_layer_tests(tables src/tables epd_tables)
  epd_layer_tests(sql src/sql epd_sql)
  epd_layer_tests(dbf src/dbf epd_dbf)
  epd_layer_tests(suppliers src/suppliers epd_suppliers)
  epd_layer_tests(config src/config epd_config)
  # The export's tests go through the exported functions, as the host does; the tool's start the
  # epd program and the sample host's generator.
  epd_layer_tests(export src/export epd_api)
  epd_layer_tests(tool tools epd_api)
  add_dependencies(epd_tool_tests epd)
  if(TARGET make_sample_host)
    add_dependencies(epd_tool_tests make_sample_host)
  endif()

  # The Russian guide names every message of the code in its troubleshooting tables, and the
  # check notices a missing one.
  add_test(NAME GuideListsEveryMessage COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-guide-messages.py)
  add_test(NAME GuideCheckNamesAMissingMessage
           COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-guide-messages.py --drop-rows "Не найден заголовок")
  set_tests_properties(GuideCheckNamesAMissingMessage PROPERTIES
                       PASS_REGULAR_EXPRESSION "missing from the table[^\n]*\"Не найден заголовок накладной\"")
endif()
