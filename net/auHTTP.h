// The helpers of the HTTP unit in one include for its callers: URLs, HTTP
// dates, Base64 and form data, shell commands, versions, progress, files,
// resources and streams.
#pragma once
#include "command_line.h"
#include "date_time.h"
#include "file_helpers.h"
#include "form_data.h"
#include "http_date.h"
#include "percent.h"
#include "shell_helpers.h"
#include "streams.h"
#include "url.h"
#include "url_text.h"
#include "versions.h"
