// The files and the console of aupublish. Failures are raised as win::Error
// with the platform's message and code.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "upgrade/signed_info.h"

namespace au {

// The whole file, refused beyond `limit` bytes: what aupublish reads whole
// is a small text, and a wrong path to a large file should say so.
std::string ReadSmallFile(const std::wstring& path, uint64_t limit);

// The SHA-256 and size of a file read in pieces, so a large download costs
// no more memory than a small one. nullopt, with the platform's code in
// `error`, when the file cannot be opened.
std::optional<FileDigest> DigestOfFile(const std::wstring& path, uint32_t& error);

// Writes the bytes into a new file beside `path` and then moves it over
// `path`, so a failure on the way leaves the old contents as they were.
void ReplaceFileBytes(const std::wstring& path, const std::string& bytes);

// A new file readable and writable by its owner alone where the file system
// keeps permissions. Raises with ERROR_FILE_EXISTS rather than replace one.
void CreateOwnerOnlyFile(const std::wstring& path, const std::string& bytes);

// One line on standard output (problems, results) or standard error
// (argument errors): UTF-16 on a console, the ANSI code page, which the
// information file is written in, when redirected.
void PrintLine(bool toError, const std::wstring& line);

int64_t SecondsSince1970Now();

} // namespace au
