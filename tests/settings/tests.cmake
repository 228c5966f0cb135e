vendrix_core_test(settings_test settings/options_binding_test.cpp settings/settings_rules_test.cpp)

# The settings form with real widgets on the offscreen platform, over real databases.
if(TARGET vendrix_ui)
    add_executable(settings_ui_test settings/settings_form_test.cpp settings/settings_ftp_test.cpp
        ui/ui_support.cpp ui/ui_test_main.cpp)
    target_link_libraries(settings_ui_test PRIVATE vendrix_ui vendrix_test_support Qt6::Test)
    vendrix_warnings(settings_ui_test)
    add_test(NAME settings_ui_test COMMAND settings_ui_test)
    set_tests_properties(settings_ui_test PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TIMEOUT 600)
endif()
