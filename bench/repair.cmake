# The registration command lines through RunCommandHidden against the same
# lines started bare with CreateProcess.
if(TARGET repair)
  add_executable(repair_bench ${CMAKE_CURRENT_LIST_DIR}/repair_bench.cpp)
  target_link_libraries(repair_bench PRIVATE repair)
  add_dependencies(repair_bench YRWXls CellWeb5)
endif()
