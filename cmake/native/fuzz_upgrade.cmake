# Fuzz targets of the upgrade: see quillet_fuzz_target in CMakeLists.txt.
quillet_fuzz_target(info_file_fuzz
  SOURCES upgrade/info_file.cpp upgrade/signed_info.cpp upgrade/info_file_fuzz.cpp
          net/text.cpp net/date_time.cpp net/form_data.cpp net/url_text.cpp net/percent.cpp
          win/version_compare.cpp cmake/native/ansi_cp936.cpp
  CORPUS upgrade/fuzz/info_file)
quillet_fuzz_target(download_name_fuzz
  SOURCES upgrade/upgrade_rules.cpp upgrade/download_name_fuzz.cpp
          net/text.cpp net/date_time.cpp net/url_text.cpp net/percent.cpp win/version_compare.cpp
  CORPUS upgrade/fuzz/download_name)
quillet_fuzz_target(selfupgrade_fuzz
  SOURCES upgrade/selfupgrade/selfupgrade_protocol.cpp upgrade/selfupgrade/selfupgrade_rules.cpp
          upgrade/selfupgrade/selfupgrade_fuzz.cpp
  CORPUS upgrade/selfupgrade/fuzz/selfupgrade)
