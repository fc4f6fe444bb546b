# Fuzz targets of the shared layer, rowgate, the reports, the repair and the
# log: see quillet_fuzz_target in CMakeLists.txt.
quillet_fuzz_target(version_compare_fuzz
  SOURCES win/version_compare.cpp win/version_compare_fuzz.cpp CORPUS win/fuzz/version_compare)
quillet_fuzz_target(conn_text_fuzz
  SOURCES rowgate/conn_text.cpp rowgate/conn_text_fuzz.cpp CORPUS rowgate/fuzz/conn_text)
quillet_fuzz_target(column_decode_fuzz
  SOURCES rowgate/column_decode.cpp rowgate/field_value.cpp rowgate/column_decode_fuzz.cpp
          cmake/native/ansi_cp936.cpp CORPUS rowgate/fuzz/column_decode)
quillet_fuzz_target(field_value_fuzz
  SOURCES rowgate/field_value.cpp rowgate/binding.cpp rowgate/field_value_fuzz.cpp CORPUS rowgate/fuzz/field_value)
quillet_fuzz_target(report_rules_fuzz
  SOURCES reports/uReportRules.cpp reports/report_rules_fuzz.cpp CORPUS reports/fuzz/report_rules)
quillet_fuzz_target(repair_rules_fuzz
  SOURCES app/repair_rules.cpp app/repair_rules_fuzz.cpp CORPUS app/fuzz/repair_rules)
quillet_fuzz_target(log_format_fuzz
  SOURCES log/log4me_format.cpp log/log_format_fuzz.cpp CORPUS log/fuzz/log_format)
quillet_fuzz_target(ansi_fuzz
  SOURCES cmake/native/ansi_cp936.cpp cmake/native/ansi_fuzz.cpp CORPUS cmake/native/fuzz/ansi)
