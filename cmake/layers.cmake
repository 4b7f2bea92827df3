# The library's layers, one static library each, lowest first. A layer links only the layers
# below it, so code that calls upward does not link; scripts/check-layers.py checks the same
# order on every #include.
#
#   epd_platform   src/platform    the only code that knows the operating system
#   epd_tables     src/tables      dBASE storage
#   epd_sql        src/sql         the local SQL on top of the storage
#   epd_dbf        src/dbf         the byte-exact DBF file writer
#   epd_suppliers  src/suppliers   supplier list and code tables, supplier dialog logic
#   epd_config     src/config      settings schema and file, field catalogue, dialog logic
#   epd_export     src/export      library state, export, automatic pass (not api.cpp: epd_api)
#   epd_ui         src/ui/win32    the windows (Windows builds only)
#
# Sources live beside their tests: foo.cpp, foo_test.cpp (native tests), foo_wintest.cpp (tests
# that run under Windows only). OS-specific files end in _posix.cpp or _win32.cpp.
set(EPD_LAYERS)

# epd_layer(NAME FOLDER [BELOW lib...] [EXCLUDE regex...])
function(epd_layer name folder)
  cmake_parse_arguments(L "" "" "BELOW;EXCLUDE" ${ARGN})
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${folder}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "(_test|_wintest|_fuzz|/test_support)\\.cpp$")
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win32\\.cpp$")
  endif()
  foreach(pattern ${L_EXCLUDE})
    list(FILTER sources EXCLUDE REGEX "${pattern}")
  endforeach()
  add_library(epd_${name} STATIC ${sources})
  target_link_libraries(epd_${name} PUBLIC ${L_BELOW})
  set(EPD_LAYERS ${EPD_LAYERS} epd_${name} PARENT_SCOPE)
endfunction()

epd_layer(platform src/platform)
target_include_directories(epd_platform PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/include)
if(WIN32)
  target_compile_definitions(epd_platform PUBLIC UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_libraries(epd_platform PUBLIC comctl32 comdlg32 gdi32 user32 kernel32)
endif()
epd_layer(tables src/tables BELOW epd_platform)
epd_layer(sql src/sql BELOW epd_tables)
epd_layer(dbf src/dbf BELOW epd_tables)
epd_layer(suppliers src/suppliers BELOW epd_sql)
epd_layer(config src/config BELOW epd_suppliers)
epd_layer(export src/export BELOW epd_config epd_dbf EXCLUDE "/src/export/api\\.cpp$")

# The whole library below its exported functions. On Windows the settings menu that config
# declares (config/settings_menu.h) is shown by the windows of epd_ui; elsewhere config itself
# says where the settings are edited.
add_library(epd_library INTERFACE)
if(WIN32)
  epd_layer(ui src/ui BELOW epd_config)
  target_link_libraries(epd_library INTERFACE epd_export epd_ui)
else()
  target_link_libraries(epd_library INTERFACE epd_export)
endif()
