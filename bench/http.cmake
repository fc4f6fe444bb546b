# TauCustomHTTP downloading into a file against a bare WinINet loop in the
# same process; bench/http-bench.sh runs it beside native curl.
if(TARGET net_http)
  add_executable(http_bench ${CMAKE_CURRENT_LIST_DIR}/http_bench.cpp)
  target_link_libraries(http_bench PRIVATE net_http wininet user32)
  target_link_options(http_bench PRIVATE -municode)
endif()
