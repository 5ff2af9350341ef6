# A throwaway PostgreSQL server for test suites (tests/support/pgcluster.*) and its self-test.
# Included from tests/CMakeLists.txt; expects Qt6 Core/Sql and the merrowind_options target.

if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_library(merrowind_testsupport_pg STATIC ${CMAKE_CURRENT_LIST_DIR}/pgcluster.cpp)
target_include_directories(merrowind_testsupport_pg PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(merrowind_testsupport_pg
  PUBLIC Qt6::Core Qt6::Sql
  PRIVATE merrowind_options)

add_executable(pgcluster_selftest ${CMAKE_CURRENT_LIST_DIR}/pgcluster_selftest.cpp)
target_link_libraries(pgcluster_selftest PRIVATE merrowind_testsupport_pg GTest::gtest_main merrowind_options)
gtest_discover_tests(pgcluster_selftest PROPERTIES TIMEOUT 120 LABELS postgres)
