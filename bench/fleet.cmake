# Fleet publishing: the whole program with a broker that never answers (the
# longest event-loop gap, the trend files) and with a broker away for a while
# (the spool). Uses the tests' broker helper; run offscreen (README.md).
add_executable(bench_fleet ${CMAKE_CURRENT_LIST_DIR}/fleet.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/broker.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/testsupport.cpp)
target_include_directories(bench_fleet PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_fleet PRIVATE telvar_app telvar_resources Qt5::Test)
target_compile_definitions(bench_fleet PRIVATE TELVAR_SIM_BIN="$<TARGET_FILE:telvar-sim>")
add_dependencies(bench_fleet telvar-sim)
