// Reading whole files and replacing files safely, with messages that name the file and the reason.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quorvane {

// The system's description of `errnoValue` without trailing blanks or full stop.
std::string SystemReason(int errnoValue);

// `fileName` made absolute against the current directory, as messages name a file.
std::string FullPath(const std::string& fileName);

// Reads the whole file as bytes; throws quorvane::Error(`Cannot open file "NAME". REASON`),
// NAME being the full path, when it cannot be opened or read (a directory included).
std::string ReadWholeFile(const std::string& fileName);

// Writes a file so that a failure part-way never damages an existing one: a new or regular
// file is written to a temporary file in the same directory that is then renamed over it; an
// existing file that is not a regular file (a device, a pipe) is written directly and never
// replaced; "/dev/stdout", "/dev/stderr" and "/dev/fd/N" write to the descriptor the process
// already holds, so output redirected by the shell stays as the shell opened it. `write` is
// called with a function that appends bytes. Throws quorvane::Error: `Cannot create file
// "NAME". REASON` (NAME being the full path) when the file cannot be created, "Stream write
// error" (with the name and reason appended after ": ") when writing fails part-way.
using ByteWriter = std::function<void(std::string_view bytes)>;
void WriteFileSafely(const std::string& fileName, const std::function<void(const ByteWriter&)>& write);

// Creates every missing directory of `directory`; false when that is impossible.
bool CreateDirectories(const std::string& directory);

}  // namespace quorvane
