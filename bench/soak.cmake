# Soak: a million status reports through the reply path into the daily trend
# files, with a memory check. Too slow for the suite; run by hand (README.md).
add_executable(bench_soak ${CMAKE_CURRENT_LIST_DIR}/soak.cpp)
target_link_libraries(bench_soak PRIVATE telvar_app)
