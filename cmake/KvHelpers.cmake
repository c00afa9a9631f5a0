# kv_add_gtest(NAME target SOURCES_GLOB dir LIBS ... [GUI])
# One test executable per library, made from every *_test.cpp in the folder
# (new test files need no CMake edit), registered with CTest.
include(GoogleTest)
function(kv_add_gtest)
  cmake_parse_arguments(T "GUI" "NAME;DIR" "LIBS" ${ARGN})
  file(GLOB_RECURSE srcs CONFIGURE_DEPENDS ${T_DIR}/*_test.cpp ${T_DIR}/test_*.cpp ${T_DIR}/*.h)
  if(NOT srcs)
    return()
  endif()
  foreach(lib ${T_LIBS})
    if(lib MATCHES "^kv_" AND NOT TARGET ${lib})
      return()  # the library has no sources yet
    endif()
  endforeach()
  add_executable(${T_NAME} ${srcs})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  if(TARGET kv_test_support)  # the shared test helpers (tests/support)
    target_link_libraries(${T_NAME} PRIVATE kv_test_support)
  endif()
  target_compile_definitions(${T_NAME} PRIVATE
    KV_TEST_DATA="${PROJECT_SOURCE_DIR}/tests/data"
    KV_BUILD_DIR="${PROJECT_BINARY_DIR}")
  set(props ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KV_TEST_DATA=${PROJECT_SOURCE_DIR}/tests/data")
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 PROPERTIES ${props} TIMEOUT 300)
endfunction()
