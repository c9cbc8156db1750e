// SPDX-License-Identifier: GPL-3.0-or-later
// The tracking-pattern file: the rows the antenna reports (PT), appended to "pattern.tab"
// in the working directory, one line of seven TAB-separated integers ending in CR LF.
// Plain C++, no Qt.
#pragma once

#include <cstdint>
#include <string>

namespace kelvandor {

inline constexpr const char* PatternFileName = "pattern.tab";
inline constexpr int PatternColumns = 7;
// "-2147483648\t" seven times, CR LF and the terminating zero.
inline constexpr int PatternRowSize = PatternColumns * 12 + 3;

// Writes the row of `values` (PatternColumns of them) into `row` and returns its length.
int formatPatternRow(char (&row)[PatternRowSize], const std::int32_t* values);

// Appends one row to the pattern file, creating it if missing. Returns 0, or the errno of
// the failure; a failed row is not left half-written where the file can be cut back. Never
// blocks: a pipe nobody reads fails at once.
int appendPatternRow(const std::int32_t* values);

// Empties the pattern file, creating it if missing. Returns 0 or the errno of the failure.
int emptyPatternFile();

// The pattern file's absolute path for messages; just its name when the working directory
// cannot be told.
std::string patternFilePath();

}  // namespace kelvandor
