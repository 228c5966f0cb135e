vendrix_core_test(settings_test settings/options_binding_test.cpp settings/settings_rules_test.cpp)

# The settings form with real widgets on the offscreen platform, over real databases.
if(TARGET vendrix_ui)
    vendrix_ui_test(settings_ui_test settings/settings_form_test.cpp settings/settings_ftp_test.cpp)
endif()
