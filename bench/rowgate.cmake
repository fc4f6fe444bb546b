# GetFieldString over every column of 100,000 rows against a bare
# GetNextRows/GetData loop over the same data in the same run.
if(TARGET rowgate AND TARGET rgtestprov_register)
  add_executable(rowgate_bench ${CMAKE_CURRENT_LIST_DIR}/rowgate_bench.cpp)
  target_link_libraries(rowgate_bench PRIVATE rgtestprov_register rowgate_core)
  add_dependencies(rowgate_bench rowgate)
endif()
