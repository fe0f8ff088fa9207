// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Decimal text given the digits of its scale: digits are only ever added,
// and text that is no plain decimal is left as it is.
#include "velora/components/ODBCFieldText.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

TEST(FieldText, WithDecimalScaleAddsDigitsAndNeverChangesTheValue) {
    struct Case {
        const char* Text;
        int Scale;
        const char* Shown;
    };
    const Case cases[] = {
        {"814.5", 2, "814.50"}, {"96", 2, "96.00"},    {"-0.5", 3, "-0.500"}, {"1.2345", 2, "1.2345"},
        {"12", 0, "12"},        {"12", -1, "12"},      {"", 2, ""},           {"1e5", 2, "1e5"},
        {"-", 2, "-"},          {"1.2.3", 2, "1.2.3"}, {"1-2", 2, "1-2"},     {"NaN", 2, "NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithDecimalScale(c.Text, c.Scale), c.Shown) << c.Text << " scale " << c.Scale;
}

}  // namespace
}  // namespace velora
