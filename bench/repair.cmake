add_executable(repair_bench ${CMAKE_CURRENT_SOURCE_DIR}/repair_bench.cpp)
target_link_libraries(repair_bench PRIVATE repair)
add_dependencies(repair_bench YRWXls CellWeb5)
