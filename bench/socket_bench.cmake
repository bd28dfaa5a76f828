# The forked peers and raw baselines live in their own source (POSIX names).
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/socket_load.cpp)
