#include "export/FileHash.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <random>

// Known answers of XXH64 with seed 0, and the same value whether the bytes come at once or in
// pieces of any size (the copy hashes block by block).
TEST(Xxh64, KnownAnswersAndThePiecesOfAStreamGiveTheWholeHash)
{
    EXPECT_EQ(Xxh64Hex(Xxh64Of("", 0)), "ef46db3751d8e999");
    EXPECT_EQ(Xxh64Hex(Xxh64Of("abc", 3)), "44bc2cf5ad770999");

    QByteArray data(1 << 20, '\0');
    std::mt19937 random(7);
    for (char& byte : data)
        byte = char(random());
    const uint64_t whole = Xxh64Of(data.constData(), size_t(data.size()));
    for (int piece : {1, 31, 32, 4096, 100000}) {
        Xxh64 stream;
        for (qsizetype at = 0; at < data.size(); at += piece)
            stream.Add(data.constData() + at, size_t(std::min<qsizetype>(piece, data.size() - at)));
        EXPECT_EQ(stream.Value(), whole) << "pieces of " << piece;
    }
    EXPECT_EQ(Xxh64FromHex(Xxh64Hex(whole)), whole);
    EXPECT_EQ(Xxh64Bytes(0x0102030405060708ULL), QByteArray::fromHex("0102030405060708"));
    EXPECT_FALSE(Xxh64FromHex("12345"));
    EXPECT_FALSE(Xxh64FromHex("zz46db3751d8e999"));
}
