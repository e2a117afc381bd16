# SRDA collection: the whole program against telvar-sim at a high row rate
# (rows lost, event-loop gaps, lag), and the table's memory per row. Run
# offscreen (README.md).
add_executable(bench_srda_stream ${CMAKE_CURRENT_LIST_DIR}/srda_stream.cpp)
target_link_libraries(bench_srda_stream PRIVATE telvar_app)
target_compile_definitions(bench_srda_stream PRIVATE TELVAR_SIM_BIN="$<TARGET_FILE:telvar-sim>")
add_dependencies(bench_srda_stream telvar-sim)
add_executable(bench_srda_memory ${CMAKE_CURRENT_LIST_DIR}/srda_memory.cpp)
target_link_libraries(bench_srda_memory PRIVATE telvar_service)
