// SPDX-License-Identifier: GPL-3.0-or-later
#include "geo/city_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <string_view>

#include "protocol/c_format.h"

namespace kelvandor::geo {

namespace {

namespace fs = std::filesystem;

// Text of a line beyond this many bytes is not looked at.
constexpr std::size_t MaxLineBytes = 4096;
// Width of the right-aligned name field.
constexpr std::size_t NameFieldWidth = 30;
// A product x 100 this close to a whole number is that number.
constexpr double RoundingSlack = 1e-6;
// Symbolic links followed at most when saving (as many as the system follows).
constexpr int MaxLinkHops = 40;
// Names tried for the new file beside the old one.
constexpr int TemporaryNameAttempts = 100;

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}

bool isControl(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20U || u == 0x7FU;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the next line, without its end, into `line` (at most MaxLineBytes of it). A line
// ends at LF or CR, so CR LF and CR CR LF leave empty lines behind, which the reader
// skips. False at the end of the input.
bool nextLine(std::streambuf& in, std::string& line) {
    line.clear();
    bool any = false;
    for (int c = in.sbumpc(); c != std::char_traits<char>::eof(); c = in.sbumpc()) {
        any = true;
        if (c == '\n' || c == '\r') {
            return true;
        }
        if (line.size() < MaxLineBytes) {
            line.push_back(static_cast<char>(c));
        }
    }
    return any;
}

// The fields of one line, read from left to right.
class LineFields {
  public:
    explicit LineFields(std::string_view line) : line_(line) {}

    bool atEnd() {
        skipBlanks();
        return pos_ == line_.size();
    }

    // The next blank-free token; empty when the line has ended.
    std::string_view token() {
        skipBlanks();
        const std::size_t start = pos_;
        while (pos_ < line_.size() && !isBlank(line_[pos_])) {
            ++pos_;
        }
        return line_.substr(start, pos_ - start);
    }

    // The next non-blank character, or nothing when the line has ended.
    std::optional<char> character() {
        skipBlanks();
        if (pos_ == line_.size()) {
            return std::nullopt;
        }
        return line_[pos_++];
    }

    // The longest decimal number at the next non-blank position: sign, digits with an
    // optional point and fraction, an optional exponent. "inf" and "nan" read as
    // infinity and NaN. Nothing when no number starts there.
    std::optional<double> number() {
        skipBlanks();
        std::size_t p = pos_;
        bool negative = false;
        if (p < line_.size() && (line_[p] == '+' || line_[p] == '-')) {
            negative = line_[p] == '-';
            ++p;
        }
        if (const std::optional<double> special = nonFinite(p)) {
            return negative ? -*special : *special;
        }
        const std::size_t start = p;
        std::size_t digits = 0;
        while (p < line_.size() && isDigit(line_[p])) {
            ++p;
            ++digits;
        }
        if (p < line_.size() && line_[p] == '.') {
            ++p;
            while (p < line_.size() && isDigit(line_[p])) {
                ++p;
                ++digits;
            }
        }
        if (digits == 0) {
            return std::nullopt;
        }
        if (p < line_.size() && (line_[p] == 'e' || line_[p] == 'E')) {
            std::size_t q = p + 1;
            if (q < line_.size() && (line_[q] == '+' || line_[q] == '-')) {
                ++q;
            }
            if (q < line_.size() && isDigit(line_[q])) {
                while (q < line_.size() && isDigit(line_[q])) {
                    ++q;
                }
                p = q;
            }
        }
        double value = 0.0;
        const auto [end, error] = std::from_chars(line_.data() + start, line_.data() + p, value);
        if (error == std::errc::result_out_of_range) {
            // Only a magnitude too large to hold matters here: it is refused as infinite.
            value = HUGE_VAL;
        } else if (error != std::errc{}) {
            return std::nullopt;
        }
        pos_ = p;
        return negative ? -value : value;
    }

  private:
    void skipBlanks() {
        while (pos_ < line_.size() && isBlank(line_[pos_])) {
            ++pos_;
        }
    }

    // "inf", "infinity" or "nan" (any case) at `p`: moves past it.
    std::optional<double> nonFinite(std::size_t p) {
        const auto startsWith = [this, p](std::string_view word) {
            if (line_.size() - p < word.size()) {
                return false;
            }
            for (std::size_t k = 0; k < word.size(); ++k) {
                if ((line_[p + k] | 0x20) != word[k]) {
                    return false;
                }
            }
            return true;
        };
        if (startsWith("infinity")) {
            pos_ = p + 8;
            return HUGE_VAL;
        }
        if (startsWith("inf")) {
            pos_ = p + 3;
            return HUGE_VAL;
        }
        if (startsWith("nan")) {
            pos_ = p + 3;
            return std::nan("");
        }
        return std::nullopt;
    }

    std::string_view line_;
    std::size_t pos_ = 0;
};

bool usableCoordinate(double value) {
    return std::isfinite(value) && std::fabs(value) < MaxFileCoordinate;
}

// The record of one non-blank line, or nothing when the line holds none.
std::optional<CityEntry> parseRecord(std::string_view line) {
    LineFields fields(line);
    const std::string_view name = fields.token();
    const std::optional<double> longitude = fields.number();
    const std::optional<char> eastWest = longitude ? fields.character() : std::nullopt;
    const std::optional<double> latitude = eastWest ? fields.number() : std::nullopt;
    const std::optional<char> northSouth = latitude ? fields.character() : std::nullopt;
    if (!northSouth || !usableCoordinate(*longitude) || !usableCoordinate(*latitude)) {
        return std::nullopt;
    }
    CityEntry entry;
    for (const char c : name) {
        if (isControl(c)) {
            return std::nullopt;
        }
        entry.name.push_back(c == '^' ? ' ' : c);
    }
    entry.ewFlag = *eastWest == 'E' ? FlagEast : FlagWest;
    entry.nsCode = *northSouth == 'N' ? CodeNorth : CodeSouth;
    entry.longitude = fileHundredths(*longitude);
    entry.latitude = fileHundredths(*latitude);
    return entry;
}

std::string errorText(int error) {
    return std::strerror(error);
}

// The file a save replaces: `path`, or the file its chain of symbolic links names.
fs::path saveTarget(const std::string& path) {
    fs::path target = path;
    std::error_code ec;
    for (int hop = 0; hop < MaxLinkHops && fs::is_symlink(target, ec); ++hop) {
        const fs::path next = fs::read_symlink(target, ec);
        if (ec) {
            break;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return target;
}

// Writes all of `bytes` to `fd`; false with errno set when a write fails.
bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Creates a new file beside `target` for writing; -1 with errno set when none can be made.
int createBeside(const fs::path& target, std::string& name) {
    for (int attempt = 0; attempt < TemporaryNameAttempts; ++attempt) {
        name =
            target.string() + ".new-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Makes a completed rename last across a power failure; a failure here changes nothing.
void syncDirectoryOf(const fs::path& target) {
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

double fileHundredths(double value) {
    const double product = value * 100.0;
    const double nearest = std::round(product);
    if (std::fabs(product - nearest) < RoundingSlack) {
        return nearest;
    }
    return std::trunc(product);
}

CityFileReport readCityRecords(std::istream& in, CityList& list) {
    list.clear();
    CityFileReport report;
    std::streambuf* buffer = in.rdbuf();
    if (buffer == nullptr) {
        return report;
    }
    std::string line;
    while (nextLine(*buffer, line)) {
        if (LineFields(line).atEnd()) {
            continue;
        }
        if (report.recordsRead == MaxCityRecords) {
            report.moreRecords = true;
            break;
        }
        if (std::optional<CityEntry> entry = parseRecord(line)) {
            list.insertCity(std::move(*entry));
            ++report.recordsRead;
        } else {
            ++report.recordsRefused;
        }
    }
    return report;
}

std::optional<CityFileReport> readCityFile(const std::string& path, CityList& list) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return readCityRecords(in, list);
}

std::string formatCityRecord(const CityEntry& entry) {
    std::string name = entry.name;
    for (char& c : name) {
        if (isBlank(c) || isControl(c)) {
            c = '^';
        }
    }
    if (name.size() < NameFieldWidth) {
        name.insert(0, NameFieldWidth - name.size(), ' ');
    }
    return name + formatCString("  %6.2lf %c %6.2lf %c\r\n", entry.longitude * 0.01,
                            entry.ewFlag != FlagEast ? 'W' : 'E', entry.latitude * 0.01,
                            entry.nsCode == CodeNorth ? 'N' : 'S');
}

std::string formatCityFile(const CityList& list) {
    std::string text;
    for (const CityEntry& entry : list) {
        text += formatCityRecord(entry);
    }
    return text;
}

SaveResult writeCityFile(const std::string& path, const CityList& list) {
    const fs::path target = saveTarget(path);
    const std::string bytes = formatCityFile(list);
    std::string temporary;
    const int fd = createBeside(target, temporary);
    if (fd < 0) {
        return {false, errorText(errno)};
    }
    struct stat old {};
    bool ok = ::stat(target.c_str(), &old) != 0 || ::fchmod(fd, old.st_mode & 07777) == 0;
    ok = ok && writeAll(fd, bytes) && ::fsync(fd) == 0;
    int error = ok ? 0 : errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(temporary.c_str());
        return {false, errorText(error)};
    }
    syncDirectoryOf(target);
    return {true, {}};
}

}  // namespace kelvandor::geo
