vendrix_core_test(companion_test app/companion_test.cpp)
target_compile_definitions(companion_test PRIVATE VENDRIX_CLI="$<TARGET_FILE:vendrix-cli>")
add_dependencies(companion_test vendrix-cli)

vendrix_core_test(road_test app/road_test.cpp)
target_compile_definitions(road_test PRIVATE
    VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
