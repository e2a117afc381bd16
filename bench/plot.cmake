# Plot window: redraw time of a full ring, decimated against plain drawing, and
# the append rate with the window shown. Run offscreen (README.md).
find_package(benchmark REQUIRED)
add_executable(bench_plot ${CMAKE_CURRENT_LIST_DIR}/bench_plot.cpp
                          ${CMAKE_CURRENT_LIST_DIR}/plotscene.cpp ${CMAKE_CURRENT_LIST_DIR}/plotscene.h)
target_link_libraries(bench_plot PRIVATE telvar_plot Qt5::Test benchmark::benchmark)
add_executable(bench_plot_live ${CMAKE_CURRENT_LIST_DIR}/plot_live.cpp
                               ${CMAKE_CURRENT_LIST_DIR}/plotscene.cpp ${CMAKE_CURRENT_LIST_DIR}/plotscene.h)
target_link_libraries(bench_plot_live PRIVATE telvar_plot Qt5::Test)
