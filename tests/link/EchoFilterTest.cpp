// The echo filter: the tool's own transmission read back is dropped by content, whatever the reads.
#include "EchoFilter.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

TEST(EchoFilter, DropsOnlyTheReadBackOfTheLastTransmission) {
    const QByteArray preamble = Hex("FF"), frame = Hex("550117860145610000");
    struct Row {
        const char* name;
        std::vector<QByteArray> reads;
        QByteArray kept;
        int echo;
    };
    const Row rows[] = {
        {"whole, then a request in the same read", {Hex("FF550117860145610000AA0107")}, Hex("AA0107"), 10},
        {"one byte a read",
         {Hex("FF"), Hex("55"), Hex("0117860145"), Hex("610000"), Hex("AA")},
         Hex("AA"),
         10},
        {"none: a four-wire line", {Hex("AA010706014E45")}, Hex("AA010706014E45"), 0},
        {"held start that is not echo", {Hex("FF55"), Hex("33FF")}, Hex("FF5533FF"), 0},
        {"cut short after the address", {Hex("FF550117"), Hex("13AA")}, Hex("13AA"), 4},
        {"a second read-back is data", {Hex("FF550117860145610000FF55")}, Hex("FF55"), 10},
    };
    for (const Row& row : rows) {
        EchoFilter filter;
        filter.expect(std::span(reinterpret_cast<const quint8*>(preamble.data()), 1),
                      std::span(reinterpret_cast<const quint8*>(frame.data()), std::size_t(frame.size())));
        QByteArray kept;
        int echo = 0;
        for (const QByteArray& read : row.reads) {
            quint8 out[64];
            int dropped = 0;
            const int n =
                filter.pass(reinterpret_cast<const quint8*>(read.data()), int(read.size()), out, &dropped);
            kept += QByteArray(reinterpret_cast<const char*>(out), n);
            echo += dropped;
        }
        EXPECT_EQ(kept.toHex(), row.kept.toHex()) << row.name;
        EXPECT_EQ(echo, row.echo) << row.name;
    }
}
