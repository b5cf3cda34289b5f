// Reading a run of the file piece by piece gives the same bytes as one read, however many pieces
// (more than the system takes in one call) and whatever their sizes, and refuses a run past the end.
#include "workspace/random_access_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "support/temp_dir.h"

namespace talvenor {
namespace {

TEST(RandomAccessFile, PiecesReadTheSameBytesAsOneReadAndStopAtTheEnd) {
    testing::TempDir dir;
    std::vector<uint8_t> bytes(100000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + i / 251);
    std::ofstream(dir / "f.bin", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    RandomAccessFile file(dir / "f.bin");

    // 2200 pieces of 21 bytes and 3 of padding (a 7-pixel-wide 24-bit frame, 1100 rows),
    // with empty pieces between: beyond one call's limit of pieces.
    const uint64_t start = 13;
    std::vector<uint8_t> rows(1100 * 21), pad(3);
    std::vector<FilePiece> pieces;
    for (std::size_t r = 0; r < 1100; ++r) {
        pieces.push_back({rows.data() + (1099 - r) * 21, 21});
        pieces.push_back({pad.data(), 3});
        if (r % 100 == 0) pieces.push_back({pad.data(), 0});
    }
    file.ReadPieces(start, pieces);
    for (std::size_t r = 0; r < 1100; ++r)
        ASSERT_TRUE(std::equal(rows.begin() + std::ptrdiff_t((1099 - r) * 21), rows.begin() + std::ptrdiff_t((1100 - r) * 21),
                               bytes.begin() + std::ptrdiff_t(start + r * 24)))
            << "row " << r;
    EXPECT_EQ(pad[0], bytes[start + 1099 * 24 + 21]);

    // A run that ends one byte past the file is refused before anything is read.
    std::vector<uint8_t> tail(101, 0xEE);
    const FilePiece past[] = {{tail.data(), 50}, {tail.data() + 50, 51}};
    EXPECT_THROW(file.ReadPieces(bytes.size() - 100, past), FileReadFailure);
    EXPECT_EQ(tail[0], 0xEE);
}

}  // namespace
}  // namespace talvenor
