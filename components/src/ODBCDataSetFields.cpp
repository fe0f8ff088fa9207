// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSet, the field side: field definitions from the engine's column
// descriptions, field values read from and written to the record buffers,
// the packed-decimal conversions, and the start of an edit (writing rows
// back is in ODBCDataSetEdit.cpp).
//
// A field whose FieldNo is above 0 is an engine column (column position + 1):
// its value lives in the engine's row image and only the engine reads and
// writes it. Calculated and lookup fields (FieldNo -1) live in the
// calculated-field area behind the row image: a flag byte, then the value in
// the field's buffer form.
#include "velora/components/ODBCDataSet.h"

#include "velora/components/ODBCFieldText.h"
#include "velora/components/ODBCTypeMaps.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/FMTBCD.h"

#include <cstdlib>
#include <cstring>

namespace velora {

// ---------------------------------------------------------------------------
// Field definitions

void TODBCDataSet::AddFieldDesc(TODBCFldDesc FieldDesc, bool Required, std::uint16_t FieldNo) {
    const String column = FieldDesc.GetName();
    String name = column;
    for (int i = 1; FieldDefs()->IndexOf(name) >= 0; ++i) name = Format("%s_%d", column, i);

    TFieldType dataType = ODBCDataTypeMap.Contains(FieldDesc.FldType) ? ODBCDataTypeMap[FieldDesc.FldType] : ftUnknown;
    int size = 0;
    switch (FieldDesc.FldType) {
        case fcString:
            size = FieldDesc.Units1;
            if (size == 0) dataType = ftUnknown;
            break;
        case fcBytes:
        case fcVarBytes:
            size = FieldDesc.Units1;
            break;
        case fcBCD:
            size = std::abs(static_cast<int>(FieldDesc.Units2));
            break;
        case fcBlob:
            size = FieldDesc.Units1;
            if (ODBCBlobTypeMap.Contains(FieldDesc.SubType)) dataType = ODBCBlobTypeMap[FieldDesc.SubType];
            break;
        default:
            break;
    }
    if (dataType == ftUnknown) return;

    auto* def = new TFieldDef(FieldDefs(), name, dataType, size, Required, FieldNo);
    def->SetInternalCalcField(FieldDesc.InternalCalc != 0);
    if (dataType == ftBCD) def->SetPrecision(static_cast<std::int16_t>(FieldDesc.Units1));
}

void TODBCDataSet::InternalInitFieldDefs() {
    FieldDefs()->Clear();
    const std::vector<TODBCFldDesc>& columns = FEngine->Columns;
    for (std::size_t i = 0; i < columns.size(); ++i) AddFieldDesc(columns[i], false, static_cast<std::uint16_t>(i + 1));
}

// ---------------------------------------------------------------------------
// Packed decimals

bool TODBCDataSet::BCDToCurr(const void* BCD, Currency& Curr) {
    ODBCFMTBCD bcd;
    std::memcpy(&bcd, BCD, sizeof bcd);
    return ODBCFMTBCDToCurr(bcd, Curr);
}

bool TODBCDataSet::CurrToBCD(Currency Curr, void* BCD, int /*Precision*/, int Decimals) {
    ODBCFMTBCD bcd;
    std::memcpy(&bcd, BCD, sizeof bcd);
    const bool ok = ODBCCurrToFMTBCD(Curr, bcd, 32, Decimals);
    std::memcpy(BCD, &bcd, sizeof bcd);
    return ok;
}

// ---------------------------------------------------------------------------
// Field values

bool TODBCDataSet::GetActiveRecBuf(TRecordBuffer& RecBuf) {
    switch (State()) {
        case dsBrowse:
            RecBuf = IsEmpty() ? nullptr : ActiveBuffer();
            break;
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            RecBuf = ActiveBuffer();
            break;
        case dsCalcFields:
            RecBuf = CalcBuffer();
            break;
        case dsOldValue:
            RecBuf = GetOldRecord();
            break;
        default:
            RecBuf = nullptr;
            break;
    }
    return RecBuf != nullptr;
}

bool TODBCDataSet::GetFieldData(TField* Field, void* Buffer) {
    TRecordBuffer recBuf = nullptr;
    if (!GetActiveRecBuf(recBuf)) return false;
    if (Field->FieldNo() > 0) {
        // A long value of a row read before answers from the record's cache,
        // NULL and zero length included, without going back to the data
        // source. Only while browsing: a record being edited or inserted
        // holds values written since (through a stream or the engine).
        const bool longValue = State() == dsBrowse && Field->IsBlob() && !static_cast<TBlobField*>(Field)->Modified() &&
                               recBuf == ActiveBuffer();
        bool cachedNull = false;
        if (longValue && IsBlobCached(Field, recBuf, cachedNull)) return !cachedNull;
        bool blank = true;
        // A value that cannot be converted to the field's type (a 64-bit
        // integer in a 32-bit field, a time beyond 24 hours, a NaN decimal)
        // is refused, never read as NULL. Without a destination (IsNull) the
        // engine answers without delivering the value.
        if (FEngine->GetFieldAt(Field->FieldNo(), RowOf(recBuf), BookmarkOf(recBuf), blank, Buffer) < 0)
            DatabaseErrorFmt("Value stored in field '%s' cannot be read as the field's type", Field->DisplayName());
        if (longValue && blank) CacheBlobRead(Field, recBuf, String(), true);
        return !blank;
    }
    switch (State()) {
        case dsBrowse:
        case dsEdit:
        case dsInsert:
        case dsCalcFields:
            break;
        default:
            return false;
    }
    const std::uint8_t* slot = recBuf + GetRecordSize() + Field->Offset();
    if (slot[0] == 0) return false;
    if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<std::size_t>(Field->GetDataSize()));
    return true;
}

void TODBCDataSet::SetFieldData(TField* Field, const void* Buffer) {
    const TDataSetState state = State();
    if (state < dsEdit || state > dsNewValue) DatabaseError(SNotEditing);
    TRecordBuffer recBuf = nullptr;
    const bool haveBuffer = GetActiveRecBuf(recBuf);
    if (Field->FieldNo() > 0) {
        if (state == dsCalcFields) DatabaseError(SNotEditing);
        if (Field->ReadOnly() && state != dsFilter) DatabaseErrorFmt(SFieldReadOnly, Field->DisplayName());
        // Validation comes first: a rejected value leaves the buffer as it was.
        Field->Validate(Buffer);
        if (haveBuffer && Field->FieldKind() != fkInternalCalc) FEngine->PutField(Field->FieldNo(), recBuf, Buffer);
    } else if (haveBuffer) {
        std::uint8_t* slot = recBuf + GetRecordSize() + Field->Offset();
        slot[0] = Buffer != nullptr;
        if (Buffer) std::memcpy(slot + 1, Buffer, static_cast<std::size_t>(Field->GetDataSize()));
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
}

int TODBCDataSet::DecimalScale(TField* Field) {
    if (!Field || Field->FieldNo() <= 0 || !FEngine) return -1;
    const auto n = static_cast<std::size_t>(Field->FieldNo() - 1);
    if (FDecimalScales.size() != FEngine->Columns.size()) FDecimalScales.assign(FEngine->Columns.size(), kScaleUnknown);
    if (n >= FDecimalScales.size()) return -1;
    if (FDecimalScales[n] == kScaleUnknown) FDecimalScales[n] = ODBCDecimalScale(*this, *Field);
    return FDecimalScales[n];
}

bool TODBCDataSet::GetFieldExactText(TField* Field, String& Text, bool& IsNull) {
    if (Field->FieldNo() <= 0 || !FEngine) return false;
    // Without a record a text column reads as NULL.
    TRecordBuffer recBuf = nullptr;
    GetActiveRecBuf(recBuf);
    const int r = FEngine->GetTextAt(Field->FieldNo(), RowOf(recBuf), BookmarkOf(recBuf), Text);
    if (r < 0) return false;
    IsNull = r == 0;
    return true;
}

bool TODBCDataSet::SetFieldExactText(TField* Field, const String& Text) {
    if (Field->FieldNo() <= 0 || !FEngine) return false;
    if (FEngine->IsTemporal(Field->FieldNo())) return SetTemporalText(Field, Text);
    String ignored;
    std::vector<std::byte> probe(static_cast<std::size_t>(FEngine->RecordSize()) + 2);
    if (FEngine->GetDecimalText(Field->FieldNo(), probe.data(), ignored) < 0) return false;
    const TDataSetState state = State();
    if (state != dsEdit && state != dsInsert) DatabaseError(SNotEditing);
    if (Field->ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, Field->DisplayName());
    TRecordBuffer recBuf = nullptr;
    if (!GetActiveRecBuf(recBuf)) DatabaseError(SNotEditing);
    // OnValidate sees the value in the field's buffer form.
    double value = 0;
    if (TryStrToFloat(Text, value)) Field->Validate(&value);
    FEngine->PutDecimalText(Field->FieldNo(), recBuf, Text);
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
    return true;
}

bool TODBCDataSet::GetFieldExactValue(TField* Field, bool Old, TFieldType& Type, String& Text, bool& IsNull) {
    if (!Field || Field->FieldNo() <= 0 || !FEngine) return false;
    TRecordBuffer recBuf = nullptr;
    if (!Old)
        GetActiveRecBuf(recBuf);
    else if (State() == dsEdit)
        recBuf = FOldRecord.size() == FRecordBufferSize ? FOldRecord.data() : nullptr;
    else if (State() == dsBrowse && !IsEmpty())
        recBuf = ActiveBuffer();
    std::uint16_t kind = fcUnknown;
    const std::uint8_t* row = RowOf(recBuf);
    int r = FEngine->GetExactValue(Field->FieldNo(), row, Text, kind);
    // Text goes whole, as the row holds it: SQLite keeps text longer than
    // the column's declared size, which the field's value form would cut.
    if (r < 0 && Field->DataType() == ftString) {
        r = FEngine->GetTextAt(Field->FieldNo(), row, BookmarkOf(recBuf), Text);
        kind = fcString;
    }
    if (r < 0) return false;
    IsNull = r == 0;
    Type = ODBCDataTypeMap[kind];  // the engine's kind of text: string, decimal, date, time or time stamp
    return true;
}

/// Dates, times and time stamps from their text, the fraction of a second
/// whole: the text goes into a copy of the record first, so OnValidate sees
/// the value in the field's buffer form and a rejected value changes nothing.
bool TODBCDataSet::SetTemporalText(TField* Field, const String& Text) {
    const TDataSetState state = State();
    if (state != dsEdit && state != dsInsert) DatabaseError(SNotEditing);
    if (Field->ReadOnly()) DatabaseErrorFmt(SFieldReadOnly, Field->DisplayName());
    TRecordBuffer recBuf = nullptr;
    if (!GetActiveRecBuf(recBuf)) DatabaseError(SNotEditing);
    std::vector<std::uint8_t> trial(recBuf, recBuf + FEngine->RecordSize());
    if (!FEngine->PutTemporalText(Field->FieldNo(), trial.data(), Trim(Text)))
        DatabaseErrorFmt(DBConsts::SInvalidDateTimeValue, Text, Field->DisplayName());
    alignas(8) std::uint8_t value[8] = {};
    bool blank = true;
    if (FEngine->GetField(Field->FieldNo(), trial.data(), FBookmarkOffset, blank, value) == 0 && !blank)
        Field->Validate(value);
    FEngine->PutTemporalText(Field->FieldNo(), recBuf, Trim(Text));
    DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
    return true;
}

// ---------------------------------------------------------------------------
// Editing steps

void TODBCDataSet::InternalEdit() {
    // Editing starts from the engine's current values of the row; a copy of
    // them answers OldValue until the edit ends. The copy holds no long
    // values of its own (their cache slots are empty): those are read through
    // the row's bookmark, from the data source, which still holds the old ones.
    ForgetLoan(ActiveBuffer());
    FEngine->GetCurrentRecord(ActiveBuffer());
    FEngine->ClearAssigned();
    ClearBlobCache(ActiveBuffer());
    FOldRecord.assign(ActiveBuffer(), ActiveBuffer() + FRecordBufferSize);
}

TRecordBuffer TODBCDataSet::GetOldRecord() {
    switch (FOuterState) {
        case dsEdit:
            return FOldRecord.size() == FRecordBufferSize ? FOldRecord.data() : nullptr;
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        default:
            return nullptr;
    }
}

}  // namespace velora
