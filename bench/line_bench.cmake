# The sender and the raw baseline live in their own source (POSIX names).
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/line_load.cpp)
