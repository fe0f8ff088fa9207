// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Streams: checked reads and writes, positions and sizes, file open errors
// with the system's message, copying, and string lists through streams.
#include "velora/classes/Streams.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <numeric>

using namespace velora;

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/velora-streams-XXXXXX";
        FPath = mkdtemp(pattern);
    }
    ~TempDir() { std::filesystem::remove_all(FPath); }
    String File(const String& name) const { return FPath + "/" + name; }

private:
    String FPath;
};

TEST(StreamTest, ReadBufferRaisesOnAShortRead) {
    TMemoryStream s;
    const char data[] = "abc";
    s.WriteBuffer(data, 3);
    s.SetPosition(1);
    char buf[8] = {};
    try {
        s.ReadBuffer(buf, 3);
        FAIL();
    } catch (const EReadError& e) {
        EXPECT_STREQ(e.what(), "Stream read error");
    }
    s.SetPosition(1);
    s.ReadBuffer(buf, 2);
    EXPECT_EQ(String(buf, 2), "bc");
    EXPECT_EQ(s.Read(buf, 4), 0);  // plain Read at the end answers 0
}

TEST(StreamTest, MemoryStreamPositionsSizesAndGaps) {
    TMemoryStream s;
    EXPECT_EQ(s.Size(), 0);
    s.Seek(4, soBeginning);
    const std::uint8_t x = 0x7F;
    s.WriteBuffer(&x, 1);  // writing past the end fills the gap with zeros
    EXPECT_EQ(s.Size(), 5);
    EXPECT_EQ(s.Bytes(), (std::vector<std::uint8_t>{0, 0, 0, 0, 0x7F}));
    EXPECT_EQ(s.Seek(-2, soEnd), 3);
    EXPECT_EQ(s.Seek(1, soCurrent), 4);
    EXPECT_THROW(s.Seek(-1, soBeginning), EStreamError);
    s.SetSize(2);
    EXPECT_EQ(s.Position(), 2);
    s.Clear();
    EXPECT_EQ(s.Size(), 0);
    EXPECT_EQ(s.Position(), 0);
}

TEST(StreamTest, CopyFromCopiesAllOrACountAndRaisesOnShortInput) {
    TMemoryStream src;
    std::vector<std::uint8_t> data(200000);
    std::iota(data.begin(), data.end(), 0);
    src.WriteBuffer(data.data(), static_cast<std::int64_t>(data.size()));
    TMemoryStream all;
    EXPECT_EQ(all.CopyFrom(src, 0), 200000);  // 0: the whole source from its start
    EXPECT_EQ(all.Bytes(), data);
    src.SetPosition(10);
    TMemoryStream part;
    EXPECT_EQ(part.CopyFrom(src, 5), 5);
    EXPECT_EQ(part.Bytes(), (std::vector<std::uint8_t>{10, 11, 12, 13, 14}));
    src.SetPosition(199999);
    EXPECT_THROW(part.CopyFrom(src, 2), EReadError);
}

TEST(StreamTest, FileStreamOpenErrorsNameTheFileAndTheReason) {
    TempDir dir;
    const String missing = dir.File("missing.dat");
    try {
        TFileStream s(missing, fmOpenRead);
        FAIL();
    } catch (const EFOpenError& e) {
        EXPECT_EQ(e.Message(), "Cannot open file \"" + missing + "\". No such file or directory");
    }
    const String inMissingDir = dir.File("no/such/dir.dat");
    try {
        TFileStream s(inMissingDir, fmCreate);
        FAIL();
    } catch (const EFCreateError& e) {
        EXPECT_EQ(e.Message(), "Cannot create file \"" + inMissingDir + "\". No such file or directory");
    }
    EXPECT_THROW(TFileStream(dir.File(""), fmOpenRead), EFOpenError);  // a directory
}

TEST(StreamTest, FileStreamWritesReadsSeeksAndTruncates) {
    TempDir dir;
    const String path = dir.File("data.bin");
    {
        TFileStream out(path, fmCreate);
        out.WriteBuffer("hello world", 11);
        EXPECT_EQ(out.Size(), 11);
        out.SetSize(5);
        EXPECT_EQ(out.Position(), 5);
    }
    {
        TFileStream in(path, fmOpenRead);
        EXPECT_EQ(in.Size(), 5);
        char buf[8] = {};
        in.ReadBuffer(buf, 5);
        EXPECT_EQ(String(buf, 5), "hello");
        EXPECT_THROW(in.ReadBuffer(buf, 1), EReadError);
        EXPECT_THROW(in.WriteBuffer("x", 1), EWriteError);  // opened for reading only
    }
    {
        TFileStream rw(path, fmOpenReadWrite);
        rw.Seek(0, soEnd);
        rw.WriteBuffer("!", 1);
    }
    TMemoryStream m;
    m.LoadFromFile(path);
    EXPECT_EQ(String(reinterpret_cast<const char*>(m.Memory()), static_cast<std::size_t>(m.Size())), "hello!");
    m.SaveToFile(dir.File("copy.bin"));
    EXPECT_EQ(std::filesystem::file_size(dir.File("copy.bin")), 6u);
}

TEST(StreamTest, StringStreamAndStringListsThroughStreams) {
    TStringStream s("one\ntwo\r\nthree");
    TStringList list;
    list.LoadFromStream(s);
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list[2], "three");
    TStringStream out;
    list.SaveToStream(out);
    EXPECT_EQ(out.DataString(), "one\r\ntwo\r\nthree\r\n");
    out.SetPosition(5);
    EXPECT_EQ(out.ReadString(3), "two");
    EXPECT_EQ(out.ReadString(100), "\r\nthree\r\n");

    TempDir dir;
    list.SaveToFile(dir.File("lines.txt"));
    TStringList back;
    back.LoadFromFile(dir.File("lines.txt"));
    EXPECT_TRUE(back.Equals(list));
}

}  // namespace
