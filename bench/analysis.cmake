# Plot analysis: the running median over a full ring, and the trend import
# against a bare line count of the same file, with the event-loop gaps of the
# window while it imports. Prints figures (README.md).
add_executable(bench_plotanalysis ${CMAKE_CURRENT_LIST_DIR}/plotanalysis.cpp
                                  ${CMAKE_CURRENT_LIST_DIR}/benchfiles.cpp)
target_link_libraries(bench_plotanalysis PRIVATE telvar_app)
