#pragma once

#include <cstdint>

// Opens a file to read it only when it is a regular file of at most maxBytes (links followed), without
// waiting on opening (a named pipe without a writer) and without taking a controlling terminal. Returns
// the descriptor, its size in *size when asked, or -1 with errno set: from open, or EINVAL when the file
// is no regular file, EFBIG when it is too large.
int OpenRegularFile(const char* path, std::int64_t maxBytes, std::int64_t* size = nullptr);
