# The exchange window against a real FTP server (uses the window test program's helpers).
if(TARGET vendrix_ui)
    vendrix_ui_test(exchange_window_test ui_exchange/exchange_window_test.cpp)
endif()
