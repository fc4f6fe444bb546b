# Fuzz targets of the HTTP transfer's text rules: see quillet_fuzz_target in
# CMakeLists.txt.
quillet_fuzz_target(http_rules_fuzz
  SOURCES net/http_rules.cpp net/percent.cpp net/text.cpp net/http_rules_fuzz.cpp CORPUS net/fuzz/http_rules)
quillet_fuzz_target(http_date_fuzz
  SOURCES net/http_date.cpp net/date_time.cpp net/text.cpp net/http_date_fuzz.cpp CORPUS net/fuzz/http_date)
quillet_fuzz_target(url_text_fuzz
  SOURCES net/url_text.cpp net/percent.cpp net/text.cpp net/url_text_fuzz.cpp CORPUS net/fuzz/url_text)
quillet_fuzz_target(form_data_fuzz
  SOURCES net/form_data.cpp net/text.cpp net/form_data_fuzz.cpp CORPUS net/fuzz/form_data)
quillet_fuzz_target(command_line_fuzz
  SOURCES net/command_line.cpp net/text.cpp net/command_line_fuzz.cpp CORPUS net/fuzz/command_line)
