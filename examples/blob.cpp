// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// BLOB: store a binary value through a blob stream, in pieces, read it back
// through another stream after reopening, and compare it byte for byte.
//   Usage: blob [DATABASE-FILE]
#include <velora/components/ODBCObj.h>
#include <velora/components/ODBCTable.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace velora;

int main(int argc, char** argv) {
    const std::string file = argc > 1 ? argv[1] : "blob.db";
    // 300 kB of every byte value, zero bytes included: no text would survive this.
    std::vector<unsigned char> bytes(300 * 1024);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 7 + i / 256);
    try {
        TOwnedPtr<TComponent> owner(new TComponent(nullptr));
        auto* db = new TODBCDatabase(owner.get());
        db->SetDataSourceName("DRIVER=SQLite3;Database=" + file);
        db->SetLoginPrompt(false);

        auto* sql = new TODBCQuery(owner.get());
        sql->SetDataBase(db);
        sql->SQL()->SetText("DROP TABLE IF EXISTS files");
        sql->ExecSQL();
        sql->SQL()->SetText("CREATE TABLE files (id INTEGER PRIMARY KEY, name VARCHAR(40), data BLOB)");
        sql->ExecSQL();

        auto* files = new TODBCTable(owner.get());
        files->SetDataBase(db);
        files->SetTableName("files");
        files->Open();
        files->Append();
        files->FieldByName("id")->SetAsInteger(1);
        files->FieldByName("name")->SetAsString("pattern.bin");
        {
            // The stream hands its value to the record when it goes; Post stores it.
            TField* data = files->FieldByName("data");
            std::unique_ptr<TStream> out = files->CreateBlobStream(data, bmWrite);
            for (std::size_t at = 0; at < bytes.size(); at += 64 * 1024) {
                const std::size_t piece = std::min<std::size_t>(64 * 1024, bytes.size() - at);
                out->WriteBuffer(bytes.data() + at, static_cast<std::int64_t>(piece));
            }
        }
        files->Post();
        files->Close();

        files->Open();  // read from the database, not from what was written
        std::unique_ptr<TStream> in = files->CreateBlobStream(files->FieldByName("data"), bmRead);
        std::vector<unsigned char> back(static_cast<std::size_t>(in->Size()));
        in->ReadBuffer(back.data(), static_cast<std::int64_t>(back.size()));
        std::printf("%s: %zu bytes stored, %zu read back, %s\n", files->FieldByName("name")->AsString().c_str(),
                    bytes.size(), back.size(), back == bytes ? "identical" : "DIFFERENT");
        return back == bytes ? 0 : 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "error: %s\n", e.Message().c_str());
        return 1;
    }
}
