# Fuzz targets: see quillet_fuzz_target in CMakeLists.txt.
