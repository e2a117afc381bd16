# Start-up time of the program against a bare Qt window, on Xvfb (README.md).
# Needs the xcb headers (libxcb1-dev) to build and Xvfb (xvfb) to run.
pkg_check_modules(XCB IMPORTED_TARGET xcb)
if(XCB_FOUND)
  add_executable(bench_startup_bare ${CMAKE_CURRENT_LIST_DIR}/startup_bare.cpp)
  target_link_libraries(bench_startup_bare PRIVATE Qt5::Widgets)
  add_executable(bench_startup ${CMAKE_CURRENT_LIST_DIR}/startup.cpp)
  target_link_libraries(bench_startup PRIVATE Qt5::Core PkgConfig::XCB)
  target_compile_definitions(bench_startup PRIVATE
    STARTUP_BARE_BIN="$<TARGET_FILE:bench_startup_bare>" TELVAR_BIN="$<TARGET_FILE:telvar>")
  add_dependencies(bench_startup bench_startup_bare telvar)
endif()
