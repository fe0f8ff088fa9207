// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's row printing, shared by its table, query and editing
// commands.
#include "RowPrinter.h"

#include <algorithm>
#include <cstdio>

namespace velora::app {

namespace {
/// Widest column the alignment allows; longer values are printed whole.
constexpr std::size_t kMaxWidth = 40;
}  // namespace

TRow HeaderOf(TDataSet& ds) {
    TRow header;
    for (int i = 0; i < ds.FieldCount(); ++i) header.push_back(ds.Fields().Fields(i)->FieldName());
    return header;
}

TRow ReadRow(TDataSet& ds) {
    TRow row;
    for (int i = 0; i < ds.FieldCount(); ++i) {
        TField* field = ds.Fields().Fields(i);
        const bool binary = field->DataType() == ftBytes || field->DataType() == ftVarBytes;
        if (field->IsBlob() || binary)
            row.push_back(field->DisplayText());
        else if (field->IsNull())
            row.push_back("(null)");
        else
            row.push_back(field->AsString());
    }
    return row;
}

void PrintRows(const TRow& header, const std::vector<TRow>& rows) {
    std::vector<std::size_t> widths(header.size(), 0);
    auto measure = [&](const TRow& row) {
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], std::min(row[i].size(), kMaxWidth));
    };
    measure(header);
    for (const TRow& row : rows) measure(row);
    auto line = [&](const TRow& row) {
        std::string out;
        for (std::size_t i = 0; i < row.size(); ++i) {
            std::string cell = row[i];
            if (i + 1 < row.size() && cell.size() < widths[i]) cell.resize(widths[i], ' ');
            out += (i == 0 ? "" : " | ") + cell;
        }
        std::printf("%s\n", out.c_str());
    };
    line(header);
    std::string rule;
    for (std::size_t i = 0; i < widths.size(); ++i) rule += (i == 0 ? "" : "-+-") + std::string(widths[i], '-');
    std::printf("%s\n", rule.c_str());
    for (const TRow& row : rows) line(row);
    std::printf("(%zu row%s)\n", rows.size(), rows.size() == 1 ? "" : "s");
}

}  // namespace velora::app
