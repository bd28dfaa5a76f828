# Benchmark-only baseline: libtelnet, when installed.
if(PkgConfig_FOUND)
  pkg_check_modules(LIBTELNET QUIET IMPORTED_TARGET libtelnet)
endif()
if(LIBTELNET_FOUND)
  target_link_libraries(${name} PRIVATE PkgConfig::LIBTELNET)
  target_compile_definitions(${name} PRIVATE TERVANE_HAVE_LIBTELNET=1)
else()
  message(STATUS "telnet_bench: libtelnet not found, telnet_parse_ratio will be skipped")
endif()
# The loopback peers (POSIX sockets, kept out of files that include the
# WinSock dialect) are shared with the telnet tests.
target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/telnet/loopback_peer.cpp)
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/telnet)
