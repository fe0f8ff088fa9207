// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamList: descriptors and the value buffer built from NAME=VALUE
// lines, the 16-bit size limit, and the packed layout the engine reads.
#include "velora/components/ODBCParamList.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

namespace velora {
namespace {

void Fill(TStringList& list, std::initializer_list<const char*> lines) {
    for (const char* l : lines) list.Add(l);
}

TEST(ParamList, LinesWithoutEqualsAreSkippedAndTakeNoFieldNumber) {
    TStringList params;
    Fill(params, {"A=1", "junk", "B="});
    TODBCParamList list(params);
    ASSERT_EQ(list.FieldCount(), 2);
    EXPECT_EQ(list.BufSize(), 3);

    const TODBCParamListDesc& a = list.FieldDescs()[0];
    EXPECT_EQ(+a.FieldNo, 1);
    EXPECT_STREQ(a.FldName, "A");
    EXPECT_EQ(+a.FldType, 1);
    EXPECT_EQ(+a.Offset, 0);
    EXPECT_EQ(+a.Len, 2);
    EXPECT_STREQ(list.Buffer() + +a.Offset, "1");

    const TODBCParamListDesc& b = list.FieldDescs()[1];
    EXPECT_EQ(+b.FieldNo, 2);
    EXPECT_STREQ(b.FldName, "B");
    EXPECT_EQ(+b.Offset, 2);
    EXPECT_EQ(+b.Len, 1);
    EXPECT_STREQ(list.Buffer() + +b.Offset, "");
}

TEST(ParamList, NoEntriesNoStorage) {
    TStringList params;
    Fill(params, {"no equals here", ""});
    TODBCParamList list(params);
    EXPECT_EQ(list.FieldCount(), 0);
    EXPECT_EQ(list.BufSize(), 0);
    EXPECT_EQ(list.FieldDescs(), nullptr);
    EXPECT_EQ(list.Buffer(), nullptr);
}

TEST(ParamList, DescriptorIsPackedLikeTheEngines) {
    EXPECT_EQ(sizeof(TODBCParamListDesc), 53u);
    EXPECT_EQ(offsetof(TODBCParamListDesc, FldName), 2u);
    EXPECT_EQ(offsetof(TODBCParamListDesc, FldType), 34u);
    EXPECT_EQ(offsetof(TODBCParamListDesc, Offset), 42u);
    EXPECT_EQ(offsetof(TODBCParamListDesc, Len), 44u);

    TStringList params;
    Fill(params, {"X=abc", "Y=de"});
    TODBCParamList list(params);
    // The reserved bytes are zero, and the second descriptor starts 53
    // bytes after the first.
    const auto* bytes = reinterpret_cast<const unsigned char*>(list.FieldDescs());
    for (int i = 36; i < 42; ++i) EXPECT_EQ(bytes[i], 0) << i;
    for (int i = 46; i < 53; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[53], 2);  // FieldNo of Y, little-endian
    EXPECT_EQ(bytes[55], 'Y');
}

TEST(ParamList, NamesAreCutTo31CharactersAndValuesKeepEqualsSigns) {
    const std::string longName(40, 'N');
    TStringList params;
    params.Add(longName + "=v");
    params.Add("Q=a=b");
    TODBCParamList list(params);
    EXPECT_EQ(std::string(list.FieldDescs()[0].FldName), std::string(31, 'N'));
    EXPECT_STREQ(list.Buffer() + list.FieldDescs()[1].Offset, "a=b");
    EXPECT_EQ(+list.FieldDescs()[1].Len, 4);
}

TEST(ParamList, LongValuesAreKeptWhole) {
    // The descriptor announces the whole value; the buffer holds all of it.
    const std::string value(300, 'v');
    TStringList params;
    params.Add("LONG=" + value);
    params.Add("NEXT=x");
    TODBCParamList list(params);
    EXPECT_EQ(+list.FieldDescs()[0].Len, 301);
    EXPECT_EQ(std::string(list.Buffer() + list.FieldDescs()[0].Offset), value);
    EXPECT_EQ(+list.FieldDescs()[1].Offset, 301);
    EXPECT_STREQ(list.Buffer() + list.FieldDescs()[1].Offset, "x");
}

TEST(ParamList, BufferSizeIsCheckedAgainst16Bits) {
    // 65,535 bytes exactly fit: values of 32,766, 32,765 and 1 characters,
    // each with its terminator.
    TStringList fits;
    fits.Add("A=" + std::string(32766, 'a'));
    fits.Add("B=" + std::string(32765, 'b'));
    fits.Add("C=c");
    TODBCParamList list(fits);
    EXPECT_EQ(list.BufSize(), 65535);
    EXPECT_EQ(std::string(list.Buffer() + list.FieldDescs()[2].Offset), "c");

    TStringList tooBig;
    tooBig.Assign(&fits);
    tooBig.Add("D=");  // one byte more
    EXPECT_THROW(TODBCParamList{tooBig}, EIntOverflow);
}

}  // namespace
}  // namespace velora
