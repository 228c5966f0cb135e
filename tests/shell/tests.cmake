vendrix_core_test(shell_test shell/journal_test.cpp)
