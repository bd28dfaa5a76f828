# The tray program in-process (Qt offscreen, the loop bridge) against a
# flooding peer of its own on loopback.
target_link_libraries(${name} PRIVATE tvapp)
