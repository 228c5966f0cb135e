vendrix_core_test(documents_test documents/reference_lists_test.cpp documents/document_test.cpp
    documents/list_texts_test.cpp)
vendrix_core_test(document_logic_test documents/keypad_test.cpp documents/goods_selection_test.cpp
    documents/document_editing_test.cpp documents/reference_selection_test.cpp)
