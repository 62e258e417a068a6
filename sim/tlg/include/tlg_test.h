// For tests: read and clear trace buffers by name.
#pragma once

#include <string>
#include <vector>

// The texts written to the buffer `buffer_name`, oldest first, each exactly as
// written after expansion (trailing newline included). Empty for an unknown
// buffer.
std::vector<std::string> tlg_test_lines(const char* buffer_name);
// True when some line of the buffer contains `text`.
bool tlg_test_contains(const char* buffer_name, const std::string& text);
// Forgets the lines of one buffer, or of every buffer when buffer_name is null.
void tlg_test_clear(const char* buffer_name = nullptr);
