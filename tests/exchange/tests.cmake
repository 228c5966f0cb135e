vendrix_core_test(archive_test exchange/archive_test.cpp)
