// Runs a libFuzzer target without libFuzzer: replays every seed file, then
// feeds deterministic random mutations of the seeds for a bounded time.
// Usage: TARGET [-seconds=N] [-runs=N] CORPUS_DIR_OR_FILE...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace {

using Bytes = std::vector<uint8_t>;

void addFile(const std::filesystem::path &path, std::vector<Bytes> &seeds) {
    std::ifstream in(path, std::ios::binary);
    seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void collectSeeds(const char *arg, std::vector<Bytes> &seeds) {
    std::filesystem::path path(arg);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        for (const auto &entry : std::filesystem::recursive_directory_iterator(path, error))
            if (entry.is_regular_file()) addFile(entry.path(), seeds);
    } else if (std::filesystem::is_regular_file(path, error)) {
        addFile(path, seeds);
    }
}

void runOne(const Bytes &input) {
    // A copy in an exactly sized heap block lets ASan see reads past the end.
    auto *copy = static_cast<uint8_t *>(std::malloc(input.size() ? input.size() : 1));
    if (!input.empty()) std::memcpy(copy, input.data(), input.size());
    LLVMFuzzerTestOneInput(copy, input.size());
    std::free(copy);
}

Bytes mutate(const std::vector<Bytes> &seeds, std::mt19937_64 &random) {
    Bytes data = seeds[random() % seeds.size()];
    int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits; i++) {
        size_t size = data.size();
        switch (random() % 7) {
        case 0:  // flip a bit
            if (size) data[random() % size] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:  // set a byte to an interesting value
            if (size) {
                static const uint8_t interesting[] = {0, 1, 0x7f, 0x80, 0xff, '"', '\\', '{', '(', '/'};
                data[random() % size] = interesting[random() % sizeof interesting];
            }
            break;
        case 2:  // insert a random byte
            data.insert(data.begin() + static_cast<long>(size ? random() % (size + 1) : 0),
                        static_cast<uint8_t>(random()));
            break;
        case 3:  // erase a range
            if (size) {
                size_t at = random() % size;
                size_t length = 1 + random() % std::min<size_t>(size - at, 16);
                data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
            }
            break;
        case 4:  // truncate
            if (size) data.resize(random() % size);
            break;
        case 5: {  // splice in part of another seed
            const Bytes &other = seeds[random() % seeds.size()];
            if (!other.empty()) {
                size_t from = random() % other.size();
                size_t length = 1 + random() % std::min<size_t>(other.size() - from, 64);
                data.insert(data.begin() + static_cast<long>(size ? random() % (size + 1) : 0),
                            other.begin() + static_cast<long>(from),
                            other.begin() + static_cast<long>(from + length));
            }
            break;
        }
        default:  // duplicate a range
            if (size) {
                size_t at = random() % size;
                size_t length = 1 + random() % std::min<size_t>(size - at, 32);
                Bytes piece(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
                data.insert(data.begin() + static_cast<long>(at), piece.begin(), piece.end());
            }
            break;
        }
    }
    return data;
}

}  // namespace

int main(int argc, char **argv) {
    double seconds = 3;
    long maxRuns = -1;
    std::vector<Bytes> seeds;
    for (int i = 1; i < argc; i++) {
        if (std::strncmp(argv[i], "-seconds=", 9) == 0) seconds = std::atof(argv[i] + 9);
        else if (std::strncmp(argv[i], "-runs=", 6) == 0) maxRuns = std::atol(argv[i] + 6);
        else if (argv[i][0] != '-') collectSeeds(argv[i], seeds);
    }
    if (seeds.empty()) seeds.emplace_back();
    for (const Bytes &seed : seeds) runOne(seed);

    std::mt19937_64 random(20261206);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long runs = 0;
    while (std::chrono::steady_clock::now() < deadline && (maxRuns < 0 || runs < maxRuns)) {
        for (int batch = 0; batch < 64; batch++, runs++) runOne(mutate(seeds, random));
    }
    std::printf("fuzz smoke: %zu seeds, %ld mutated inputs, no crash\n", seeds.size(), runs);
    return 0;
}
