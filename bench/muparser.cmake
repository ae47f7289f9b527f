# The evaluator benchmark measures muparser in the same binary as its baseline.
find_package(muparser REQUIRED)
target_link_libraries(bench_mathparser PRIVATE muparser::muparser)
