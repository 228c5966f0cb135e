vendrix_core_test(reliability_test reliability/kill_test.cpp reliability/bad_input_test.cpp)
# The import's memory is measured on the companion, a process of its own.
target_compile_definitions(reliability_test PRIVATE VENDRIX_CLI="$<TARGET_FILE:vendrix-cli>")
add_dependencies(reliability_test vendrix-cli)
