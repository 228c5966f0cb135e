vendrix_core_test(storage_test
    storage/sql_query_test.cpp storage/value_formats_test.cpp storage/schema_test.cpp
    storage/options_test.cpp storage/codepage_test.cpp storage/ui_seam_test.cpp)
