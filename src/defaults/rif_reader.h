// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a default set from a ".rif" file: one stream of blank-separated tokens in a fixed
// order (a header of words and numbers, thirteen satellite blocks, the common fields and
// seven product-size blocks). The reader checks every token: a file that is malformed,
// short, or holds a value the program cannot use is refused with a message that names
// the token, and nothing is changed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "defaults/default_set.h"

namespace kelvandor {

// The newest format version the reader takes; a file of a later version is refused.
inline constexpr double RifLatestVersion = 100.0;
inline constexpr int RifWordLength = 24;     // a word token holds at most 24 characters
inline constexpr int RifNameLength = 8;      // a satellite name keeps at most 8
inline constexpr long RifMaxFileBytes = 1L << 20;

// The message of a file whose version is later than the reader's.
inline constexpr const char* RifLaterVersionMessage =
    "This rif file is later version and cannot be loaded.\r\n.";

struct RifReadResult {
    enum class Status {
        Read,          // the set was read into the destination
        CannotOpen,    // the file could not be opened or read
        LaterVersion,  // the file's format version is later than RifLatestVersion
        Refused,       // the file is malformed, short or holds an unusable value
    };
    Status status = Status::Refused;
    // Why the file was not read: the reason of CannotOpen, or for Refused where and what
    // ("line 7, token 23 \"12x\": not a whole number"). Empty when read.
    std::string message;
    // Things the reader changed while reading a good file (a satellite name cut to eight
    // characters), one sentence each.
    std::vector<std::string> notes;

    bool ok() const { return status == Status::Read; }
};

// Parses the text of a default-set file into `out`. `out` changes only when the result is
// Read; otherwise it keeps every value it had.
RifReadResult parseRif(std::string_view text, DefaultSet& out);

// Reads the file at `path` and parses it as parseRif does. An empty path, a file that
// cannot be opened or one larger than RifMaxFileBytes gives CannotOpen.
RifReadResult readRifFile(const std::string& path, DefaultSet& out);

}  // namespace kelvandor
