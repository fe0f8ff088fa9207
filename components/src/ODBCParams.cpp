// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParam and TODBCParams: typed parameter values, their byte forms, the
// list with its indexing rule, and the stored form read and written through
// form files.
//
// The stored form is read from data nobody vouches for (a form file may be
// damaged or hand-edited), so the reader checks every length against what
// the stream still holds before it allocates, and every data size against
// its 2048-byte buffer before it reads.
#include "velora/components/ODBCParams.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/FMTBCD.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/rtl/DateUtils.h"
#include "velora/db/Fields.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace velora {

// The record-buffer form of a long value is what the engine's binder reads
// for a long parameter.
static_assert(sizeof(TODBCParamRef) == sizeof(TODBCBlobRef));
static_assert(offsetof(TODBCParamRef, Data) == offsetof(TODBCBlobRef, Data));
static_assert(offsetof(TODBCParamRef, Size) == offsetof(TODBCBlobRef, Size));

namespace {

/// True when `text` is a number the currency type holds exactly (at most
/// four decimals, within its range).
bool ExactAsCurrency(const String& text) {
    Currency c;
    if (!TryStrToCurr(text, c)) return false;
    const String t = Trim(text);
    const std::size_t point = t.find('.');
    if (point == String::npos) return true;
    const std::size_t last = t.find_last_not_of('0');
    return last == point || last - point <= 4;
}

/// The date and time of an exact text ("YYYY-MM-DD", "HH:MM:SS[.f]" or
/// both), to the millisecond the date-time type keeps.
TDateTime ExactTextToDateTime(const String& text) {
    int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
    double fraction = 0;
    const char* p = text.c_str();
    int used = 0;
    if (std::sscanf(p, "%d-%d-%d%n", &y, &mo, &d, &used) == 3) p += used;
    while (*p == ' ' || *p == 'T') ++p;
    if (*p && std::sscanf(p, "%d:%d:%d%n", &h, &mi, &s, &used) == 3) {
        p += used;
        if (*p == '.') fraction = std::strtod(p, nullptr);
    }
    TDateTime result = 0;
    const int ms = std::min(999, static_cast<int>(fraction * 1000));
    if (!TryEncodeDateTime(y, mo, d, h, mi, s, ms, result))
        throw EConvertError(Format("'%s' is not a valid date and time", text));
    return result;
}

/// Longest text the one-byte lengths of a version-1 record hold.
constexpr std::size_t kMaxV1Length = 255;
/// Most entries the two-byte count of version 1 holds.
constexpr std::size_t kMaxV1Count = 65535;

/// Text of a bounded length (ftString, and text types of their own).
bool IsTextType(TFieldType t) { return FieldTypeInfo(t).Kind == TValueKind::Text; }

/// Dates, times and time stamps (FieldTypes' kinds).
bool IsTemporalType(TFieldType t) {
    const TValueKind k = FieldTypeInfo(t).Kind;
    return k == TValueKind::Date || k == TValueKind::Time || k == TValueKind::DateTime;
}

bool IsBlobLike(TFieldType t) {
    return t == ftBlob || t == ftGraphic || t == ftFmtMemo || t == ftParadoxOle || t == ftDBaseOle;
}

template <class T>
void Put(void* buffer, T value) {
    std::memcpy(buffer, &value, sizeof value);
}

template <class T>
T Get(const void* buffer) {
    T value;
    std::memcpy(&value, buffer, sizeof value);
    return value;
}

// ---- little-endian stream helpers for the stored form ----------------------

void WriteUInt(TStream& stream, std::uint32_t value, int width) {
    std::uint8_t bytes[4];
    for (int i = 0; i < width; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
    stream.WriteBuffer(bytes, width);
}

std::uint32_t ReadUInt(TStream& stream, int width) {
    std::uint8_t bytes[4] = {};
    stream.ReadBuffer(bytes, width);
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes[i]) << (8 * i);
    return value;
}

/// Reads `length` bytes as text. A length beyond what the stream holds is
/// refused before anything is allocated, as a short read would be.
String ReadText(TStream& stream, std::uint32_t length) {
    if (length == 0) return String();
    const std::int64_t remaining = stream.Size() - stream.Position();
    if (remaining < 0 || static_cast<std::int64_t>(length) > remaining) throw EReadError("Stream read error");
    String text(length, '\0');
    stream.ReadBuffer(text.data(), length);
    return text;
}

/// Splits ";"-separated names as the dataset framework's field lists are split: each name
/// trimmed, a trailing ";" ending the list.
std::vector<String> SplitNames(const String& names) {
    std::vector<String> result;
    std::size_t pos = 0;
    while (pos < names.size()) {
        std::size_t end = names.find(';', pos);
        if (end == String::npos) end = names.size();
        result.push_back(Trim(std::string_view(names).substr(pos, end - pos)));
        pos = end < names.size() ? end + 1 : end;
    }
    return result;
}

}  // namespace

// ============================================================================
// TODBCParam
// ============================================================================

TODBCParam::TODBCParam(TODBCParams* AParamList, TODBCParamType AParamType) : FParamType(AParamType) {
    if (AParamList) AParamList->AddParam(this);
}

TODBCParam::~TODBCParam() {
    if (FParamList) FParamList->RemoveParam(this);
}

void TODBCParam::Assign(TPersistent* Source) {
    if (auto* param = dynamic_cast<TODBCParam*>(Source)) {
        AssignParam(param);
        return;
    }
    if (auto* field = dynamic_cast<TField*>(Source)) {
        AssignField(field);
        return;
    }
    TPersistent::Assign(Source);
}

void TODBCParam::AssignTo(TPersistent* Dest) {
    if (auto* field = dynamic_cast<TField*>(Dest)) {
        field->SetAsVariant(FData);
        return;
    }
    TPersistent::AssignTo(Dest);
}

void TODBCParam::AssignParam(const TODBCParam* Param) {
    if (!Param) return;
    if (Param == this) return;
    SetDataType(Param->FDataType);
    if (Param->FNull) {
        Clear();
    } else {
        InitValue();
        FData = Param->FData;
    }
    FBound = Param->FBound;
    FName = Param->FName;
    if (FParamType == ptUnknown) FParamType = Param->FParamType;
}

namespace {
TFieldType ParamTypeOfField(TField* field) {
    switch (field->DataType()) {
        // A memo too long for a string parameter of 255 characters still binds
        // as a string: the parameter's long-string form carries any length.
        case ftMemo:
            return field->Size() > 255 ? ftString : ftMemo;
        // Fixed and variable binary values bind as binary data of their own
        // length (the long binary form), the bytes whole: a binary column's
        // value can then be written and keyed on (OLD_) like any other.
        case ftBytes:
        case ftVarBytes:
            return ftBlob;
        default:
            return field->DataType();
    }
}

/// A field's value as a parameter holds it: a binary field's byte array
/// becomes the string of its bytes.
Variant ParamValue(const Variant& value) {
    if (!value.IsArray()) return value;
    String bytes;
    for (int i = VarArrayLowBound(value, 1), hi = VarArrayHighBound(value, 1); i <= hi; ++i)
        bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(value[i].AsInteger())));
    return Variant(bytes);
}
}  // namespace

void TODBCParam::AssignField(TField* Field) {
    if (!Field) return;
    SetDataType(ParamTypeOfField(Field));
    if (Field->IsNull()) {
        Clear();
    } else {
        InitValue();
        FData = ParamValue(Field->AsVariant());
    }
    FBound = true;
    FName = Field->FieldName();
}

void TODBCParam::AssignFieldValue(TField* Field, const Variant& Value) {
    if (!Field) return;
    SetDataType(ParamTypeOfField(Field));
    if (VarIsNull(Value)) {
        Clear();
    } else {
        InitValue();
        FData = ParamValue(Value);
    }
    FBound = true;
}

void TODBCParam::AssignExactText(TFieldType DataType, const String& Text, bool IsNull) {
    SetDataType(DataType);
    if (IsNull) {
        Clear();
    } else {
        InitValue();
        FData = Variant(Text);
    }
    FBound = true;
}

bool TODBCParam::HoldsExactText() const {
    if (FNull || VarType(FData) != varString) return false;
    if (IsTemporalType(FDataType)) return true;
    ODBCFMTBCD bcd;
    return FDataType == ftBCD && !ODBCTextToFMTBCD(FData.AsString(), bcd);
}

void TODBCParam::Clear() {
    FNull = true;
    FData = Variant(std::int32_t{0});
}

void TODBCParam::InitValue() {
    FBound = true;
    FNull = false;
}

void TODBCParam::SetDataType(TFieldType Value) {
    FData = Variant(std::int32_t{0});
    FDataType = Value;
}

bool TODBCParam::IsEqual(const TODBCParam* Value) const {
    if (!Value) return false;
    return VarType(FData) == VarType(Value->FData) && FData == Value->FData && FName == Value->FName &&
           FDataType == Value->FDataType && FNull == Value->FNull && FBound == Value->FBound &&
           FParamType == Value->FParamType;
}

// ---- setters -----------------------------------------------------------------

void TODBCParam::SetAsBoolean(bool Value) {
    InitValue();
    SetDataType(ftBoolean);
    FData = Variant(Value);
}

void TODBCParam::SetAsFloat(double Value) {
    InitValue();
    SetDataType(ftFloat);
    FData = Variant(Value);
}

void TODBCParam::SetAsCurrency(double Value) {
    SetAsFloat(Value);
    FDataType = ftCurrency;
}

void TODBCParam::SetAsBCD(Currency Value) {
    InitValue();
    FData = Variant(Value);
    FDataType = ftBCD;
}

void TODBCParam::SetAsInteger(std::int32_t Value) {
    InitValue();
    SetDataType(ftInteger);
    FData = Variant(Value);
}

void TODBCParam::SetAsWord(std::int32_t Value) {
    SetAsInteger(Value);
    FDataType = ftWord;
}

void TODBCParam::SetAsSmallInt(std::int32_t Value) {
    SetAsInteger(Value);
    FDataType = ftSmallint;
}

void TODBCParam::SetAsLargeInt(std::int64_t Value) {
    InitValue();
    SetDataType(ftLargeint);
    FData = Variant(Value);
}

void TODBCParam::SetAsString(const String& Value) {
    InitValue();
    SetDataType(ftString);
    FData = Variant(Value);
}

void TODBCParam::SetAsDate(TDateTime Value) {
    InitValue();
    SetDataType(ftDate);
    FData = Variant::FromDateTime(Value);
}

void TODBCParam::SetAsTime(TDateTime Value) {
    SetAsDate(Value);
    FDataType = ftTime;
}

void TODBCParam::SetAsDateTime(TDateTime Value) {
    SetAsDate(Value);
    FDataType = ftDateTime;
}

void TODBCParam::SetAsMemo(const String& Value) {
    InitValue();
    SetDataType(ftMemo);
    FData = Variant(Value);
}

void TODBCParam::SetAsBlob(const String& Value) {
    InitValue();
    SetDataType(ftBlob);
    FData = Variant(Value);
}

void TODBCParam::SetAsVariant(const Variant& Value) {
    if (VarIsNull(Value)) {
        // Assigning NULL must send NULL: a parameter left unknown would be
        // refused at open with "No value for parameter".
        if (FDataType == ftUnknown) SetDataType(ftString);
        FBound = true;
        Clear();
        return;
    }
    InitValue();
    TFieldType type = ftUnknown;
    switch (VarType(Value)) {
        case varSmallint:
            type = ftSmallint;
            break;
        case varInteger:
            type = ftInteger;
            break;
        case varInt64:
            type = ftLargeint;
            break;
        case varSingle:
        case varDouble:
            type = ftFloat;
            break;
        case varCurrency:
            type = ftBCD;
            break;
        case varDate:
            type = ftDateTime;
            break;
        case varOleStr:
        case varString:
            type = ftString;
            break;
        case varBoolean:
            type = ftBoolean;
            break;
        default:
            break;
    }
    SetDataType(type);
    FData = Value;
}

void TODBCParam::SetText(const String& Value) {
    InitValue();
    if (FDataType == ftUnknown) SetDataType(ftString);
    FData = Variant(Value);
    switch (FDataType) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
            FData = Variant(FData.AsInteger());
            break;
        case ftLargeint:
            FData = Variant(FData.AsInt64());
            break;
        case ftBoolean:
            FData = Variant(FData.AsBoolean());
            break;
        case ftFloat:
        case ftCurrency:
            FData = Variant(FData.AsDouble());
            break;
        case ftBCD:
            // A decimal the currency type cannot hold exactly (more than four
            // decimals, more than 19 digits) stays as its text and binds
            // exactly.
            if (ODBCFMTBCD bcd; !ExactAsCurrency(Value) && ODBCTextToFMTBCD(Trim(Value), bcd))
                FData = Variant(Trim(Value));
            else
                FData = Variant(FData.AsCurrency());
            break;
        case ftDate:
        case ftTime:
        case ftDateTime:
            FData = Variant::FromDateTime(FData.AsDateTime());
            break;
        default:
            break;
    }
}

void TODBCParam::SetBlobData(const void* Buffer, int Size) {
    SetAsBlob(Size > 0 ? String(static_cast<const char*>(Buffer), static_cast<std::size_t>(Size)) : String());
}

void TODBCParam::LoadFromStream(TStream& Stream, TFieldType BlobType) {
    InitValue();
    FDataType = BlobType;
    const std::int64_t size = Stream.Size();
    String bytes(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    Stream.ReadBuffer(bytes.data(), size > 0 ? size : 0);
    FData = Variant(std::move(bytes));
}

void TODBCParam::LoadFromFile(const String& FileName, TFieldType BlobType) {
    TFileStream stream(FileName, fmOpenRead);
    LoadFromStream(stream, BlobType);
}

// ---- getters -----------------------------------------------------------------

bool TODBCParam::GetAsBoolean() const { return FData.AsBoolean(); }

double TODBCParam::GetAsFloat() const { return FData.AsDouble(); }

Currency TODBCParam::GetAsBCD() const { return FData.AsCurrency(); }

std::int32_t TODBCParam::GetAsInteger() const { return FData.AsInteger(); }
std::int64_t TODBCParam::GetAsLargeInt() const { return FData.AsInt64(); }

String TODBCParam::GetAsString() const {
    if (FNull) return String();
    if (FDataType == ftBoolean) return FData.AsBoolean() ? STextTrue : STextFalse;
    if (IsTemporalType(FDataType)) {
        if (VarType(FData) == varString) return FData.AsString();  // an exact text
        return Variant::FromDateTime(FData.AsDouble()).AsString();
    }
    return FData.AsString();
}

TDateTime TODBCParam::GetAsDateTime() const {
    if (FNull) return 0.0;
    if (VarType(FData) == varString && IsTemporalType(FDataType))
        return ExactTextToDateTime(FData.AsString());
    return FData.AsDateTime();
}

String TODBCParam::GetAsMemo() const { return FData.AsString(); }

// ---- byte forms ----------------------------------------------------------------

void TODBCParam::UnknownTypeError() const { DatabaseErrorFmt(SFieldUndefinedType, FName); }

void TODBCParam::UnsupportedTypeError() const { DatabaseErrorFmt(SFieldUnsupportedType, FName); }

String TODBCParam::ValueText() const {
    String text = FData.AsString();
    // Sizes are 32-bit; a value that does not fit them has no byte form.
    if (text.size() >= static_cast<std::size_t>(INT32_MAX)) DatabaseErrorFmt(SParamTooBig, FName, INT32_MAX - 1);
    return text;
}

int TODBCParam::GetDataSize() const {
    if (FDataType == ftUnknown) UnknownTypeError();
    // The fixed buffer forms are as wide as the field type's (FieldTypes).
    if (const int fixed = FieldTypeInfo(FDataType).DataSize; fixed > 0) return fixed;
    if (IsTextType(FDataType) || FDataType == ftMemo) return static_cast<int>(ValueText().size()) + 1;
    if (IsBlobLike(FDataType)) return static_cast<int>(ValueText().size());
    if (FDataType == ftCursor) return 0;
    UnsupportedTypeError();
}

void TODBCParam::GetData(void* Buffer) const {
    if (IsTextType(FDataType) || FDataType == ftMemo) {
        const String text = ValueText();
        std::memcpy(Buffer, text.c_str(), text.size() + 1);
        return;
    }
    if (FDataType == ftUnknown) UnknownTypeError();
    // The buffer form by the kind of value and its width (FieldTypes).
    const TFieldTypeInfo& info = FieldTypeInfo(FDataType);
    switch (info.Kind) {
        case TValueKind::Integer:
            if (info.DataSize == 2)  // the stored form keeps the low 16 bits; binding checks the range
                Put(Buffer, static_cast<std::uint16_t>(static_cast<std::uint32_t>(FData.AsInteger()) & 0xFFFFu));
            else if (info.DataSize == 4)
                Put(Buffer, FData.AsInteger());
            else
                Put(Buffer, FData.AsInt64());
            return;
        case TValueKind::Boolean:
            Put(Buffer, static_cast<std::uint16_t>(FData.AsBoolean() ? 1 : 0));
            return;
        case TValueKind::Float:
            Put(Buffer, FData.AsDouble());
            return;
        case TValueKind::Decimal: {
            ODBCFMTBCD bcd;
            if (VarType(FData) == varString && ODBCTextToFMTBCD(FData.AsString(), bcd)) {
                std::memcpy(Buffer, &bcd, sizeof bcd);
                return;
            }
            ODBCCurrToFMTBCD(GetAsBCD(), bcd, 32, 4);  // 19 digits always fit 32
            std::memcpy(Buffer, &bcd, sizeof bcd);
            return;
        }
        case TValueKind::Date:
            Put(Buffer, DateTimeToTimeStamp(GetAsDateTime()).Date);
            return;
        case TValueKind::Time:
            Put(Buffer, DateTimeToTimeStamp(GetAsDateTime()).Time);
            return;
        case TValueKind::DateTime:
            Put(Buffer, TimeStampToMSecs(DateTimeToTimeStamp(GetAsDateTime())));
            return;
        case TValueKind::LongText:  // the memo kinds but ftMemo (text, above) travel as bytes
        case TValueKind::Bytes: {
            if (!info.Blob) UnsupportedTypeError();
            const String bytes = ValueText();
            if (!bytes.empty()) std::memcpy(Buffer, bytes.data(), bytes.size());
            return;
        }
        case TValueKind::None:  // ftCursor
        case TValueKind::Text:
            return;
    }
}

void TODBCParam::SetData(const void* Buffer, std::size_t Size) {
    auto fixed = [&](std::size_t needed) {
        if (Size < needed)
            DatabaseErrorFmt("Parameter '%s': %d bytes do not hold its value of %d bytes", FName, Size, needed);
    };
    const char* bytes = static_cast<const char*>(Buffer);
    if (IsTextType(FDataType) || FDataType == ftMemo) {
        const std::size_t length = Size == SIZE_MAX ? std::strlen(bytes) : strnlen(bytes, Size);
        const TFieldType type = FDataType;
        if (type == ftMemo)
            SetAsMemo(String(bytes, length));
        else
            SetAsString(String(bytes, length));
        FDataType = type;  // a text type of its own (ftGuid) keeps it
        return;
    }
    switch (FDataType) {
        case ftUnknown:
            UnknownTypeError();
        case ftSmallint:
            fixed(2);
            SetAsSmallInt(Get<std::int16_t>(bytes));
            return;
        case ftWord:
            fixed(2);
            SetAsWord(Get<std::uint16_t>(bytes));
            return;
        case ftInteger:
            fixed(4);
            SetAsInteger(Get<std::int32_t>(bytes));
            return;
        case ftAutoInc:
            // Written as a 32-bit integer, so read back as one, keeping its type.
            fixed(4);
            SetAsInteger(Get<std::int32_t>(bytes));
            FDataType = ftAutoInc;
            return;
        case ftLargeint:
            fixed(8);
            SetAsLargeInt(Get<std::int64_t>(bytes));
            return;
        case ftBoolean:
            fixed(2);
            SetAsBoolean(Get<std::uint16_t>(bytes) != 0);
            return;
        case ftFloat:
            fixed(8);
            SetAsFloat(Get<double>(bytes));
            return;
        case ftCurrency:
            fixed(8);
            SetAsCurrency(Get<double>(bytes));
            return;
        case ftBCD: {
            fixed(sizeof(ODBCFMTBCD));
            ODBCFMTBCD bcd;
            std::memcpy(&bcd, bytes, sizeof bcd);
            Currency value;
            const String text = ODBCFMTBCDToText(bcd);
            if (ODBCFMTBCDToCurr(bcd, value) && ExactAsCurrency(text)) {
                SetAsBCD(value);
            } else {
                // Digits the currency type cannot hold exactly stay as text.
                SetAsBCD(Currency());
                if (!text.empty()) FData = Variant(text);
            }
            return;
        }
        case ftDate: {
            fixed(4);
            TTimeStamp ts;
            ts.Date = Get<std::int32_t>(bytes);
            ts.Time = 0;
            SetAsDate(TimeStampToDateTime(ts));
            return;
        }
        case ftTime: {
            fixed(4);
            TTimeStamp ts;
            ts.Date = DateDelta;
            ts.Time = Get<std::int32_t>(bytes);
            SetAsTime(TimeStampToDateTime(ts));
            return;
        }
        case ftDateTime: {
            fixed(8);
            SetAsDateTime(TimeStampToDateTime(MSecsToTimeStamp(Get<double>(bytes))));
            return;
        }
        case ftCursor:
            FData = Variant(std::int32_t{0});
            return;
        default:
            UnsupportedTypeError();
    }
}

bool TODBCParam::RecBufIsRef() const {
    if (HoldsExactText()) return false;
    return FDataType == ftMemo || IsBlobLike(FDataType) || (IsTextType(FDataType) && ValueText().size() > 255);
}

int TODBCParam::RecBufDataSize() const {
    if (HoldsExactText()) return static_cast<int>(ValueText().size()) + 1;
    if (IsTextType(FDataType)) {
        const std::size_t length = ValueText().size();
        return length > 255 ? kParamRefSize : static_cast<int>(length) + 1;
    }
    switch (FDataType) {
        case ftUnknown:
            UnknownTypeError();
        case ftMemo:
        case ftBlob:
        case ftGraphic:
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
            return kParamRefSize;
        case ftBytes:
        case ftVarBytes:
        case ftTypedBinary:
            UnsupportedTypeError();
        default:
            return GetDataSize();
    }
}

void TODBCParam::RecBufGetData(void* Buffer) {
    const int size = RecBufDataSize();
    if (FNull) {
        if (size > 0) std::memset(Buffer, 0, static_cast<std::size_t>(size));
        return;
    }
    CheckBindRange();
    if (HoldsExactText()) {
        const String text = ValueText();
        std::memcpy(Buffer, text.c_str(), text.size() + 1);
        return;
    }
    if (RecBufIsRef()) {
        // The reference points at bytes this parameter keeps; they are
        // replaced only when the value's bytes differ, so a parameter written
        // twice (repeated markers) hands out the same address.
        String bytes = ValueText();
        if (bytes != FRefBytes) FRefBytes = std::move(bytes);
        // Field by field: copying the whole structure would copy its
        // padding, and the same value must give the same bytes every time.
        const char* data = FRefBytes.data();
        const auto count = static_cast<std::int32_t>(FRefBytes.size());
        auto* out = static_cast<std::uint8_t*>(Buffer);
        std::memset(out, 0, kParamRefSize);
        std::memcpy(out + offsetof(TODBCParamRef, Data), &data, sizeof data);
        std::memcpy(out + offsetof(TODBCParamRef, Size), &count, sizeof count);
        return;
    }
    GetData(Buffer);
}

void TODBCParam::CheckBindRange() const {
    if (FNull) return;
    int low = 0;
    int high = 0;
    if (FDataType == ftSmallint)
        low = -32768, high = 32767;
    else if (FDataType == ftWord)
        low = 0, high = 65535;
    else
        return;
    const std::int32_t value = FData.AsInteger();
    if (value < low || value > high) DatabaseErrorFmt(SParamOutOfRange, FName, IntToStr(value), low, high);
}

// ============================================================================
// TODBCParams
// ============================================================================

TODBCParams::TODBCParams() = default;

TODBCParams::~TODBCParams() { Clear(); }

void TODBCParams::Assign(TPersistent* Source) {
    if (auto* source = dynamic_cast<TODBCParams*>(Source)) {
        if (source == this) return;
        Clear();
        for (int i = 0; i < source->Count(); ++i) {
            auto* param = new TODBCParam(this, ptUnknown);
            param->Assign(source->GetParam(i));
        }
        return;
    }
    TPersistent::Assign(Source);
}

void TODBCParams::AssignTo(TPersistent* Dest) {
    if (auto* dest = dynamic_cast<TODBCParams*>(Dest)) {
        dest->Assign(this);
        return;
    }
    TPersistent::AssignTo(Dest);
}

void TODBCParams::DefineProperties(TFiler& Filer) {
    TPersistent::DefineProperties(Filer);
    bool hasData;
    if (TPersistent* ancestor = Filer.Ancestor()) {
        auto* ancestorList = dynamic_cast<TODBCParams*>(ancestor);
        hasData = !ancestorList || !IsEqual(ancestorList);
    } else {
        hasData = Count() > 0;
    }
    Filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadBinaryData(s); }, [this](TStream& s) { WriteBinaryData(s); }, hasData);
}

void TODBCParams::AddParam(TODBCParam* Value) {
    FItems.push_back(Value);
    Value->FParamList = this;
}

void TODBCParams::RemoveParam(TODBCParam* Value) {
    for (auto it = FItems.begin(); it != FItems.end(); ++it) {
        if (*it == Value) {
            FItems.erase(it);
            break;
        }
    }
    Value->FParamList = nullptr;
}

TODBCParam* TODBCParams::CreateParam(TFieldType FldType, const String& ParamName, TODBCParamType ParamType,
                                     const String& ColumnName) {
    auto* param = new TODBCParam(this, ParamType);
    param->FName = ParamName;
    param->SetDataType(FldType);
    param->FColumnName = ColumnName;
    return param;
}

void TODBCParams::Clear() {
    while (!FItems.empty()) FItems.back()->Free();  // each removes itself
}

TODBCParam* TODBCParams::Entry(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<std::size_t>(Index)];
}

TODBCParam* TODBCParams::GetParam(int Index) const { return ParamByName(Entry(Index)->FName); }

TODBCParam* TODBCParams::FindParam(const String& Value) const {
    for (TODBCParam* param : FItems)
        if (AnsiCompareText(param->FName, Value) == 0) return param;
    return nullptr;
}

TODBCParam* TODBCParams::ParamByName(const String& Value) const {
    TODBCParam* param = FindParam(Value);
    if (!param) DatabaseErrorFmt(SParameterNotFound, Value);
    return param;
}

bool TODBCParams::IsEqual(const TODBCParams* Value) const {
    if (!Value || Count() != Value->Count()) return false;
    for (int i = 0; i < Count(); ++i)
        if (!GetParam(i)->IsEqual(Value->GetParam(i))) return false;
    return true;
}

void TODBCParams::AssignValues(const TODBCParams* Value) {
    if (!Value) return;
    for (int i = 0; i < Count(); ++i) {
        TODBCParam* param = GetParam(i);
        for (int j = 0; j < Value->Count(); ++j) {
            TODBCParam* source = Value->GetParam(j);
            if (source->FName == param->FName) {
                param->Assign(source);
                break;
            }
        }
    }
}

void TODBCParams::GetParamList(TList& List, const String& ParamNames) const {
    for (const String& name : SplitNames(ParamNames)) List.Add(ParamByName(name));
}

Variant TODBCParams::GetParamValue(const String& ParamName) const {
    if (ParamName.find(';') == String::npos) return ParamByName(ParamName)->GetAsVariant();
    TList params;
    GetParamList(params, ParamName);
    Variant result = VarArrayCreate(0, params.Count() - 1, varVariant);
    for (int i = 0; i < params.Count(); ++i)
        result.PutElement(i, static_cast<TODBCParam*>(params.Get(i))->GetAsVariant());
    return result;
}

void TODBCParams::SetParamValue(const String& ParamName, const Variant& Value) {
    if (ParamName.find(';') == String::npos) {
        ParamByName(ParamName)->SetAsVariant(Value);
        return;
    }
    TList params;
    GetParamList(params, ParamName);
    for (int i = 0; i < params.Count(); ++i) static_cast<TODBCParam*>(params.Get(i))->SetAsVariant(Value[i]);
}

// ---- stored form ----------------------------------------------------------------

void TODBCParams::ReadBinaryData(TStream& Stream) {
    Clear();
    const std::uint32_t version = ReadUInt(Stream, 2);
    if (version > 2) DatabaseError(SInvalidVersion);
    const int wide = version == 2 ? 4 : 0;  // version 2: four-byte counts, lengths and sizes
    const std::uint32_t count = ReadUInt(Stream, wide ? 4 : 2);
    std::array<std::uint8_t, kMaxStoredParamData> buffer;
    for (std::uint32_t i = 0; i < count; ++i) {
        auto* param = new TODBCParam(this, ptUnknown);
        param->FName = ReadText(Stream, ReadUInt(Stream, wide ? 4 : 1));
        param->FColumnName = ReadText(Stream, ReadUInt(Stream, wide ? 4 : 1));
        param->FParamType = static_cast<TODBCParamType>(ReadUInt(Stream, 1));
        const std::uint32_t type = ReadUInt(Stream, 1);
        // A type code this reader does not know has a value form it cannot
        // tell the size of: refused, never read as something else.
        if (type >= static_cast<std::uint32_t>(kFieldTypeCount)) DatabaseError(SInvalidVersion);
        param->FDataType = static_cast<TFieldType>(type);
        if (param->FDataType != ftUnknown) {
            const std::uint32_t size = ReadUInt(Stream, wide ? 4 : 2);
            if (size > kMaxStoredParamData)
                throw EReadError(Format(SParamDataTooBig, param->FName, kMaxStoredParamData));
            // Zero-filled, so a fixed form stored shorter than it is reads
            // zeros, never the previous record's bytes.
            buffer.fill(0);
            Stream.ReadBuffer(buffer.data(), size);
            if (IsBlobLike(param->FDataType))
                param->SetBlobData(buffer.data(), static_cast<int>(size));
            else
                param->SetData(buffer.data(), buffer.size());
        }
        param->FNull = ReadUInt(Stream, 1) != 0;
        param->FBound = ReadUInt(Stream, 1) != 0;
        // A NULL parameter's stored bytes are those of the integer 0 as its
        // type sees it ("0" for a string); it holds that integer again, as
        // Clear left it when it was written.
        if (param->FNull) param->FData = Variant(std::int32_t{0});
    }
}

void TODBCParams::WriteBinaryData(TStream& Stream) const {
    // Version 1 stores lengths in one byte and the count in two; a list that
    // does not fit is written as version 2, which every reader of the stored
    // form also reads, rather than cut.
    bool wide = FItems.size() > kMaxV1Count;
    for (int i = 0; i < Count() && !wide; ++i) {
        const TODBCParam* param = GetParam(i);
        wide = param->FName.size() > kMaxV1Length || param->FColumnName.size() > kMaxV1Length;
    }
    TMemoryStream out;
    WriteUInt(out, wide ? 2 : static_cast<std::uint32_t>(GetVersion()), 2);
    WriteUInt(out, static_cast<std::uint32_t>(Count()), wide ? 4 : 2);
    std::vector<std::uint8_t> data;
    for (int i = 0; i < Count(); ++i) {
        const TODBCParam* param = GetParam(i);
        WriteUInt(out, static_cast<std::uint32_t>(param->FName.size()), wide ? 4 : 1);
        out.WriteBuffer(param->FName.data(), static_cast<std::int64_t>(param->FName.size()));
        WriteUInt(out, static_cast<std::uint32_t>(param->FColumnName.size()), wide ? 4 : 1);
        out.WriteBuffer(param->FColumnName.data(), static_cast<std::int64_t>(param->FColumnName.size()));
        WriteUInt(out, param->FParamType, 1);
        if (param->FDataType == ftUnknown && param->FNull && param->FBound) {
            // A bound NULL of no type is stored as the NULL string it binds
            // as ("0", the integer 0 as a string sees it), so it reads back
            // bound and sendable.
            WriteUInt(out, ftString, 1);
            WriteUInt(out, 2, wide ? 4 : 2);
            out.WriteBuffer("0", 2);
            WriteUInt(out, 1, 1);
            WriteUInt(out, 1, 1);
            continue;
        }
        WriteUInt(out, static_cast<std::uint32_t>(param->FDataType) & 0xFFu, 1);
        if (param->FDataType != ftUnknown) {
            const int size = param->GetDataSize();
            if (size > kMaxStoredParamData) DatabaseErrorFmt(SParamTooBig, param->FName, kMaxStoredParamData);
            data.assign(static_cast<std::size_t>(size), 0);
            param->GetData(data.data());
            WriteUInt(out, static_cast<std::uint32_t>(size), wide ? 4 : 2);
            out.WriteBuffer(data.data(), size);
        }
        WriteUInt(out, param->FNull ? 1 : 0, 1);
        WriteUInt(out, param->FBound ? 1 : 0, 1);
    }
    Stream.WriteBuffer(out.Memory(), out.Size());
}

}  // namespace velora
