# The windows under test: real widgets on the offscreen platform over real databases in
# temporary program folders, and the real program started twice as two processes.
if(TARGET vendrix_ui)
    vendrix_ui_test(ui_test ui/toolkit_test.cpp ui/main_window_test.cpp
        ui/period_dialog_test.cpp ui/about_window_test.cpp)

    # The document windows: keypad, document form, reference and goods selection, line entry.
    vendrix_ui_test(document_windows_test ui/keypad_dialog_test.cpp ui/reference_form_test.cpp
        ui/goods_form_test.cpp ui/line_entry_dialog_test.cpp ui/document_form_test.cpp
        ui/tap_test.cpp)
    target_link_libraries(document_windows_test PRIVATE vendrix_document_fixture)

    # Every window by the keyboard alone: focus on opening, Tab order, the bar, pages, Esc.
    vendrix_ui_test(keyboard_test ui/keyboard_test.cpp)
    target_link_libraries(keyboard_test PRIVATE vendrix_document_fixture)

    vendrix_ui_test(program_test ui/program_test.cpp)
    target_compile_definitions(program_test PRIVATE VENDRIX_PROGRAM="$<TARGET_FILE:vendrix>")
    add_dependencies(program_test vendrix)

    # Renders every window to PNG for a look at what the agent sees (scripts/screenshot.sh).
    add_executable(vendrix_screenshots ui/screenshots.cpp ui/ui_support.cpp)
    target_link_libraries(vendrix_screenshots PRIVATE vendrix_document_fixture vendrix_ui
        vendrix_test_support Qt6::Test)
    vendrix_warnings(vendrix_screenshots)
    target_compile_definitions(vendrix_screenshots PRIVATE
        VENDRIX_OFFICE="${PROJECT_SOURCE_DIR}/examples/office")
endif()

# Every window on the screens agents really have, each portrait and landscape: a handheld's
# 240 x 320, small tablets of 480 x 640 and 480 x 800, phones' 240 x 320 logical pixels at device
# pixel ratios 2 and 3 and a phone's 360 x 720, and a desktop. One run per screen, each on an
# offscreen screen of that size.
if(TARGET vendrix_ui)
    vendrix_ui_test(window_geometry_test ui/window_geometry_test.cpp)
    target_link_libraries(window_geometry_test PRIVATE vendrix_document_fixture)
    include("${CMAKE_CURRENT_LIST_DIR}/screens.cmake")
    vendrix_screen_runs(window_geometry_test)
endif()

# The backups window: the copies listed and marked, the way back and its refusals, the keyboard;
# its fit checked once more on every screen of the geometry runs.
if(TARGET vendrix_ui)
    vendrix_ui_test(backups_window_test ui/backups_window_test.cpp)
    target_link_libraries(backups_window_test PRIVATE vendrix_document_fixture)
    vendrix_screen_runs(backups_window_test
        BackupsWindowTest.FitsTheScreenWithItsCommandsInReach)
endif()

# The «Итоги» window: once on the default screen, and its screen case once per screen the
# windows are made for, portrait and landscape, as window_geometry_test.
if(TARGET vendrix_ui)
    vendrix_ui_test(totals_window_test ui/totals_window_test.cpp)
    vendrix_screen_runs(totals_window_test TotalsWindowScreen.*)
endif()

# The windows under a real Wayland compositor: a headless Weston of each run's own, on an output
# of a handheld's, a phone's and a desktop's size, and the real program started twice under it.
# Without Weston or Qt's Wayland platform (Debian packages weston, qt6-wayland) the cases skip.
if(TARGET vendrix_ui)
    add_executable(wayland_test ui/wayland_test.cpp ui/weston.cpp ui/weston.h ui/ui_support.cpp)
    target_link_libraries(wayland_test PRIVATE vendrix_ui vendrix_test_support Qt6::Test)
    vendrix_warnings(wayland_test)
    target_compile_definitions(wayland_test PRIVATE VENDRIX_PROGRAM="$<TARGET_FILE:vendrix>")
    add_dependencies(wayland_test vendrix)
    foreach(output 240x320 360x720 1024x768)
        add_test(NAME wayland_test_${output} COMMAND wayland_test)
        set_tests_properties(wayland_test_${output} PROPERTIES TIMEOUT 180
            ENVIRONMENT "VENDRIX_WESTON_OUTPUT=${output}")
    endforeach()
endif()
