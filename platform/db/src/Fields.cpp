// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TField and the field classes: conversions between the buffer form of each
// type and the As... accessors, text for people, validation and lookup.
#include "velora/db/Fields.h"

#include "velora/db/DBConsts.h"
#include "velora/db/DataSet.h"
#include "velora/classes/Streams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace velora {

static_assert(FieldTypes[ftBCD].DataSize == BCDBufferSize, "the packed decimal's buffer form");

namespace {

/// A zero-filled local buffer of n bytes for one value in buffer form. Values
/// up to 256 bytes (nearly every string column) stay on the stack: fields are
/// read once per record and row, so this sits on the hot path of a scan.
class TValueBuffer {
public:
    explicit TValueBuffer(int n) : FSize(static_cast<std::size_t>(std::max(n, 1))) {
        if (FSize > sizeof FLocal)
            FHeap.assign(FSize, 0);
        else
            std::memset(FLocal, 0, FSize);
    }
    std::uint8_t* Data() { return FHeap.empty() ? FLocal : FHeap.data(); }
    char* Chars() { return reinterpret_cast<char*>(Data()); }
    std::size_t Size() const { return FSize; }

private:
    std::size_t FSize;
    alignas(8) std::uint8_t FLocal[256];
    std::vector<std::uint8_t> FHeap;
};

template <typename T>
T ReadAs(const std::uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}

/// Rounds half to even, like the run-time library's Variant conversions; false when the result does
/// not fit 64 bits.
bool RoundToInt64(double value, std::int64_t& result) {
    if (!std::isfinite(value)) return false;
    double r = std::nearbyint(value);
    if (r < -9223372036854775808.0 || r >= 9223372036854775808.0) return false;
    result = static_cast<std::int64_t>(r);
    return true;
}

/// The locale's decimal point in place of ".".
String LocalizeDecimal(String text) {
    String sep = LocaleDecimalSeparator();
    if (sep == ".") return text;
    std::size_t dot = text.find('.');
    if (dot != String::npos) text.replace(dot, 1, sep);
    return text;
}

}  // namespace

// ---------------------------------------------------------------------------
// TField

TField::TField(TComponent* AOwner) : TComponent(AOwner) { RegisterDBClasses(); }

TField::~TField() {
    // Leave the list first: closing the dataset may destroy its default
    // fields, and this one must not be among them a second time.
    if (TDataSet* ds = FDataSet) {
        ds->FFields->Remove(this);
        FDataSet = nullptr;
        try {
            ds->Close();
        } catch (...) {
            // A failing close while a field goes away is not this field's
            // business; the dataset reports its own errors on the next call.
        }
    }
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FLookupDataSet) FLookupDataSet = nullptr;
}

void TField::CheckInactive() {
    if (FDataSet) FDataSet->CheckInactive();
}

void TField::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) FDataSet->CheckInactive();
    if (Value) {
        Value->CheckInactive();
        Value->FFields->CheckFieldName(FFieldName);
    }
    if (FDataSet) FDataSet->FFields->Remove(this);
    if (Value) Value->FFields->Add(this);
    FDataSet = Value;
}

void TField::SetFieldName(const String& Value) {
    CheckInactive();
    if (FDataSet && !SameText(Value, FFieldName)) FDataSet->FFields->CheckFieldName(Value);
    FFieldName = Value;
    if (FDisplayLabel == Value) FDisplayLabel.clear();
}

void TField::SetFieldKind(TFieldKind Value) {
    if (FFieldKind == Value) return;
    CheckInactive();
    if (Value != fkData && Value != fkInternalCalc && IsBlob())
        DatabaseErrorFmt(DBConsts::SInvalidCalcType, DisplayName());
    FFieldKind = Value;
}

void TField::SetCalculated(bool Value) { SetFieldKind(Value ? fkCalculated : fkData); }

void TField::SetLookup(bool Value) { SetFieldKind(Value ? fkLookup : fkData); }

void TField::SetSize(int Value) {
    CheckInactive();
    CheckTypeSize(Value);
    // A text type of one length (a GUID's) takes that length only.
    const std::uint16_t fixed = FieldTypeInfo(FDataType).FixedSize;
    if (fixed != 0 && Value != fixed) DatabaseError(DBConsts::SInvalidFieldSize);
    FSize = Value;
}

void TField::CheckTypeSize(int Value) const {
    if (Value != 0) DatabaseError(DBConsts::SInvalidFieldSize);
}

int TField::Index() const { return FDataSet ? FDataSet->FFields->IndexOf(this) : -1; }

void TField::SetIndex(int Value) {
    if (!FDataSet) return;
    FDataSet->FFields->SetFieldIndex(this, Value);
    PropertyChanged(true);
}

void TField::SetDisplayLabel(const String& Value) {
    FDisplayLabel = Value == FFieldName ? String() : Value;
    PropertyChanged(true);
}

void TField::SetDisplayWidth(int Value) {
    FDisplayWidth = Value;
    PropertyChanged(true);
}

void TField::SetVisible(bool Value) {
    if (FVisible == Value) return;
    FVisible = Value;
    PropertyChanged(true);
}

void TField::SetAlignment(TAlignment Value) {
    if (FAlignment == Value) return;
    FAlignment = Value;
    PropertyChanged(false);
}

void TField::SetReadOnly(bool Value) {
    if (FReadOnly == Value) return;
    FReadOnly = Value;
    PropertyChanged(true);
}

void TField::PropertyChanged(bool LayoutAffected) {
    if (FDataSet && FDataSet->Active()) FDataSet->DataEvent(LayoutAffected ? deLayoutChange : deDataSetChange, 0);
}

String TField::DisplayText() {
    String text;
    if (OnGetText)
        OnGetText(this, text, true);
    else
        GetText(text, true);
    return text;
}

String TField::Text() {
    String text;
    if (OnGetText)
        OnGetText(this, text, false);
    else
        GetText(text, false);
    return text;
}

void TField::SetEditText(const String& Value) {
    if (OnSetText)
        OnSetText(this, Value);
    else
        SetText(Value);
}

void TField::GetText(String& Text, bool /*DisplayText*/) { Text = GetAsString(); }

String TField::GetClassDesc() {
    String name = ClassName();
    std::size_t start = (!name.empty() && name[0] == 'T') ? 1 : 0;
    std::size_t len = name.size();
    if (len - start >= 5 && SameText(name.substr(len - 5), "Field")) len -= 5;
    String desc = "(" + name.substr(start, len - start) + ")";
    return IsNull() ? desc : UpperCase(desc);
}

void TField::AccessError(const char* TypeName) const {
    DatabaseErrorFmt(DBConsts::SFieldAccessError, DisplayName(), TypeName);
}

void TField::RangeError(const String& Value, const String& Min, const String& Max) const {
    DatabaseErrorFmt(DBConsts::SFieldRangeError, Value, DisplayName(), Min, Max);
}

String TField::GetAsString() { return GetClassDesc(); }
std::int32_t TField::GetAsInteger() { AccessError("Integer"); }
std::int64_t TField::GetAsLargeInt() {
    const Variant v = GetAsVariant();
    return v.IsNull() ? 0 : v.AsInt64();
}
double TField::GetAsFloat() { AccessError("Float"); }
Currency TField::GetAsCurrency() { return Currency::FromDouble(GetAsFloat()); }
bool TField::GetAsBoolean() { AccessError("Boolean"); }
TDateTime TField::GetAsDateTime() { AccessError("DateTime"); }
Variant TField::GetAsVariant() { AccessError("Variant"); }

void TField::SetAsString(const String&) { AccessError("String"); }
void TField::SetAsInteger(std::int32_t) { AccessError("Integer"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
void TField::SetAsCurrency(Currency Value) { SetAsFloat(Value.ToDouble()); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
void TField::SetVarValue(const Variant&) { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& Value) {
    if (Value.IsNull() || Value.IsEmpty())
        Clear();
    else
        SetVarValue(Value);
}

Variant TField::OldValue() {
    if (!FDataSet) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    return FDataSet->GetStateFieldValue(dsOldValue, this);
}

Variant TField::NewValue() {
    if (!FDataSet) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    return FDataSet->GetStateFieldValue(dsNewValue, this);
}

void TField::SetNewValue(const Variant& Value) {
    if (!FDataSet) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    FDataSet->SetStateFieldValue(dsNewValue, this, Value);
}

bool TField::GetData(void* Buffer) {
    if (!FDataSet) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    if (FValidating) {
        bool hasValue = FValueBuffer != nullptr;
        if (hasValue && Buffer) std::memcpy(Buffer, FValueBuffer, static_cast<std::size_t>(GetDataSize()));
        return hasValue;
    }
    return FDataSet->GetFieldData(this, Buffer);
}

bool TField::GetDataInto(void* Buffer, int Size) {
    std::memset(Buffer, 0, static_cast<std::size_t>(Size));
    return GetData(Buffer);
}

void TField::SetData(const void* Buffer) {
    if (!FDataSet) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    const void* saved = FValueBuffer;
    FValueBuffer = Buffer;
    try {
        FDataSet->SetFieldData(this, Buffer);
    } catch (...) {
        FValueBuffer = saved;
        throw;
    }
    FValueBuffer = saved;
}

void TField::Validate(const void* Buffer) {
    if (!OnValidate) return;
    const void* saved = FValueBuffer;
    FValueBuffer = Buffer;
    FValidating = true;
    try {
        OnValidate(this);
    } catch (...) {
        FValidating = false;
        FValueBuffer = saved;
        throw;
    }
    FValidating = false;
    FValueBuffer = saved;
}

bool TField::CanModify() {
    return !FReadOnly && (FFieldKind == fkData || FFieldKind == fkInternalCalc) && FDataSet && FDataSet->Active() &&
           FDataSet->CanModify();
}

void TField::FocusControl() {
    if (!FDataSet || !FDataSet->Active()) return;
    TField* field = this;
    FDataSet->DataEvent(deFocusControl, reinterpret_cast<std::intptr_t>(&field));
}

void TField::SetLookupDataSet(TDataSet* Value) {
    if (Value == FLookupDataSet) return;
    CheckInactive();
    if (FLookupDataSet) RemoveFreeNotification(FLookupDataSet);
    FLookupDataSet = Value;
    if (FLookupDataSet) FreeNotification(FLookupDataSet);
}

void TField::SetKeyFields(const String& Value) {
    CheckInactive();
    FKeyFields = Value;
}

void TField::SetLookupKeyFields(const String& Value) {
    CheckInactive();
    FLookupKeyFields = Value;
}

void TField::SetLookupResultField(const String& Value) {
    CheckInactive();
    FLookupResultField = Value;
}

void TField::Bind(bool Binding) {
    if (FFieldKind != fkLookup || !Binding) return;
    if (!FLookupDataSet || FKeyFields.empty() || FLookupKeyFields.empty() || FLookupResultField.empty())
        DatabaseErrorFmt(DBConsts::SLookupInfoError, DisplayName());
    FDataSet->CheckFieldNames(FKeyFields);
    FLookupDataSet->Open();
    FLookupDataSet->CheckFieldNames(FLookupKeyFields);
    FLookupDataSet->FieldByName(FLookupResultField);
}

void TField::CalcLookupValue() {
    if (!FLookupDataSet || !FLookupDataSet->Active()) return;
    Variant keys = FDataSet->FieldValues(FKeyFields);
    SetAsVariant(FLookupDataSet->Lookup(FLookupKeyFields, keys, FLookupResultField));
}

void TField::Change() {
    if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TStringField

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftString);
    InitSize(20);
}

void TStringField::CheckTypeSize(int Value) const {
    if (Value < 1 || Value > 65535) DatabaseError(DBConsts::SInvalidFieldSize);
}

bool TStringField::GetValue(String& Value) {
    FReadBuffer.assign(static_cast<std::size_t>(std::max(GetDataSize(), 1)), 0);
    char* chars = reinterpret_cast<char*>(FReadBuffer.data());
    if (!GetData(chars)) return false;
    if (FTransliterate && DataSet()) DataSet()->Translate(chars, chars, false);
    Value.assign(chars, strnlen(chars, static_cast<std::size_t>(Size())));
    return true;
}

String TStringField::GetAsString() {
    String value;
    bool isNull = false;
    if (!Validating() && DataSet() && DataSet()->GetFieldExactText(this, value, isNull)) {
        if (isNull) value.clear();
        return value;
    }
    GetValue(value);
    return value;
}

std::int32_t TStringField::GetAsInteger() {
    String text = GetAsString();
    long long v = 0;
    if (!TryStrToInt(text, v) || v < INT32_MIN || v > INT32_MAX)
        DatabaseErrorFmt(DBConsts::SInvalidIntegerValue, text, DisplayName());
    return static_cast<std::int32_t>(v);
}

double TStringField::GetAsFloat() {
    String text = GetAsString();
    double v = 0;
    if (!TryStrToFloat(text, v)) DatabaseErrorFmt(DBConsts::SInvalidFloatValue, text, DisplayName());
    return v;
}

bool TStringField::GetAsBoolean() {
    String text = GetAsString();
    return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

TDateTime TStringField::GetAsDateTime() {
    String text = GetAsString();
    TDateTime v = 0;
    if (!TryStrToDateTime(text, v)) DatabaseErrorFmt(DBConsts::SInvalidDateTimeValue, text, DisplayName());
    return v;
}

Variant TStringField::GetAsVariant() {
    String value;
    if (!GetValue(value)) return Null();
    return Variant(std::move(value));
}

void TStringField::GetText(String& Text, bool /*DisplayText*/) { Text = GetAsString(); }

void TStringField::SetAsString(const String& Value) {
    TValueBuffer buf(GetDataSize());
    std::size_t n = Value.size();
    std::size_t zero = Value.find('\0');
    // Never cut: a cut could end inside a UTF-8 sequence and store text that
    // is not the value.
    if (std::min(n, zero) > static_cast<std::size_t>(Size()))
        DatabaseErrorFmt("Value of %d bytes is too long for field '%s' of size %d", static_cast<int>(Value.size()),
                         DisplayName(), Size());
    if (zero != String::npos) n = std::min(n, zero);
    std::memcpy(buf.Data(), Value.data(), n);
    if (FTransliterate && DataSet()) DataSet()->Translate(buf.Chars(), buf.Chars(), true);
    SetData(buf.Data());
}

void TStringField::SetAsInteger(std::int32_t Value) { SetAsString(IntToStr(Value)); }
void TStringField::SetAsFloat(double Value) { SetAsString(FloatToStr(Value)); }
void TStringField::SetAsBoolean(bool Value) { SetAsString(Value ? "T" : "F"); }
void TStringField::SetAsDateTime(TDateTime Value) { SetAsString(DateTimeToStr(Value)); }
void TStringField::SetVarValue(const Variant& Value) { SetAsString(Value.AsString()); }

// ---------------------------------------------------------------------------
// Integer fields

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftInteger); }

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
    SetDataType(ftSmallint);
    FMinRange = INT16_MIN;
    FMaxRange = INT16_MAX;
}

TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
    SetDataType(ftWord);
    FMinRange = 0;
    FMaxRange = UINT16_MAX;
}

TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) { SetDataType(ftAutoInc); }

bool TIntegerField::GetValue(std::int32_t& Value) {
    std::uint8_t buf[8];
    if (!GetDataInto(buf, sizeof buf)) return false;
    const TFieldTypeInfo& info = FieldTypeInfo(DataType());
    if (info.DataSize == 2)
        Value = info.Signed ? ReadAs<std::int16_t>(buf) : ReadAs<std::uint16_t>(buf);
    else
        Value = ReadAs<std::int32_t>(buf);
    return true;
}

String TIntegerField::GetAsString() {
    std::int32_t v = 0;
    return GetValue(v) ? IntToStr(v) : String();
}

std::int32_t TIntegerField::GetAsInteger() {
    std::int32_t v = 0;
    GetValue(v);
    return v;
}

double TIntegerField::GetAsFloat() { return GetAsInteger(); }

Variant TIntegerField::GetAsVariant() {
    std::int32_t v = 0;
    if (!GetValue(v)) return Null();
    const TFieldTypeInfo& info = FieldTypeInfo(DataType());
    if (info.DataSize == 2 && info.Signed) return Variant(static_cast<std::int16_t>(v));
    return Variant(v);
}

void TIntegerField::GetText(String& Text, bool /*DisplayText*/) { Text = GetAsString(); }

void TIntegerField::CheckRange(std::int64_t Value) const {
    std::int64_t lo = FMinRange, hi = FMaxRange;
    if (FMinValue != 0 || FMaxValue != 0) {
        lo = std::max<std::int64_t>(lo, FMinValue);
        hi = std::min<std::int64_t>(hi, FMaxValue);
    }
    if (Value < lo || Value > hi) RangeError(IntToStr(Value), IntToStr(lo), IntToStr(hi));
}

void TIntegerField::SetAsInteger(std::int32_t Value) {
    CheckRange(Value);
    std::uint8_t buf[4] = {};
    // A 16-bit form keeps the low 16 bits (the range check above admits
    // only values of its type).
    if (FieldTypeInfo(DataType()).DataSize == 2) {
        const auto v = static_cast<std::uint16_t>(static_cast<std::uint32_t>(Value) & 0xFFFFu);
        std::memcpy(buf, &v, sizeof v);
    } else {
        std::memcpy(buf, &Value, sizeof Value);
    }
    SetData(buf);
}

void TIntegerField::SetAsFloat(double Value) {
    std::int64_t v = 0;
    if (!RoundToInt64(Value, v)) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    CheckRange(v);
    SetAsInteger(static_cast<std::int32_t>(v));
}

void TIntegerField::SetAsString(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    long long v = 0;
    if (!TryStrToInt(Value, v)) DatabaseErrorFmt(DBConsts::SInvalidIntegerValue, Value, DisplayName());
    CheckRange(v);
    SetAsInteger(static_cast<std::int32_t>(v));
}

void TIntegerField::SetVarValue(const Variant& Value) { SetAsInteger(Value.AsInteger()); }

// ---------------------------------------------------------------------------
// TLargeintField

TLargeintField::TLargeintField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftLargeint); }

bool TLargeintField::GetValue(std::int64_t& Value) {
    std::uint8_t buf[8];
    if (!GetDataInto(buf, sizeof buf)) return false;
    Value = ReadAs<std::int64_t>(buf);
    return true;
}

String TLargeintField::GetAsString() {
    std::int64_t v = 0;
    return GetValue(v) ? IntToStr(static_cast<long long>(v)) : String();
}

std::int64_t TLargeintField::GetAsLargeInt() {
    std::int64_t v = 0;
    GetValue(v);
    return v;
}

std::int32_t TLargeintField::GetAsInteger() {
    const std::int64_t v = GetAsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX)
        RangeError(IntToStr(static_cast<long long>(v)), IntToStr(INT32_MIN), IntToStr(INT32_MAX));
    return static_cast<std::int32_t>(v);
}

double TLargeintField::GetAsFloat() { return static_cast<double>(GetAsLargeInt()); }

Variant TLargeintField::GetAsVariant() {
    std::int64_t v = 0;
    if (!GetValue(v)) return Null();
    return Variant(v);
}

void TLargeintField::SetAsLargeInt(std::int64_t Value) { SetData(&Value); }

void TLargeintField::SetAsFloat(double Value) {
    std::int64_t v = 0;
    if (!RoundToInt64(Value, v)) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    SetAsLargeInt(v);
}

void TLargeintField::SetAsString(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    long long v = 0;
    if (!TryStrToInt(Value, v)) DatabaseErrorFmt(DBConsts::SInvalidIntegerValue, Value, DisplayName());
    SetAsLargeInt(v);
}

// ---------------------------------------------------------------------------
// TFloatField, TCurrencyField

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) { SetDataType(ftFloat); }

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
    SetDataType(ftCurrency);
    SetCurrency(true);
}

void TFloatField::SetCurrency(bool Value) {
    if (FCurrency == Value) return;
    FCurrency = Value;
    PropertyChanged(false);
}

void TFloatField::SetPrecision(int Value) {
    Value = std::clamp(Value, 2, 15);
    if (FPrecision == Value) return;
    FPrecision = Value;
    PropertyChanged(false);
}

bool TFloatField::GetValue(double& Value) {
    std::uint8_t buf[8];
    if (!GetDataInto(buf, sizeof buf)) return false;
    Value = ReadAs<double>(buf);
    return true;
}

String TFloatField::GetAsString() {
    String text;
    bool isNull = false;
    if (!Validating() && DataSet() && DataSet()->GetFieldExactText(this, text, isNull)) return isNull ? String() : text;
    double v = 0;
    if (!GetValue(v)) return String();
    // Fifteen digits name another double for some values (1.7976931348623157E308
    // would read back as beyond the range): then seventeen, which name every
    // double, so the text reads and writes back as the value stored.
    text = FloatToStr(v);
    double back = 0;
    if (!TryStrToFloat(text, back) || back != v) text = FloatToStrF(v, ffGeneral, 17, 0);
    return text;
}

double TFloatField::GetAsFloat() {
    double v = 0;
    GetValue(v);
    return v;
}

std::int32_t TFloatField::GetAsInteger() {
    std::int64_t v = 0;
    if (!RoundToInt64(GetAsFloat(), v) || v < INT32_MIN || v > INT32_MAX)
        DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    return static_cast<std::int32_t>(v);
}

Currency TFloatField::GetAsCurrency() {
    Currency c;
    if (!Currency::TryFromDouble(GetAsFloat(), c)) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    return c;
}

Variant TFloatField::GetAsVariant() {
    double v = 0;
    if (!GetValue(v)) return Null();
    return Variant(v);
}

void TFloatField::GetText(String& Text, bool DisplayText) {
    double v = 0;
    if (!GetValue(v)) {
        Text.clear();
        return;
    }
    if (FCurrency)
        Text = LocaleFloatToStrF(v, DisplayText ? ffCurrency : ffFixed, FPrecision, 2);
    else
        Text = LocaleFloatToStrF(v, ffGeneral, FPrecision, 0);
}

void TFloatField::SetAsFloat(double Value) {
    if ((FMinValue != 0 || FMaxValue != 0) && (Value < FMinValue || Value > FMaxValue))
        RangeError(FloatToStr(Value), FloatToStr(FMinValue), FloatToStr(FMaxValue));
    SetData(&Value);
}

void TFloatField::SetAsString(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    if (DataSet() && DataSet()->SetFieldExactText(this, Value)) return;
    double v = 0;
    if (!TryStrToFloat(Value, v)) DatabaseErrorFmt(DBConsts::SInvalidFloatValue, Value, DisplayName());
    SetAsFloat(v);
}

void TFloatField::SetText(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    double v = 0;
    if (!TryLocaleStrToFloat(Value, v)) DatabaseErrorFmt(DBConsts::SInvalidFloatValue, Value, DisplayName());
    SetAsFloat(v);
}

void TFloatField::SetVarValue(const Variant& Value) { SetAsFloat(Value.AsDouble()); }

// ---------------------------------------------------------------------------
// TBCDField

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
    SetDataType(ftBCD);
    InitSize(4);
}

void TBCDField::CheckTypeSize(int Value) const {
    if (Value < 0 || Value > 63) DatabaseError(DBConsts::SInvalidFieldSize);
}

void TBCDField::SetPrecision(int Value) { FPrecision = std::clamp(Value, 0, 64); }

bool TBCDField::GetValue(Currency& Value) {
    std::uint8_t buf[BCDBufferSize];
    if (!GetDataInto(buf, sizeof buf)) return false;
    if (!DataSet()->BCDToCurr(buf, Value)) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    return true;
}

String TBCDField::GetAsString() {
    Currency c;
    return GetValue(c) ? CurrToStr(c) : String();
}

Currency TBCDField::GetAsCurrency() {
    Currency c;
    GetValue(c);
    return c;
}

double TBCDField::GetAsFloat() { return GetAsCurrency().ToDouble(); }

std::int32_t TBCDField::GetAsInteger() {
    std::int64_t units = GetAsCurrency().Units();
    std::int64_t q = units / Currency::Scale, r = units % Currency::Scale;
    // Half to even on the whole part.
    std::int64_t twice = 2 * (r < 0 ? -r : r);
    if (twice > Currency::Scale || (twice == Currency::Scale && (q % 2) != 0)) q += units < 0 ? -1 : 1;
    if (q < INT32_MIN || q > INT32_MAX) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    return static_cast<std::int32_t>(q);
}

Variant TBCDField::GetAsVariant() {
    Currency c;
    if (!GetValue(c)) return Null();
    return Variant(c);
}

void TBCDField::GetText(String& Text, bool /*DisplayText*/) {
    Currency c;
    if (!GetValue(c)) {
        Text.clear();
        return;
    }
    Text = LocalizeDecimal(CurrToStr(c));
}

void TBCDField::SetAsCurrency(Currency Value) {
    std::uint8_t buf[BCDBufferSize] = {};
    if (!DataSet()) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    if (!DataSet()->CurrToBCD(Value, buf, FPrecision > 0 ? FPrecision : 32, Size()))
        DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    SetData(buf);
}

void TBCDField::SetAsString(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    Currency c;
    if (!TryStrToCurr(Value, c)) DatabaseErrorFmt(DBConsts::SInvalidFloatValue, Value, DisplayName());
    SetAsCurrency(c);
}

void TBCDField::SetVarValue(const Variant& Value) { SetAsCurrency(Value.AsCurrency()); }

// ---------------------------------------------------------------------------
// TBooleanField

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {
    SetDataType(ftBoolean);
    FTextValues[0] = DBConsts::STextFalse;
    FTextValues[1] = DBConsts::STextTrue;
}

void TBooleanField::SetDisplayValues(const String& Value) {
    FDisplayValues = Value;
    if (Value.empty()) {
        FTextValues[0] = DBConsts::STextFalse;
        FTextValues[1] = DBConsts::STextTrue;
    } else {
        std::size_t semi = Value.find(';');
        FTextValues[1] = Value.substr(0, semi);
        FTextValues[0] = semi == String::npos ? String() : Value.substr(semi + 1);
    }
    PropertyChanged(true);
}

bool TBooleanField::GetValue(bool& Value) {
    std::uint8_t buf[2];
    if (!GetDataInto(buf, sizeof buf)) return false;
    Value = buf[0] != 0 || buf[1] != 0;
    return true;
}

String TBooleanField::GetAsString() {
    bool v = false;
    return GetValue(v) ? FTextValues[v ? 1 : 0] : String();
}

bool TBooleanField::GetAsBoolean() {
    bool v = false;
    GetValue(v);
    return v;
}

Variant TBooleanField::GetAsVariant() {
    bool v = false;
    if (!GetValue(v)) return Null();
    return Variant(v);
}

void TBooleanField::GetText(String& Text, bool /*DisplayText*/) { Text = GetAsString(); }

void TBooleanField::SetAsBoolean(bool Value) {
    // 1 rather than all bits set: drivers take a bit column's value from the
    // first byte and accept only 0 and 1.
    std::int16_t v = Value ? 1 : 0;
    SetData(&v);
}

void TBooleanField::SetAsString(const String& Value) {
    if (Value.empty()) {
        if (FTextValues[0].empty())
            SetAsBoolean(false);
        else if (FTextValues[1].empty())
            SetAsBoolean(true);
        else
            Clear();
        return;
    }
    auto starts = [&](const String& text) {
        return Value.size() <= text.size() && AnsiCompareText(Value, text.substr(0, Value.size())) == 0;
    };
    if (starts(FTextValues[0]))
        SetAsBoolean(false);
    else if (starts(FTextValues[1]))
        SetAsBoolean(true);
    else
        DatabaseErrorFmt(DBConsts::SInvalidBoolValue, Value, DisplayName());
}

void TBooleanField::SetVarValue(const Variant& Value) { SetAsBoolean(Value.AsBoolean()); }

// ---------------------------------------------------------------------------
// Date and time fields

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftDateTime); }

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftDate); }

TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) { SetDataType(ftTime); }

bool TDateTimeField::GetValue(TDateTime& Value) {
    std::uint8_t buf[8];
    if (!GetDataInto(buf, sizeof buf)) return false;
    TTimeStamp ts;
    try {
        switch (DataType()) {
            case ftDate:
                ts.Date = ReadAs<std::int32_t>(buf);
                ts.Time = 0;
                break;
            case ftTime:
                ts.Date = DateDelta;
                ts.Time = ReadAs<std::int32_t>(buf);
                break;
            default:
                ts = MSecsToTimeStamp(ReadAs<double>(buf));
                break;
        }
        Value = TimeStampToDateTime(ts);
    } catch (const EConvertError&) {
        // A buffer that holds no valid moment is reported, not shown as a
        // date that was never stored.
        DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    }
    return true;
}

String TDateTimeField::GetAsString() {
    // A dataset that holds the value whole answers with its text, the
    // fraction of a second to the microsecond and beyond included.
    String text;
    bool isNull = false;
    if (!Validating() && DataSet() && DataSet()->GetFieldExactText(this, text, isNull)) return isNull ? String() : text;
    TDateTime v = 0;
    if (!GetValue(v)) return String();
    switch (DataType()) {
        case ftDate:
            return DateToStr(v);
        case ftTime:
            return TimeToStr(v);
        default:
            return DateTimeToStr(v);
    }
}

double TDateTimeField::GetAsFloat() { return GetAsDateTime(); }

TDateTime TDateTimeField::GetAsDateTime() {
    TDateTime v = 0;
    GetValue(v);
    return v;
}

Variant TDateTimeField::GetAsVariant() {
    TDateTime v = 0;
    if (!GetValue(v)) return Null();
    return Variant::FromDateTime(v);
}

void TDateTimeField::GetText(String& Text, bool /*DisplayText*/) { Text = GetAsString(); }

void TDateTimeField::SetAsDateTime(TDateTime Value) {
    TTimeStamp ts = DateTimeToTimeStamp(Value);
    std::uint8_t buf[8] = {};
    switch (DataType()) {
        case ftDate:
            std::memcpy(buf, &ts.Date, sizeof ts.Date);
            break;
        case ftTime:
            std::memcpy(buf, &ts.Time, sizeof ts.Time);
            break;
        default: {
            double ms = TimeStampToMSecs(ts);
            std::memcpy(buf, &ms, sizeof ms);
            break;
        }
    }
    SetData(buf);
}

void TDateTimeField::SetAsString(const String& Value) {
    if (Trim(Value).empty()) {
        Clear();
        return;
    }
    if (DataSet() && DataSet()->SetFieldExactText(this, Value)) return;
    TDateTime v = 0;
    bool ok = false;
    switch (DataType()) {
        case ftDate:
            ok = TryStrToDate(Value, v);
            break;
        case ftTime:
            ok = TryStrToTime(Value, v);
            break;
        default:
            ok = TryStrToDateTime(Value, v);
            break;
    }
    if (!ok) DatabaseErrorFmt(DBConsts::SInvalidDateTimeValue, Value, DisplayName());
    SetAsDateTime(v);
}

void TDateTimeField::SetVarValue(const Variant& Value) { SetAsDateTime(Value.AsDateTime()); }

// ---------------------------------------------------------------------------
// Binary fields

TBinaryField::TBinaryField(TComponent* AOwner) : TField(AOwner) {}

TBytesField::TBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
    SetDataType(ftBytes);
    InitSize(16);
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBinaryField(AOwner) {
    SetDataType(ftVarBytes);
    InitSize(16);
}

void TBinaryField::CheckTypeSize(int Value) const {
    if (Value < 1 || Value > 65535) DatabaseError(DBConsts::SInvalidFieldSize);
}

namespace {

/// The whole value where the data set holds one longer than the field's
/// size (a data source that does not keep to declared sizes).
bool WholeBytes(TField& field, String& value, bool& present) {
    bool isNull = false;
    if (!field.DataSet() || !field.DataSet()->GetFieldExactText(&field, value, isNull)) return false;
    present = !isNull;
    return true;
}

}  // namespace

bool TBinaryField::GetBytes(String& Value) {
    if (bool present = false; !Validating() && WholeBytes(*this, Value, present)) return present;
    TValueBuffer buf(GetDataSize());
    if (!GetData(buf.Data())) return false;
    Value.assign(buf.Chars(), static_cast<std::size_t>(Size()));
    return true;
}

namespace {

/// Binary values are stored whole or refused, never cut.
void CheckBinarySize(const TField& field, std::size_t size) {
    if (size > static_cast<std::size_t>(field.Size()))
        DatabaseErrorFmt("Value of %d bytes is too long for field '%s' of size %d", static_cast<int>(size),
                         field.DisplayName(), field.Size());
}

}  // namespace

void TBinaryField::SetBytes(const String& Value) {
    CheckBinarySize(*this, Value.size());
    TValueBuffer buf(GetDataSize());
    std::memcpy(buf.Data(), Value.data(), std::min(Value.size(), static_cast<std::size_t>(Size())));
    SetData(buf.Data());
}

bool TVarBytesField::GetBytes(String& Value) {
    if (bool present = false; !Validating() && WholeBytes(*this, Value, present)) return present;
    TValueBuffer buf(GetDataSize());
    if (!GetData(buf.Data())) return false;
    std::size_t len = std::min<std::size_t>(ReadAs<std::uint16_t>(buf.Data()), static_cast<std::size_t>(Size()));
    Value.assign(buf.Chars() + 2, len);
    return true;
}

void TVarBytesField::SetBytes(const String& Value) {
    CheckBinarySize(*this, Value.size());
    TValueBuffer buf(GetDataSize());
    auto len = static_cast<std::uint16_t>(std::min(Value.size(), static_cast<std::size_t>(Size())));
    std::memcpy(buf.Data(), &len, sizeof len);
    std::memcpy(buf.Data() + 2, Value.data(), len);
    SetData(buf.Data());
}

String TBinaryField::GetAsString() {
    String value;
    GetBytes(value);
    return value;
}

void TBinaryField::GetText(String& Text, bool /*DisplayText*/) { Text = GetClassDesc(); }

void TBinaryField::SetAsString(const String& Value) { SetBytes(Value); }

Variant TBinaryField::GetAsVariant() {
    String bytes;
    if (!GetBytes(bytes)) return Null();
    Variant result = VarArrayCreate(0, static_cast<int>(bytes.size()) - 1, varByte);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        result.PutElement(static_cast<int>(i), Variant(static_cast<std::uint8_t>(bytes[i])));
    return result;
}

void TBinaryField::SetVarValue(const Variant& Value) {
    if (!Value.IsArray()) {
        SetBytes(Value.AsString());
        return;
    }
    String bytes;
    for (int i = VarArrayLowBound(Value, 1), hi = VarArrayHighBound(Value, 1); i <= hi; ++i)
        bytes.push_back(static_cast<char>(static_cast<std::uint8_t>(Value[i].AsInteger())));
    SetBytes(bytes);
}

// ---------------------------------------------------------------------------
// BLOB fields

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) { SetDataType(ftBlob); }

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) {
    SetDataType(ftMemo);
    SetTransliterate(true);
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) { SetDataType(ftGraphic); }

void TBlobField::CheckTypeSize(int Value) const {
    if (Value < 0) DatabaseError(DBConsts::SInvalidFieldSize);
}

void TBlobField::SetBlobType(TFieldType Value) {
    if (Value < ftBlob || Value > ftTypedBinary) DatabaseErrorFmt(DBConsts::SFieldValueError, DisplayName());
    CheckInactive();
    SetDataType(Value);
}

std::unique_ptr<TStream> TBlobField::OpenStream(TBlobStreamMode Mode) {
    if (!DataSet()) DatabaseErrorFmt(DBConsts::SDataSetMissing, DisplayName());
    std::unique_ptr<TStream> stream = DataSet()->CreateBlobStream(this, Mode);
    if (!stream) AccessError("Blob");
    if (Mode != bmRead) FNullWritten = false;  // a value is written, if of zero length
    return stream;
}

String TBlobField::GetAsString() {
    String result;
    if (!FModified && DataSet() && DataSet()->GetBlobValue(this, result)) return result;
    std::unique_ptr<TStream> stream = OpenStream(bmRead);
    std::int64_t size = stream->Size();
    result.reserve(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)));
    char chunk[8192];
    for (;;) {
        std::int64_t n = stream->Read(chunk, sizeof chunk);
        if (n <= 0) break;
        result.append(chunk, static_cast<std::size_t>(n));
    }
    return result;
}

void TBlobField::SetAsString(const String& Value) {
    std::unique_ptr<TStream> stream = OpenStream(bmWrite);
    if (!Value.empty()) stream->WriteBuffer(Value.data(), static_cast<std::int64_t>(Value.size()));
}

Variant TBlobField::GetAsVariant() {
    if (IsNull()) return Null();
    return Variant(GetAsString());
}

void TBlobField::Clear() {
    // NULL before the stream's close tells the linked controls.
    std::unique_ptr<TStream> stream = OpenStream(bmWrite);
    FNullWritten = true;
    stream.reset();
}

bool TBlobField::GetIsNull() {
    if (!FModified) return TField::GetIsNull();
    return FNullWritten;
}

void TBlobField::GetText(String& Text, bool /*DisplayText*/) { Text = GetClassDesc(); }

void TBlobField::FreeBuffers() {
    if (!FModified) return;
    if (DataSet()) DataSet()->CloseBlob(this);
    FModified = false;
    FNullWritten = false;
}

void TBlobField::LoadFromStream(TStream& Stream) {
    std::unique_ptr<TStream> blob = OpenStream(bmWrite);
    blob->CopyFrom(Stream, 0);
}

void TBlobField::SaveToStream(TStream& Stream) {
    std::unique_ptr<TStream> blob = OpenStream(bmRead);
    char chunk[8192];
    for (;;) {
        std::int64_t n = blob->Read(chunk, sizeof chunk);
        if (n <= 0) break;
        Stream.WriteBuffer(chunk, n);
    }
}

void TBlobField::LoadFromFile(const String& FileName) {
    TFileStream file(FileName, fmOpenRead);
    LoadFromStream(file);
}

void TBlobField::SaveToFile(const String& FileName) {
    TFileStream file(FileName, fmCreate);
    SaveToStream(file);
}

// ---------------------------------------------------------------------------
// TFields

TFields::~TFields() {
    // Normally empty by now (the dataset destroys its fields first); any
    // field left is detached so that it does not call back into a dataset
    // that is going away.
    std::vector<TField*> list;
    list.swap(FList);
    for (TField* field : list) {
        field->FDataSet = nullptr;
        field->Free();
    }
}

TField* TFields::Fields(int Index) const {
    if (Index < 0 || Index >= Count()) DatabaseError(DBConsts::SFieldIndexError);
    return FList[static_cast<std::size_t>(Index)];
}

int TFields::IndexOf(const TField* Field) const {
    auto it = std::find(FList.begin(), FList.end(), Field);
    return it == FList.end() ? -1 : static_cast<int>(it - FList.begin());
}

TField* TFields::FindField(const String& FieldName) const {
    for (TField* field : FList)
        if (SameText(field->FieldName(), FieldName)) return field;
    return nullptr;
}

TField* TFields::FieldByName(const String& FieldName) const {
    TField* field = FindField(FieldName);
    if (!field) DatabaseErrorFmt(DBConsts::SFieldNotFound, FieldName);
    return field;
}

TField* TFields::FieldByNumber(int FieldNo) const {
    for (TField* field : FList)
        if (field->FieldNo() == FieldNo) return field;
    return nullptr;
}

void TFields::CheckFieldName(const String& FieldName) const {
    if (FieldName.empty()) DatabaseError(DBConsts::SFieldNameMissing);
    if (FindField(FieldName)) DatabaseErrorFmt(DBConsts::SDuplicateFieldName, FieldName);
}

void TFields::CheckFieldNames(const String& FieldNames) const {
    std::size_t pos = 0;
    while (pos < FieldNames.size()) FieldByName(ExtractFieldName(FieldNames, pos));
}

void TFields::GetFieldNames(TStrings& List) const {
    List.BeginUpdate();
    try {
        List.Clear();
        for (TField* field : FList) List.Add(field->FieldName());
    } catch (...) {
        List.EndUpdate();
        throw;
    }
    List.EndUpdate();
}

void TFields::Clear() {
    while (!FList.empty()) {
        TField* field = FList.back();
        field->Free();  // its destructor takes it out of the list
        if (!FList.empty() && FList.back() == field) FList.pop_back();
    }
}

void TFields::Remove(TField* Field) { FList.erase(std::remove(FList.begin(), FList.end(), Field), FList.end()); }

void TFields::SetFieldIndex(TField* Field, int Value) {
    int cur = IndexOf(Field);
    if (cur < 0) return;
    Value = std::clamp(Value, 0, Count() - 1);
    if (cur == Value) return;
    FList.erase(FList.begin() + cur);
    FList.insert(FList.begin() + Value, Field);
}

String ExtractFieldName(const String& Fields, std::size_t& Pos) {
    std::size_t i = Pos;
    while (i < Fields.size() && Fields[i] != ';') ++i;
    String result =
        Trim(std::string_view(Fields).substr(std::min(Pos, Fields.size()), i - std::min(Pos, Fields.size())));
    if (i < Fields.size() && Fields[i] == ';') ++i;
    Pos = i;
    return result;
}

}  // namespace velora
