// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A short, deterministic fuzz run for the test build: links with one fuzz
// target's LLVMFuzzerTestOneInput and feeds it seed texts (the ones below and
// any files named on the command line) and then mutations of them (bytes
// flipped, inserted, deleted, seeds spliced) for a few seconds. It needs no
// libFuzzer, so the sanitizer build of the test run compiles and runs every
// target; scripts/run-fuzz.sh does the long, coverage-guided runs.
//   fuzz_X_smoke [SECONDS] [SEED-FILE...]   (SECONDS defaults to 5)
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

const char* const Seeds[] = {
    "SELECT * FROM Orders WHERE CustNo = :CustNo AND OrderDate > :Since\r\n",
    "SELECT '12:30', a::int FROM T WHERE d = :\"Order Date\" OR e = :'x'\n",
    "SELECT E'it\\'s', $f$ a; $f$ /* a /* b */ */ FROM \"S\".t WHERE v = :v::int; BEGIN; -- x\n",
    "{:r = call f(:x)}; SELECT 'a\\'b', `c d` # e;\n/*!40101 SET x=1 */;",
    "BEGIN ISOLATION LEVEL SERIALIZABLE, READ ONLY; SELECT 1; ROLLBACK TO SAVEPOINT s",
    "START TRANSACTION WITH CONSISTENT SNAPSHOT; /* ; */ COMMIT",
    "object Root: TComponent\n  object Db: TODBCDatabase\n    DataSourceName = 'Nowhere'\n    LoginPrompt = False\n"
    "  end\n  object Q: TODBCQuery\n    Database = Db\n    SQL.Strings = (\n      'SELECT * FROM t WHERE id = :id')\n"
    "    UpdateObject = U\n  end\n  object U: TODBCUpdateSQL\n    ModifySQL.Strings = (\n"
    "      'UPDATE t SET a = :a WHERE id = :OLD_id')\n  end\nend\n",
};
// Stored parameter lists (version 1, an empty list, version 0, version 2).
const std::string BinarySeeds[] = {
    std::string("\x01\x00\x01\x00\x06" "CustNo\x06" "CustNo\x01\x03\x04\x00\xd2\x04\x00\x00\x00\x01", 24),
    std::string("\x01\x00\x00\x00", 4),
    std::string("\x00\x00\x01\x00\x01" "A\x01" "C\x02\x05\x02\x00\x01\x00\x00\x01", 16),
    std::string("\x02\x00\x01\x00\x00\x00\x01\x00\x00\x00S\x00\x00\x00\x00\x01\x01\x02\x00\x00\x00" "0\x00\x01\x01", 26),
};

void Run(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    std::vector<std::string> seeds(std::begin(Seeds), std::end(Seeds));
    seeds.insert(seeds.end(), std::begin(BinarySeeds), std::end(BinarySeeds));
    for (int i = 2; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (const std::string& s : seeds) Run(s);

    std::mt19937 random(20261209);  // the same inputs every run: a failure reproduces
    auto pick = [&](std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    long runs = 0;
    while (std::chrono::steady_clock::now() < end) {
        std::string input = seeds[pick(seeds.size())];
        for (int edits = 1 + static_cast<int>(pick(8)); edits > 0; --edits) {
            switch (pick(5)) {
                case 0: if (!input.empty()) input[pick(input.size())] ^= static_cast<char>(1 << pick(8)); break;
                case 1: input.insert(input.begin() + static_cast<long>(pick(input.size() + 1)), static_cast<char>(pick(256))); break;
                case 2: if (!input.empty()) input.erase(pick(input.size()), 1 + pick(4)); break;
                case 3: input.insert(pick(input.size() + 1), seeds[pick(seeds.size())].substr(0, pick(40))); break;
                default: input = input.substr(0, pick(input.size() + 1)); break;
            }
        }
        Run(input);
        ++runs;
    }
    std::printf("%ld inputs, %zu seeds, no finding\n", runs, seeds.size());
    return 0;
}
