# The script tests compare token and message sequences with the matchers.
target_link_libraries(test_script PRIVATE GTest::gmock)
