// Runs the fuzz target without libFuzzer: replays every seed file of the
// folders given, then a fixed-seed mutation loop over them, bounded in both
// iterations and time, so a failure reproduces on every run.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

constexpr long kIterations = 200000;
constexpr auto kTimeLimit = std::chrono::seconds(10);
constexpr std::size_t kMaxLength = 96;

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Bytes the parsers treat specially, offered more often than chance would.
constexpr char kInteresting[] = {'.', ':', ' ', '\t', '\n', '\r', '\x1A', '\0', '-', '+',
                                 '0', '9', 'A', 'a', '/', '\\', '&', '"', '\x7F', '\x80'};

std::string Mutate(std::string input, std::mt19937& random, const std::vector<std::string>& seeds) {
    const auto below = [&random](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
    };
    const auto byte = [&]() {
        return below(2) ? kInteresting[below(sizeof kInteresting)] : static_cast<char>(below(256));
    };
    const std::size_t steps = 1 + below(4);
    for (std::size_t step = 0; step < steps; ++step) {
        switch (below(6)) {
        case 0:  // flip a bit
            if (!input.empty())
                input[below(input.size())] ^= static_cast<char>(1u << below(8));
            break;
        case 1:  // overwrite a byte
            if (!input.empty())
                input[below(input.size())] = byte();
            break;
        case 2:  // insert a byte
            input.insert(input.begin() + static_cast<long>(below(input.size() + 1)), byte());
            break;
        case 3:  // erase a byte
            if (!input.empty())
                input.erase(below(input.size()), 1);
            break;
        case 4:  // truncate
            input.resize(below(input.size() + 1));
            break;
        default: {  // splice in part of another seed
            const std::string& other = seeds[below(seeds.size())];
            const std::size_t from = below(other.size() + 1);
            input.insert(below(input.size() + 1), other.substr(from, below(other.size() - from + 1)));
            break;
        }
        }
    }
    if (input.size() > kMaxLength)
        input.resize(kMaxLength);
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> seeds;
    for (int i = 1; i < argc; ++i) {
        for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
            if (!entry.is_regular_file())
                continue;
            std::ifstream file(entry.path(), std::ios::binary);
            seeds.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        }
    }
    if (seeds.empty()) {
        std::fprintf(stderr, "no seed files found\n");
        return 1;
    }
    // Directory order is not fixed; sort so the mutation sequence is.
    std::sort(seeds.begin(), seeds.end());
    for (const auto& seed : seeds)
        Run(seed);

    std::mt19937 random(1);
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    long done = 0;
    for (; done < kIterations; ++done) {
        if (done % 1024 == 0 && std::chrono::steady_clock::now() > deadline)
            break;
        const std::string& seed = seeds[std::uniform_int_distribution<std::size_t>(0, seeds.size() - 1)(random)];
        Run(Mutate(seed, random, seeds));
    }
    std::printf("%zu seeds, %ld mutated inputs\n", seeds.size(), done);
    return 0;
}
