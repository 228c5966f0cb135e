vendrix_core_test(companion_test app/companion_test.cpp)
target_compile_definitions(companion_test PRIVATE VENDRIX_CLI="$<TARGET_FILE:vendrix-cli>"
    VENDRIX_VERSION="${PROJECT_VERSION}")
add_dependencies(companion_test vendrix-cli)

# The road of one order with the demo office's FTP simulator: on the core, and through the
# real windows.
vendrix_core_test(road_test app/road_test.cpp app/local_office.cpp)
target_compile_definitions(road_test PRIVATE
    VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
if(TARGET vendrix_ui)
    vendrix_ui_test(road_windows_test app/road_windows_test.cpp app/local_office.cpp)
    target_link_libraries(road_windows_test PRIVATE vendrix_document_fixture)
    target_compile_definitions(road_windows_test PRIVATE
        VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
endif()

# The installed program: cmake --install into a temporary root, then the installed files run.
if(TARGET vendrix_ui)
    vendrix_core_test(install_test app/install_test.cpp)
    target_compile_definitions(install_test PRIVATE VENDRIX_CMAKE="${CMAKE_COMMAND}"
        VENDRIX_BUILD_DIR="${PROJECT_BINARY_DIR}")
    add_dependencies(install_test vendrix vendrix-cli vendrix_icons vendrix_install_files)
endif()

# The same road by the keyboard alone: the real program on a virtual X screen without a window
# manager, driven by real key events (xdotool); skipped where Xvfb or xdotool is missing.
if(TARGET vendrix_ui)
    vendrix_ui_test(keyboard_road_test app/keyboard_road_test.cpp app/local_office.cpp)
    target_compile_definitions(keyboard_road_test PRIVATE VENDRIX_PROGRAM="$<TARGET_FILE:vendrix>"
        VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
    add_dependencies(keyboard_road_test vendrix)
    set_tests_properties(keyboard_road_test PROPERTIES TIMEOUT 900)
endif()
