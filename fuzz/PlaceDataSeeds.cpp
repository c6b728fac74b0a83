// Writes a few small place data bodies into a folder as the fuzzer's starting corpus: a
// district with a hole, world regions side by side with towns, rings across the antimeridian
// and at the poles.

#include "PlaceDataWriter.h"

#include <QFile>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    using W = PlaceBodyWriter;
    const std::vector<std::pair<const char*, QByteArray>> seeds = {
        {"district", W().Body({{0, "CN", "甲市", "乙区", {W::Square(100, 30, 1), W::Square(100.4, 30.4, 0.2)}}}, {})},
        {"countries", W().Body({{1, "XX", "国甲", "省一", {W::Square(10, 10, 1)}}, {1, "YY", "国乙", "省二", {W::Square(11, 10, 1)}}},
                               {{10.9, 10.5, "Town_X", "XX"}, {11.05, 10.5, "Town_Y", "YY"}})},
        {"edges", W().Body({{1, "AQ", "南极洲", "南极", {{{-180, -90}, {180, -90}, {180, -60}, {-180, -60}}}},
                            {1, "FJ", "斐济", "北部", {{{179.5, -17}, {180, -17}, {180, -16}, {179.5, -16}}}}},
                           {{179.9, -16.5, "Labasa", "FJ"}})},
        {"empty", W().Body({}, {})},
    };
    for (const auto& [name, body] : seeds) {
        QFile file(QString::fromLocal8Bit(argv[1]) + u'/' + QString::fromLatin1(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(body) != body.size())
            return 1;
    }
    return 0;
}
