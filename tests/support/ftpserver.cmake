# A throwaway FTP/FTPS server with an HTTP view of its directory, for test suites
# (tests/support/ftpserver.*), and its self-test. Included from tests/CMakeLists.txt; expects the
# merrowind_options target. The server itself is tests/support/ftpserver.py, run by
# /usr/bin/python3 (python3-pyftpdlib, python3-openssl) and, for TLS, openssl; the self-test
# speaks to it with /usr/bin/curl.

find_package(Qt6 REQUIRED COMPONENTS Core Network)
if(NOT TARGET GTest::gtest_main)
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

add_library(merrowind_testsupport_ftp STATIC ${CMAKE_CURRENT_LIST_DIR}/ftpserver.cpp ${CMAKE_CURRENT_LIST_DIR}/testcerts.cpp)
target_include_directories(merrowind_testsupport_ftp PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_compile_definitions(merrowind_testsupport_ftp PRIVATE MW_FTPSERVER_SCRIPT="${CMAKE_CURRENT_LIST_DIR}/ftpserver.py")
target_link_libraries(merrowind_testsupport_ftp
  PUBLIC Qt6::Core Qt6::Network
  PRIVATE merrowind_options)

add_executable(ftpserver_selftest ${CMAKE_CURRENT_LIST_DIR}/ftpserver_selftest.cpp)
target_link_libraries(ftpserver_selftest PRIVATE merrowind_testsupport_ftp GTest::gtest_main merrowind_options)
gtest_discover_tests(ftpserver_selftest PROPERTIES TIMEOUT 120 LABELS ftp)
