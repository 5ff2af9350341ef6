# A throwaway SMTP server for test suites (tests/support/smtpserver.*) and its self-test.
# Included from tests/CMakeLists.txt; expects the merrowind_options target. The server itself is
# tests/support/smtpserver.py, run by /usr/bin/python3 (python3-aiosmtpd) and, for TLS, openssl.

find_package(Qt6 REQUIRED COMPONENTS Core Network)
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_library(merrowind_testsupport_smtp STATIC ${CMAKE_CURRENT_LIST_DIR}/smtpserver.cpp ${CMAKE_CURRENT_LIST_DIR}/testcerts.cpp)
target_include_directories(merrowind_testsupport_smtp PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(merrowind_testsupport_smtp PRIVATE MW_SMTPSERVER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/smtpserver.py")
target_link_libraries(merrowind_testsupport_smtp
  PUBLIC Qt6::Core Qt6::Network
  PRIVATE merrowind_options)

add_executable(smtpserver_selftest ${CMAKE_CURRENT_LIST_DIR}/smtpserver_selftest.cpp)
target_link_libraries(smtpserver_selftest PRIVATE merrowind_testsupport_smtp GTest::gtest_main merrowind_options)
gtest_discover_tests(smtpserver_selftest PROPERTIES TIMEOUT 120 LABELS smtp)
