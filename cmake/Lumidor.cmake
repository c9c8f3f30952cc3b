# Each source folder is one library of the same name; its sources are whatever
# .cpp files the folder holds, so adding a unit needs no build-file edit.
function(lumidor_library name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  if(sources)
    add_library(lumidor_${name} STATIC ${sources})
    target_include_directories(lumidor_${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(lumidor_${name} PUBLIC ${ARG_LINKS})
  else()
    add_library(lumidor_${name} INTERFACE)
    target_include_directories(lumidor_${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(lumidor_${name} INTERFACE ${ARG_LINKS})
  endif()
endfunction()

# One test program per folder of tests/, every TEST in it a CTest case.
function(lumidor_tests name)
  cmake_parse_arguments(ARG "" "" "LINKS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${name}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(test_${name} ${sources})
  target_link_libraries(test_${name} PRIVATE ${ARG_LINKS} lumidor_testsupport GTest::gmock GTest::gtest)
  target_compile_definitions(test_${name} PRIVATE
    LUMIDOR_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    LUMIDOR_BUILD_DIR="${PROJECT_BINARY_DIR}"
    LUMIDOR_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(test_${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES
      LABELS ${name}
      TIMEOUT 300
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0;ASAN_OPTIONS=detect_leaks=1;UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endfunction()
