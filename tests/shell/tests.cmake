vendrix_core_test(shell_test shell/journal_test.cpp shell/totals_test.cpp)
vendrix_core_test(period_test shell/period_test.cpp)
# The way back while the program runs: its lock, the swap and what the agent is told.
vendrix_core_test(program_restore_test shell/program_restore_test.cpp)
