#include "model/codetables.h"
#include "model/recordstore.h"

#include <QStringList>
#include <gtest/gtest.h>

TEST(GasNames, BuiltInNamesKeepTheirPadding) {
    const UserGasNames none;
    EXPECT_EQ(GasNameOf(1, none), QStringLiteral("CO      "));
    EXPECT_EQ(GasNameOf(0, none), QStringLiteral("GAS     "));
    EXPECT_EQ(GasNameOf(34, none), QStringLiteral("iC4H10  "));
    EXPECT_EQ(GasNameOf(56, none), QStringLiteral("C2H8O2  "));
    EXPECT_EQ(GasNameOf(64, none), QStringLiteral("GAS     "));
    EXPECT_EQ(GasNameOf(65, none), QStringLiteral("He    "));
    EXPECT_EQ(GasNameOf(68, none), QStringLiteral("Kr    "));
    EXPECT_EQ(GasNameOf(69, none), QStringLiteral("Xe     "));
    EXPECT_EQ(GasNameOf(70, none), QStringLiteral("CH3Br"));
    for (int code = 0; code <= 64; ++code) {
        EXPECT_EQ(GasNameOf(static_cast<quint8>(code), none).size(), 8) << code;
    }
}

TEST(GasNames, UserAndUnknownCodes) {
    UserGasNames user;
    user[0] = QStringLiteral("Freon");
    user[29] = QStringLiteral("Last");
    for (int code = 71; code <= 80; ++code) {
        EXPECT_TRUE(GasNameOf(static_cast<quint8>(code), user).isEmpty()) << code;
    }
    EXPECT_EQ(GasNameOf(81, user), QStringLiteral("Freon"));
    EXPECT_TRUE(GasNameOf(82, user).isEmpty());
    EXPECT_EQ(GasNameOf(110, user), QStringLiteral("Last"));
    EXPECT_TRUE(GasNameOf(111, user).isEmpty());
    EXPECT_TRUE(GasNameOf(255, user).isEmpty());
}

TEST(UnitsAndPrecision, Tables) {
    const QStringList units{"PPM", "PPB", "%VOL", "%LEL", "mg/m3", "g/m3", " ", " "};
    for (int code = 0; code < units.size(); ++code) {
        EXPECT_EQ(UnitNameOf(code), units[code]);
    }
    EXPECT_EQ(PrecisionTextOf(0), QStringLiteral("1"));
    EXPECT_EQ(PrecisionTextOf(1), QStringLiteral("0.1"));
    EXPECT_EQ(PrecisionTextOf(2), QStringLiteral("0.01"));
    EXPECT_EQ(PrecisionTextOf(3), QStringLiteral("0.001"));
    EXPECT_TRUE(PrecisionTextOf(4).isEmpty());
    EXPECT_TRUE(PrecisionTextOf(255).isEmpty());
}

TEST(FormatReading, WidthDecimalsAndScaling) {
    EXPECT_EQ(FormatReading(12345, 3, true), QStringLiteral("12.345"));
    EXPECT_EQ(FormatReading(5, 0, true), QStringLiteral("    5"));
    EXPECT_EQ(FormatReading(65535, 2, true), QStringLiteral("655.35"));
    EXPECT_EQ(FormatReading(350, 9, true), QStringLiteral("  350"));
    EXPECT_EQ(FormatReading(350, 4, false), QStringLiteral("  350"));
    EXPECT_EQ(FormatReading(1000, 1, false), QStringLiteral("1000.0"));
    EXPECT_EQ(FormatReading(350, 1, true), QStringLiteral(" 35.0"));
    EXPECT_EQ(FormatReading(200, 2, false), QStringLiteral("200.00"));
    EXPECT_EQ(FormatReading(200, 2, true), QStringLiteral(" 2.00"));
    EXPECT_EQ(FormatReading(0, 2, true), QStringLiteral(" 0.00"));
    EXPECT_EQ(FormatReading(123, 3, true), QStringLiteral("0.123"));
    EXPECT_EQ(FormatReading(65535, 0, false), QStringLiteral("65535"));
}

TEST(RecordStore, GrowsInsteadOfWritingPastCapacity) {
    RecordStore store;
    EXPECT_EQ(store.capacity(), RecordStore::kReservedRows);
    store.setCell(18, 1999, QStringLiteral("last reserved"));
    EXPECT_EQ(store.capacity(), 2000u);
    store.setCell(0, 2500, QStringLiteral("grown"));
    EXPECT_GE(store.capacity(), 2501u);
    EXPECT_EQ(store.cell(0, 2500), QStringLiteral("grown"));
    EXPECT_EQ(store.cell(18, 1999), QStringLiteral("last reserved"));
    EXPECT_TRUE(store.cell(1, 2500).isEmpty());
    EXPECT_TRUE(store.cell(0, 99999).isEmpty());
}
