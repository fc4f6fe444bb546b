# Fuzz targets of the shared layer, rowgate, the reports, the repair and the
# log: see quillet_fuzz_target in CMakeLists.txt.
quillet_fuzz_target(version_compare_fuzz
  SOURCES win/version_compare.cpp win/version_compare_fuzz.cpp CORPUS win/fuzz/version_compare)
