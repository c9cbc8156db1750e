// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_codec.h"

#include <istream>
#include <ostream>

#include "protocol/frame_text.h"

namespace kelvandor::cli {

namespace {
constexpr int DefaultChunk = 64;
}

int buildFrame(const Args& args, const char* command, char* frame, std::ostream& err) {
    if (args.empty()) {
        err << command << ": missing MNEMONIC (try: kelvandor-cli " << command << " QV)\n";
        return 0;
    }
    const std::string& mnemonic = args[0];
    const CommandId id = mnemonic.size() == 2 ? findCommand(mnemonic[0], mnemonic[1]) : -1;
    if (id < 0) {
        err << command << ": unknown mnemonic \"" << mnemonic << "\"\n";
        return 0;
    }
    const int expected = paramCount(id);
    const int given = static_cast<int>(args.size()) - 1;
    if (given != expected) {
        err << command << ": " << mnemonic << " takes " << expected << " parameter"
            << (expected == 1 ? "" : "s") << ", " << given << " given\n";
        return 0;
    }
    std::int32_t params[MaxParams] = {};
    for (int k = 0; k < given; ++k) {
        const std::string& text = args[static_cast<std::size_t>(k) + 1];
        const std::optional<std::int32_t> value = parseInt32(text);
        if (!value) {
            err << command << ": parameter " << (k + 1) << " (\"" << text
                << "\") is not a signed 32-bit integer\n";
            return 0;
        }
        params[k] = *value;
    }
    return encodeFrame(frame, id, params);
}

int runEncode(const Args& args, std::ostream& out, std::ostream& err) {
    char frame[FrameAreaSize];
    const int length = buildFrame(args, "encode", frame, err);
    if (length == 0) {
        return ExitUsage;
    }
    out.write(frame, length);
    out.flush();
    return ExitOk;
}

void printFrameLine(std::ostream& out, CommandId id, const std::int32_t* params) {
    out << frameLine(id, params) << '\n';
}

void drainFrames(ReceiveBuffer& buffer, FrameScratch& scratch, std::ostream& out) {
    forEachChunk(buffer, scratch, [&out](int status, CommandId id, const std::int32_t* params) {
        out << chunkLine(status, id, params) << '\n';
    });
}

int runDecode(const Args& args, std::istream& in, std::ostream& out, std::ostream& err) {
    Args rest = args;
    bool missing = false;
    const std::optional<std::string> chunkText = takeOption(rest, "--chunk", &missing);
    int chunk = DefaultChunk;
    if (missing) {
        err << "decode: --chunk needs a value\n";
        return ExitUsage;
    }
    if (chunkText) {
        // Chunks of 240 bytes or more would be dropped by the receive buffer.
        const std::optional<int> value = parseIntInRange(*chunkText, 1, MaxHeldBytes);
        if (!value) {
            err << "decode: --chunk must be a number from 1 to " << MaxHeldBytes << '\n';
            return ExitUsage;
        }
        chunk = *value;
    }
    if (!rest.empty()) {
        err << "decode: unexpected argument \"" << rest[0] << "\"\n";
        return ExitUsage;
    }
    ReceiveBuffer buffer;
    FrameScratch scratch;
    char bytes[MaxHeldBytes];
    while (in) {
        in.read(bytes, chunk);
        const auto got = static_cast<int>(in.gcount());
        if (got <= 0) {
            break;
        }
        appendReceived(buffer, bytes, got);
        drainFrames(buffer, scratch, out);
    }
    out.flush();
    return ExitOk;
}

}  // namespace kelvandor::cli
