# One catalogue scan against a bare directory walk of the same tree.
if(TARGET reports AND TARGET report_tree)
  add_executable(reports_bench ${CMAKE_CURRENT_LIST_DIR}/reports_bench.cpp)
  target_link_libraries(reports_bench PRIVATE reports report_tree)
endif()
