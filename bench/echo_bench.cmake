# The load generator and raw baseline live in their own source (POSIX names).
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/echo_load.cpp)
