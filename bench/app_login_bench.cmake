# The login figures: the program's window in-process (Qt offscreen) against
# inetutils telnetd behind a private inetd and a timing relay.
target_link_libraries(${name} PRIVATE tvapp tervane_login_peers)
target_sources(${name} PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/scripted_login.cpp)
