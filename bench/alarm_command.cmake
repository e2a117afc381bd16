# Alarm delivery: the longest event-loop gap while AlarmCommand runs a hanging
# and a failing command for many events, and while DesktopNotifier talks to a
# bus without a notification server. Uses the tests' bus helper (README.md).
add_executable(bench_alarm_command ${CMAKE_CURRENT_LIST_DIR}/bench_alarm_command.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/sessionbus.cpp
               ${CMAKE_SOURCE_DIR}/tests/support/testsupport.cpp)
target_include_directories(bench_alarm_command PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_link_libraries(bench_alarm_command PRIVATE telvar_app Qt5::Test)
