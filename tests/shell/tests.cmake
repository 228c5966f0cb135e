vendrix_core_test(shell_test shell/journal_test.cpp)
vendrix_core_test(period_test shell/period_test.cpp)
