# The maskschedule tool as a user runs it: the test installs the build into a
# scratch prefix and runs the installed program.
add_executable(maskschedule_cli_test maskschedule_cli_test.cpp)
target_compile_options(maskschedule_cli_test PRIVATE ${KW_WARNINGS})
target_link_libraries(maskschedule_cli_test PRIVATE GTest::gtest_main)
target_compile_definitions(maskschedule_cli_test PRIVATE
  KW_CMAKE_COMMAND="${CMAKE_COMMAND}"
  KW_BINARY_DIR="${PROJECT_BINARY_DIR}"
  KW_WORK_DIR="${CMAKE_CURRENT_BINARY_DIR}/maskschedule_cli")
add_dependencies(maskschedule_cli_test maskschedule)
add_test(NAME maskschedule_cli_test COMMAND maskschedule_cli_test)
set_tests_properties(maskschedule_cli_test PROPERTIES TIMEOUT 600)
