# Every test goes through this helper, so none is silently left out of CTest.
#   tervano_add_test(NAME <name> SOURCES <files...> LIBS <libs...> [LABELS <labels...>])
include(GoogleTest)
function(tervano_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
  # Discovered tests take one label: several are joined with commas (ctest -L matches by regex, so
  # `ctest -L memo` still selects a test labelled "memo,categories").
  string(REPLACE ";" "," labels "${T_LABELS}")
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS "${labels}")
endfunction()

# A static library from the .cpp files of a folder (an empty folder still makes a library, so the
# tree configures while a layer is being written).
function(tervano_add_static_library name)
  file(GLOB sources CONFIGURE_DEPENDS ${ARGN})
  if(NOT sources)
    set(sources ${CMAKE_CURRENT_BINARY_DIR}/${name}_empty.cpp)
    file(WRITE ${sources} "// no sources yet\n")
  endif()
  add_library(${name} STATIC ${sources})
endfunction()
