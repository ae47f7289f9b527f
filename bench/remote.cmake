# bench_remote starts zep-cli serve as a child process with the tests' process helper.
if(TARGET bench_remote)
    if(NOT TARGET zep_test_support) # a build without the tests
        add_subdirectory(${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_BINARY_DIR}/tests/support)
    endif()
    target_link_libraries(bench_remote PRIVATE zep_test_support)
    target_compile_definitions(bench_remote PRIVATE ZEP_CLI_PATH="$<TARGET_FILE:zep-cli>")
    add_dependencies(bench_remote zep-cli)
endif()
