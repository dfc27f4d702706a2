// Input that is no workbook, or a damaged one: the reader either reads it or throws
// FormatError, never crashes, hangs or reads outside the file (the sanitizer build checks the
// last). Variants come from fixed seeds so that a failure repeats.
#include "biffcraft.h"
#include "spreadsheet/xls/bookreader.h"
#include "spreadsheet/xls/bookwriter.h"
#include "spreadsheet/xls/bytes.h"
#include "spreadsheet/xls/cfbwriter.h"
#include "spreadsheet/xls/xlsbook.h"

#include <gtest/gtest.h>

#include <random>

namespace {

using namespace craft;

// "(parsed)" or the FormatError's reason; any other exception fails the calling test.
std::string outcome(const QByteArray& file) {
    try {
        xls::parse(file);
    } catch (const xls::FormatError& e) {
        EXPECT_GT(std::strlen(e.what()), 10u);
        return e.what();
    }
    return "(parsed)";
}

bool refusedFor(const QByteArray& file, const char* reason) {
    return outcome(file).find(reason) != std::string::npos;
}

xls::Book sampleBook() {
    xls::Book book;
    xls::Sheet first{QStringLiteral("Storage"), {}};
    for (int r = 0; r < 60; ++r) {
        first.rows.push_back({QStringLiteral("2025-03-07  14:%1").arg(r),
                              QStringLiteral("CO      "), QStringLiteral("  12.%1").arg(r % 10),
                              QString::fromUtf8("PPM 中")});
    }
    first.rows.push_back({QString(9000, QChar(0x4E2D)) + QStringLiteral("end")});
    book.sheets.push_back(first);
    book.sheets.push_back(
        {QString::fromUtf8("Zwei ü"), {{QStringLiteral("a"), QStringLiteral("b")}}});
    return book;
}

// A small workbook with inline strings, numbers and formulas, held in the mini stream.
QByteArray craftedStream() {
    QByteArray s;
    s += record(0x0200, u32(0) + u32(4) + u16(0) + u16(3) + u16(0));
    s += record(0x0204, cell(0, 0) + unicodeString(QString::fromUtf8("ü label"), true));
    s += record(0x0203, cell(1, 0) + f64(1.25));
    s += record(0x027E, cell(1, 1) + u32(0x3FF80000));
    s += record(0x00BD, u16(2) + u16(0) + u16(15) + u32(6) + u16(15) + u32(10) + u16(1));
    s += record(0x0006, cell(3, 0) + u8(0) + QByteArray(5, '\0') + u16(0xFFFF) + u16(0) + u32(0) +
                            u16(3) + u8(0x1E) + u16(1));
    s += record(0x0207, u16(4) + u8(0) + "text");
    const QByteArray sst =
        record(0x00FC, u32(1) + u32(1) + u16(5) + u8(8) + u16(1) + "runs!" + u32(0));
    s += record(0x00FD, cell(3, 1) + u32(0));
    return workbookStream(sst, {{QStringLiteral("Crafted"), 0, 0x10, s}});
}

TEST(XlsDamagedFiles, OtherFormatsAreRefusedWithTheirNames) {
    EXPECT_TRUE(refusedFor({}, "empty"));
    EXPECT_TRUE(
        refusedFor(QByteArray("PK\x03\x04\x14\x00\x06\x00", 8) + QByteArray(300, 'z'), "zip"));
    EXPECT_TRUE(refusedFor("Time,CH1 Gas\r\n\"2025-03-07\",\"CO\"\r\n", "text file"));
    EXPECT_TRUE(refusedFor(QString::fromUtf8("Zeit;Gas\nä;ö\n").toUtf8(), "text file"));
    EXPECT_TRUE(refusedFor("<html><body><table></table></body></html>", "HTML"));
    EXPECT_TRUE(refusedFor(record(0x0009, u16(2) + u16(0x10)) + QByteArray(20, '\0'),
                           "older than Excel 97"));
    EXPECT_TRUE(refusedFor(
        QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + QByteArray(100, '\0'), "damaged"));
    std::mt19937 random(3);
    QByteArray noise(5000, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    EXPECT_TRUE(refusedFor(noise, "not an Excel 97-2003 workbook"));
}

TEST(XlsDamagedFiles, TruncatedFilesAreRefusedOrRead) {
    const QByteArray samples[] = {xls::serialize(sampleBook()), compoundFile(craftedStream())};
    for (const QByteArray& file : samples) {
        ASSERT_EQ(outcome(file), "(parsed)");
        const qsizetype step = std::max<qsizetype>(1, file.size() / 400);
        for (qsizetype length = 0; length < file.size(); length += (length < 1200 ? 5 : step)) {
            outcome(file.left(length));
        }
    }
    // A file cut inside the stream's sectors is refused rather than read short.
    const QByteArray file = xls::serialize(sampleBook());
    EXPECT_TRUE(refusedFor(file.left(file.size() / 2), "damaged"));
}

TEST(XlsDamagedFiles, BitFlippedFilesAreRefusedOrRead) {
    const QByteArray samples[] = {xls::serialize(sampleBook()), compoundFile(craftedStream()),
                                  compoundFile(craftedStream(), QStringLiteral("Workbook"), 12)};
    int parsed = 0;
    for (size_t sample = 0; sample < std::size(samples); ++sample) {
        std::mt19937 random(100 + sample);
        const QByteArray& file = samples[sample];
        for (int variant = 0; variant < 1500; ++variant) {
            QByteArray damaged = file;
            const int flips = 1 + static_cast<int>(random() % 6);
            // Half the variants hit the header and the first sectors, where the structure is.
            const qsizetype range =
                variant % 2 ? damaged.size() : std::min<qsizetype>(damaged.size(), 2048);
            for (int f = 0; f < flips; ++f) {
                damaged[random() % range] ^= static_cast<char>(1 << (random() % 8));
            }
            if (outcome(damaged) == "(parsed)") {
                ++parsed;
            }
        }
    }
    EXPECT_GT(parsed, 0); // most flips land in text, which still reads
}

// Damage aimed at the record structure: lengths, counts, offsets and indexes set to extremes.
void mutateRecordFields(const QByteArray& stream) {
    std::vector<qsizetype> starts;
    for (qsizetype at = 0; at + 4 <= stream.size();
         at += 4 + xls::bytes::u16(stream.constData() + at + 2)) {
        starts.push_back(at);
    }
    const uint32_t extremes[] = {0,      1,      2,      0x7F,    0xFF,       0x100,
                                 0x7FFF, 0x8000, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF};
    std::mt19937 random(42);
    for (int variant = 0; variant < 1500; ++variant) {
        QByteArray damaged = stream;
        const qsizetype start = starts[random() % starts.size()];
        const qsizetype length = xls::bytes::u16(damaged.constData() + start + 2);
        const qsizetype offset = start + random() % (4 + std::max<qsizetype>(length, 1));
        const uint32_t value = extremes[random() % std::size(extremes)];
        const bool wide = random() % 2;
        if (offset + (wide ? 4 : 2) > damaged.size()) {
            continue;
        }
        if (wide) {
            xls::bytes::put32(damaged.data() + offset, value);
        } else {
            xls::bytes::put16(damaged.data() + offset, static_cast<uint16_t>(value));
        }
        outcome(damaged.size() < 4096 && variant % 2 ? compoundFile(damaged)
                                                     : xls::writeCompoundFile(damaged));
    }
}

TEST(XlsDamagedFiles, RecordFieldsAtExtremesAreRefusedOrRead) {
    for (const QByteArray& stream : {craftedStream(), xls::writeWorkbookStream(sampleBook())}) {
        mutateRecordFields(stream);
    }
}

TEST(XlsDamagedFiles, LoopingAndOversizedAllocationChainsAreRefused) {
    const QByteArray good = xls::serialize(sampleBook());
    ASSERT_EQ(outcome(good), "(parsed)");
    const char* h = good.constData();
    const uint32_t firstFat = xls::bytes::u32(h + 76);
    const auto fatEntry = [&](QByteArray& file, uint32_t sector) {
        return file.data() + 512 + firstFat * 512 + 4 * sector;
    };

    QByteArray loop = good; // the Workbook stream's chain turns back to its start
    xls::bytes::put32(fatEntry(loop, 20), 3);
    EXPECT_TRUE(refusedFor(loop, "loops"));

    QByteArray directoryLoop = good; // the directory chain points at itself
    const uint32_t directory = xls::bytes::u32(h + 48);
    xls::bytes::put32(fatEntry(directoryLoop, directory), directory);
    EXPECT_TRUE(refusedFor(directoryLoop, "loops"));

    QByteArray tree = good; // the root's child tree refers to itself: ends without a stream
    xls::bytes::put32(tree.data() + 512 + directory * 512 + 128 + 68, 1);
    EXPECT_EQ(outcome(tree), "(parsed)");

    QByteArray huge = good; // a stream claims 4 GB
    xls::bytes::put32(huge.data() + 512 + directory * 512 + 128 + 120, 0xFFFFFFF0);
    EXPECT_TRUE(refusedFor(huge, "larger than the file"));

    QByteArray manyFats = good; // more FAT sectors than the file has sectors
    xls::bytes::put32(manyFats.data() + 44, 0x00FFFFFF);
    EXPECT_TRUE(refusedFor(manyFats, "damaged"));

    // A file big enough for DIFAT sectors, whose DIFAT chain links to itself.
    xls::Book big{{{QStringLiteral("Big"), {}}}};
    const QString filler(60, QChar(u'f'));
    for (int r = 0; r < 40000; ++r) {
        big.sheets[0].rows.push_back(
            {QStringLiteral("%1 a").arg(r) + filler, QStringLiteral("%1 b").arg(r) + filler});
    }
    QByteArray difat = xls::serialize(big);
    ASSERT_EQ(xls::bytes::u32(difat.constData() + 72), 1u);
    ASSERT_EQ(outcome(difat), "(parsed)");
    // The chain is followed only while FAT sectors remain to be found, so claim more of them.
    const uint32_t firstDifat = xls::bytes::u32(difat.constData() + 68);
    xls::bytes::put32(difat.data() + 512 + firstDifat * 512 + 127 * 4, firstDifat);
    xls::bytes::put32(difat.data() + 44, 109 + 2 * 127);
    EXPECT_TRUE(refusedFor(difat, "DIFAT"));
}

// Input that would cost far more than its size: sheets listed many times over one another,
// and cells far to the right on many rows.
TEST(XlsDamagedFiles, InputThatWouldCostMoreThanItsSizeIsRefused) {
    QByteArray cells;
    for (uint16_t r = 0; r < 2000; ++r) {
        cells += record(0x0204, cell(r, 0) + unicodeString(QStringLiteral("row text"), false));
    }
    const QByteArray sheetStream = workbookStream({}, {{QStringLiteral("S"), 0, 0x10, cells}});
    // Thousands of BOUNDSHEET records, all naming the one sheet after the globals.
    const qsizetype sheetStart = sheetStream.indexOf(bof(0x0010));
    const QByteArray sheetBody = sheetStream.mid(sheetStart);
    QByteArray bounds;
    const int copies = 3000;
    const qsizetype boundSize = record(0x0085, QByteArray(9, '\0')).size();
    const qsizetype globalsSize = bof(0x0005).size() + copies * boundSize + eof().size();
    for (int i = 0; i < copies; ++i) {
        bounds += record(0x0085, u32(static_cast<uint32_t>(globalsSize)) + u8(0) + u8(0) + u8(1) +
                                     u8(0) + "S");
    }
    const QByteArray overlapping = bof(0x0005) + bounds + eof() + sheetBody;
    EXPECT_TRUE(refusedFor(xls::writeCompoundFile(overlapping), "overlap"));

    QByteArray wide;
    for (uint16_t r = 0; r < 40; ++r) {
        wide += record(0x0204, cell(r, 255) + unicodeString(QStringLiteral("far right"), false));
    }
    const QByteArray wideStream = workbookStream({}, {{QStringLiteral("W"), 0, 0x10, wide}});
    // Each row takes 256 cell slots, and the list of rows takes a few slots per row as it grows.
    EXPECT_EQ(xls::readWorkbook(wideStream, 40 * (256 + 2)).sheets.at(0).rows.size(), 40u);
    EXPECT_THROW(xls::readWorkbook(wideStream, 39 * 256), xls::FormatError);
}

} // namespace
