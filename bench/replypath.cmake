# Reply-path benchmark: link bytes -> LineCutter -> StatusParser -> StatusRecord / SRDA series.
find_package(benchmark REQUIRED)
add_executable(bench_replypath ${CMAKE_CURRENT_LIST_DIR}/bench_replypath.cpp)
target_link_libraries(bench_replypath PRIVATE telvar_app benchmark::benchmark)
