# The Allan deviation: a million samples against a bare pass over them, and
# "telvar --allan" on a million-row trend file against its import. Prints
# figures (README.md).
add_executable(bench_allan ${CMAKE_CURRENT_LIST_DIR}/allan.cpp ${CMAKE_CURRENT_LIST_DIR}/benchfiles.cpp)
target_link_libraries(bench_allan PRIVATE telvar_app)
target_compile_definitions(bench_allan PRIVATE TELVAR_BIN="$<TARGET_FILE:telvar>")
add_dependencies(bench_allan telvar)

# Data → Allan Deviation… in the plot window; with --stay, the README's picture.
add_executable(bench_allan_window ${CMAKE_CURRENT_LIST_DIR}/allan_window.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/benchfiles.cpp)
target_link_libraries(bench_allan_window PRIVATE telvar_app telvar_resources)
