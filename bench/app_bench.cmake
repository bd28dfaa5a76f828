# The tray program's figures: the console in-process (Qt offscreen), the
# program itself as a child process against the router simulator.
target_link_libraries(${name} PRIVATE tvapp)
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/app_bench_process.cpp)
target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tools)
add_dependencies(${name} TervaneWinC tervane_router_sim)
