# The forked peers and raw baselines live in their own source (POSIX names).
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/socket_load.cpp)
# The run-time loaded WinSock module must sit beside the program.
if(TARGET wsock32)
  add_dependencies(${name} wsock32)
endif()
