// SPDX-License-Identifier: GPL-3.0-or-later
// Stand-in main for fuzz targets built without libFuzzer: runs the target once on each
// file named on the command line (a saved corpus or a crash input), so every input that
// ever found a fault is replayed by an ordinary build.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        std::ifstream file(argv[k], std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "cannot read %s\n", argv[k]);
            return 1;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                      std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("replayed %d input(s)\n", argc - 1);
    return 0;
}
