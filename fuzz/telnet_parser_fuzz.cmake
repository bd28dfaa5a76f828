# The parser is compiled into the fuzzer itself, so that it carries the
# fuzzer's coverage instrumentation (the libraries are built without it).
target_sources(${name} PRIVATE ${CMAKE_SOURCE_DIR}/telnet/tn_parser.cpp)
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/telnet)
