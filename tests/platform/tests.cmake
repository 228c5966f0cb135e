# The platform stand-ins that carry rules of their own: the one UTF-8 decoder.
vendrix_core_test(platform_test platform/utf8_test.cpp)
