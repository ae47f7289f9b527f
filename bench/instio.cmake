# bench_visasocket starts zep-instsim as a child process with the tests' process helper.
if(TARGET bench_visasocket AND TARGET zep-instsim)
    target_sources(bench_visasocket PRIVATE ${CMAKE_SOURCE_DIR}/tests/instio/InstsimProcess.cpp)
    target_include_directories(bench_visasocket PRIVATE ${CMAKE_SOURCE_DIR}/tests/instio)
    if(NOT TARGET zep_test_support) # a build without the tests
        add_subdirectory(${CMAKE_SOURCE_DIR}/tests/support ${CMAKE_BINARY_DIR}/tests/support)
    endif()
    target_link_libraries(bench_visasocket PRIVATE zep_test_support zep_terminal)
    target_compile_definitions(bench_visasocket PRIVATE ZEP_INSTSIM_PATH="$<TARGET_FILE:zep-instsim>")
    add_dependencies(bench_visasocket zep-instsim)
elseif(TARGET bench_visasocket)
    # Without the simulator in the build there is nothing to measure against.
    set_target_properties(bench_visasocket PROPERTIES EXCLUDE_FROM_ALL TRUE)
endif()
