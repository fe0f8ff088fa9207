// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The field family: TField, the component through which an application reads
// and writes one column of a dataset's current record, and one class per
// field type. A field keeps no value of its own: every read asks the dataset
// (TDataSet::GetFieldData) to copy the value out of the record buffer of the
// dataset's state, and every write hands a value in the field's buffer form
// to TDataSet::SetFieldData; a null buffer pointer stands for NULL.
//
// Buffer forms (what GetFieldData delivers and SetFieldData takes):
//   ftString            Size + 1 bytes, zero-terminated text
//   ftSmallint          int16            ftWord      uint16
//   ftInteger/AutoInc   int32            ftBoolean   int16, nonzero = True
//   ftLargeint          int64
//   ftFloat/ftCurrency  double
//   ftBCD               34-byte packed decimal; the dataset converts it to and
//                       from Currency (TDataSet::BCDToCurr/CurrToBCD)
//   ftDate              int32, the TTimeStamp.Date day count
//   ftTime              int32, milliseconds of the day
//   ftDateTime          double, milliseconds since 0001-01-01 as
//                       TimeStampToMSecs gives them
//   ftBytes             Size bytes       ftVarBytes  uint16 length + Size bytes
//   BLOB types          no buffer form: values go through the dataset's
//                       CreateBlobStream
// Buffers handed to GetFieldData are zero-filled first, so a dataset may
// deliver fewer bytes (a Boolean as one byte) and still be read right.
//
// Text: AsString reads and writes numbers with "." whatever the locale (it is
// the form programs exchange); DisplayText and the edit text (Text,
// SetEditText) are for people and follow the locale's decimal point.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DBTypes.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"
#include "velora/classes/Streams.h"
#include "velora/rtl/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace velora {

class TDataSet;
class TField;
using TFieldNotifyEvent = std::function<void(TField* Sender)>;
/// OnGetText: fill Text; DisplayText tells whether it is for display (True)
/// or for editing.
using TFieldGetTextEvent = std::function<void(TField* Sender, String& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const String& Text)>;

/// Size in bytes of the packed decimal a BCD field's buffer holds.
inline constexpr int BCDBufferSize = 34;

/// One column of a dataset, or a calculated or lookup value.
class TField : public TComponent {
public:
    explicit TField(TComponent* AOwner);
    /// Closes the dataset it belongs to (a bound field must not vanish under
    /// an open dataset) and leaves the dataset's field list.
    ~TField() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;

    // ---- identity -------------------------------------------------------
    TDataSet* DataSet() const { return FDataSet; }
    /// Moves the field to another dataset's field list; both datasets must be
    /// closed, and the name must be free in the new one.
    void SetDataSet(TDataSet* Value);
    const String& FieldName() const { return FFieldName; }
    /// Raises when the dataset is open, or when another field of the dataset
    /// has the name.
    void SetFieldName(const String& Value);
    /// 1-based column number of a bound data field; -1 for calculated and
    /// lookup fields; 0 while unbound.
    int FieldNo() const { return FFieldNo; }
    TFieldType DataType() const { return FDataType; }
    TFieldKind FieldKind() const { return FFieldKind; }
    /// Only while the dataset is closed.
    void SetFieldKind(TFieldKind Value);
    bool Calculated() const { return FFieldKind == fkCalculated; }
    void SetCalculated(bool Value);
    bool Lookup() const { return FFieldKind == fkLookup; }
    void SetLookup(bool Value);
    /// Declared size: characters of a string, bytes of a binary value, the
    /// scale of a BCD value; 0 for the fixed-size types.
    int Size() const { return FSize; }
    /// Only while the dataset is closed; the types without a size accept 0
    /// only.
    void SetSize(int Value);
    /// Calculated and lookup fields: where the field's flag byte lies in the
    /// calculated-field area. BLOB fields: their number among the BLOB fields.
    int Offset() const { return FOffset; }
    /// Bytes of the buffer form (see the file comment): the type's fixed
    /// size from FieldTypes; the sized types answer from their size.
    virtual int GetDataSize() const { return FieldTypeInfo(FDataType).DataSize; }
    int DataSize() const { return GetDataSize(); }
    virtual bool IsBlob() const { return false; }
    /// Position in the dataset's field list, -1 without dataset.
    int Index() const;
    void SetIndex(int Value);

    // ---- presentation ---------------------------------------------------
    /// The label set by SetDisplayLabel, else the field name.
    String DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
    void SetDisplayLabel(const String& Value);
    /// What messages call the field: DisplayLabel.
    String DisplayName() const { return DisplayLabel(); }
    /// Characters a control shows (the type's default unless set).
    int DisplayWidth() const { return FDisplayWidth > 0 ? FDisplayWidth : GetDefaultWidth(); }
    void SetDisplayWidth(int Value);
    /// Form files store DisplayLabel and DisplayWidth only when they were set.
    bool IsDisplayLabelStored() const { return !FDisplayLabel.empty(); }
    bool IsDisplayWidthStored() const { return FDisplayWidth > 0; }
    bool Visible() const { return FVisible; }
    void SetVisible(bool Value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment Value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    /// Post refuses a record where this (data) field is null.
    bool Required() const { return FRequired; }
    void SetRequired(bool Value) { FRequired = Value; }
    /// The value as a person reads it (OnGetText, else GetText(.., True)).
    String DisplayText();
    /// The value as a person edits it (OnGetText, else GetText(.., False)).
    String Text();
    /// Stores text a person typed (OnSetText, else SetText).
    void SetEditText(const String& Value);

    // ---- values -----------------------------------------------------------
    /// True when the field has no value in the current buffer.
    bool IsNull() { return GetIsNull(); }
    /// Stores NULL.
    virtual void Clear() { SetData(nullptr); }
    String AsString() { return GetAsString(); }
    virtual void SetAsString(const String& Value);
    std::int32_t AsInteger() { return GetAsInteger(); }
    virtual void SetAsInteger(std::int32_t Value);
    /// The value as a 64-bit integer (by the variant's rules; 0 when null).
    std::int64_t AsLargeInt() { return GetAsLargeInt(); }
    virtual void SetAsLargeInt(std::int64_t Value) { SetAsVariant(Variant(Value)); }
    double AsFloat() { return GetAsFloat(); }
    virtual void SetAsFloat(double Value);
    Currency AsCurrency() { return GetAsCurrency(); }
    virtual void SetAsCurrency(Currency Value);
    bool AsBoolean() { return GetAsBoolean(); }
    virtual void SetAsBoolean(bool Value);
    TDateTime AsDateTime() { return GetAsDateTime(); }
    virtual void SetAsDateTime(TDateTime Value);
    /// Null when the field is null.
    Variant AsVariant() { return GetAsVariant(); }
    /// Null and Empty clear the field; other values are converted by type.
    void SetAsVariant(const Variant& Value);
    Variant Value() { return GetAsVariant(); }
    void SetValue(const Variant& Value) { SetAsVariant(Value); }
    /// The value before the current edit (the dataset's dsOldValue buffer);
    /// Null when the dataset keeps no such buffer.
    Variant OldValue();
    /// The value in the dataset's dsNewValue buffer.
    Variant NewValue();
    void SetNewValue(const Variant& Value);

    /// Copies the value into Buffer (its buffer form; Buffer may be null to
    /// ask only whether there is one). While OnValidate runs, answers the
    /// value being validated. Raises "Field '%s' has no dataset".
    bool GetData(void* Buffer);
    /// Hands a value in buffer form (null = NULL) to the dataset.
    void SetData(const void* Buffer);
    /// Runs OnValidate with Buffer as the field's value (the dataset calls it
    /// before it stores a value; raising rejects the value).
    virtual void Validate(const void* Buffer);
    /// Not read-only, not a lookup field, and the dataset is open and can
    /// modify.
    bool CanModify();
    /// Asks the data links to focus the control showing this field.
    void FocusControl();

    // ---- lookup ----------------------------------------------------------
    TDataSet* LookupDataSet() const { return FLookupDataSet; }
    void SetLookupDataSet(TDataSet* Value);
    /// Fields of this dataset whose values are looked up ("A;B").
    const String& KeyFields() const { return FKeyFields; }
    void SetKeyFields(const String& Value);
    /// Fields of the lookup dataset matched against KeyFields.
    const String& LookupKeyFields() const { return FLookupKeyFields; }
    void SetLookupKeyFields(const String& Value);
    /// Field of the lookup dataset whose value this field shows.
    const String& LookupResultField() const { return FLookupResultField; }
    void SetLookupResultField(const String& Value);

    // ---- events ------------------------------------------------------------
    TFieldNotifyEvent OnChange;    ///< after a value was stored (not in OnCalcFields)
    TFieldNotifyEvent OnValidate;  ///< before a value is stored; read the field to see it
    TFieldGetTextEvent OnGetText;
    TFieldSetTextEvent OnSetText;

protected:
    virtual String GetAsString();
    virtual std::int32_t GetAsInteger();
    virtual std::int64_t GetAsLargeInt();
    virtual double GetAsFloat();
    virtual Currency GetAsCurrency();
    virtual bool GetAsBoolean();
    virtual TDateTime GetAsDateTime();
    virtual Variant GetAsVariant();
    /// A value that is neither Null nor Empty, converted to the field's type.
    virtual void SetVarValue(const Variant& Value);
    virtual bool GetIsNull() { return !GetData(nullptr); }
    /// The text of the value; the default is the class description
    /// ("(Blob)", upper case when the field has a value).
    virtual void GetText(String& Text, bool DisplayText);
    /// Stores edited text; the default is SetAsString.
    virtual void SetText(const String& Value) { SetAsString(Value); }
    /// Called by BindFields; lookup fields check their lookup information
    /// and open the lookup dataset.
    virtual void Bind(bool Binding);
    /// After post, cancel and close (BLOB fields release their state).
    virtual void FreeBuffers() {}
    /// The type's default width from FieldTypes; 0 there means the size.
    virtual int GetDefaultWidth() const {
        const int width = FieldTypeInfo(FDataType).DefaultWidth;
        return width > 0 ? width : FSize;
    }
    /// Raises unless Value is a valid size for the type.
    virtual void CheckTypeSize(int Value) const;
    /// Sets the type and the alignment its values are shown with (numbers
    /// right-aligned, FieldTypes' RightJustify).
    void SetDataType(TFieldType Value) {
        FDataType = Value;
        FAlignment = FieldTypeInfo(Value).RightJustify ? taRightJustify : taLeftJustify;
    }
    /// The default size a field class starts with (no checks).
    void InitSize(int Value) { FSize = Value; }
    [[noreturn]] void AccessError(const char* TypeName) const;
    [[noreturn]] void RangeError(const String& Value, const String& Min, const String& Max) const;
    /// Tells the open dataset's links that the layout (or the data) changed.
    void PropertyChanged(bool LayoutAffected);
    void CheckInactive();
    /// "(Blob)" from the class name; upper case when the field is not null.
    String GetClassDesc();
    /// Reads the value of the buffer form into a zero-filled local buffer.
    bool GetDataInto(void* Buffer, int Size);
    /// True while OnValidate runs: the value being stored is read from its
    /// buffer, not from the record.
    bool Validating() const { return FValidating; }

private:
    friend class TDataSet;
    friend class TFields;
    friend class TFieldDef;
    /// Sets this lookup field from the lookup dataset (during calculation).
    void CalcLookupValue();
    void Change();

    TDataSet* FDataSet = nullptr;
    String FFieldName;
    String FDisplayLabel;
    TFieldType FDataType = ftUnknown;
    TFieldKind FFieldKind = fkData;
    int FFieldNo = 0;
    int FSize = 0;
    int FOffset = 0;
    int FDisplayWidth = 0;
    TAlignment FAlignment = taLeftJustify;
    bool FVisible = true;
    bool FReadOnly = false;
    bool FRequired = false;
    bool FValidating = false;            // OnValidate is running
    const void* FValueBuffer = nullptr;  // value being stored/validated
    TDataSet* FLookupDataSet = nullptr;
    String FKeyFields;
    String FLookupKeyFields;
    String FLookupResultField;
};

/// Text of up to Size characters (ftString).
class TStringField : public TField {
public:
    explicit TStringField(TComponent* AOwner);
    int GetDataSize() const override { return Size() + 1; }
    /// Pass values through the dataset's Translate (default True).
    bool Transliterate() const { return FTransliterate; }
    void SetTransliterate(bool Value) { FTransliterate = Value; }
    /// Answers False for NULL.
    bool GetValue(String& Value);
    /// Longer text is cut at Size characters.
    void SetAsString(const String& Value) override;
    void SetAsInteger(std::int32_t Value) override;
    void SetAsFloat(double Value) override;
    void SetAsBoolean(bool Value) override;
    void SetAsDateTime(TDateTime Value) override;

protected:
    String GetAsString() override;
    std::int32_t GetAsInteger() override;
    double GetAsFloat() override;
    bool GetAsBoolean() override;
    TDateTime GetAsDateTime() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void GetText(String& Text, bool DisplayText) override;
    void CheckTypeSize(int Value) const override;

private:
    bool FTransliterate = true;
    /// Where GetValue has the dataset write the value: kept between reads,
    /// so that reading a wide field allocates once, not on every access.
    std::vector<std::uint8_t> FReadBuffer;
};

/// Base of the numeric fields: right-aligned.
class TNumericField : public TField {
public:
    explicit TNumericField(TComponent* AOwner);
};

/// 32-bit integer (ftInteger); TSmallintField, TWordField and TAutoIncField
/// narrow it. MinValue/MaxValue, when not both 0, bound the values accepted.
class TIntegerField : public TNumericField {
public:
    explicit TIntegerField(TComponent* AOwner);
    bool GetValue(std::int32_t& Value);
    std::int32_t MinValue() const { return FMinValue; }
    void SetMinValue(std::int32_t Value) { FMinValue = Value; }
    std::int32_t MaxValue() const { return FMaxValue; }
    void SetMaxValue(std::int32_t Value) { FMaxValue = Value; }
    /// "" clears; other text must be an integer.
    void SetAsString(const String& Value) override;
    void SetAsInteger(std::int32_t Value) override;
    /// Rounds half to even.
    void SetAsFloat(double Value) override;

protected:
    String GetAsString() override;
    std::int32_t GetAsInteger() override;
    double GetAsFloat() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void GetText(String& Text, bool DisplayText) override;
    /// The range of the type itself (int32, int16, uint16).
    std::int64_t FMinRange = INT32_MIN;
    std::int64_t FMaxRange = INT32_MAX;

private:
    void CheckRange(std::int64_t Value) const;
    std::int32_t FMinValue = 0;
    std::int32_t FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
public:
    explicit TSmallintField(TComponent* AOwner);

protected:
};

class TWordField : public TIntegerField {
public:
    explicit TWordField(TComponent* AOwner);

protected:
};

class TAutoIncField : public TIntegerField {
public:
    explicit TAutoIncField(TComponent* AOwner);
};

/// 64-bit integer (ftLargeint). AsInteger refuses values beyond 32 bits;
/// AsFloat may round values beyond 2^53.
class TLargeintField : public TNumericField {
public:
    explicit TLargeintField(TComponent* AOwner);
    bool GetValue(std::int64_t& Value);
    /// "" clears; other text must be an integer within 64 bits.
    void SetAsString(const String& Value) override;
    void SetAsInteger(std::int32_t Value) override { SetAsLargeInt(Value); }
    void SetAsLargeInt(std::int64_t Value) override;
    /// Rounds half to even; values beyond 64 bits are refused.
    void SetAsFloat(double Value) override;

protected:
    String GetAsString() override;
    std::int32_t GetAsInteger() override;
    std::int64_t GetAsLargeInt() override;
    double GetAsFloat() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override { SetAsLargeInt(Value.AsInt64()); }
    void GetText(String& Text, bool /*DisplayText*/) override { Text = GetAsString(); }
};

/// Double (ftFloat). Currency shows it as money; Precision is the number of
/// significant digits of its text (default 15).
class TFloatField : public TNumericField {
public:
    explicit TFloatField(TComponent* AOwner);
    bool GetValue(double& Value);
    bool IsCurrency() const { return FCurrency; }
    void SetCurrency(bool Value);
    int Precision() const { return FPrecision; }
    void SetPrecision(int Value);
    double MinValue() const { return FMinValue; }
    void SetMinValue(double Value) { FMinValue = Value; }
    double MaxValue() const { return FMaxValue; }
    void SetMaxValue(double Value) { FMaxValue = Value; }
    /// "" clears; other text is parsed with "." as decimal separator.
    void SetAsString(const String& Value) override;
    void SetAsInteger(std::int32_t Value) override { SetAsFloat(Value); }
    void SetAsFloat(double Value) override;
    void SetAsCurrency(Currency Value) override { SetAsFloat(Value.ToDouble()); }

protected:
    String GetAsString() override;
    std::int32_t GetAsInteger() override;
    double GetAsFloat() override;
    Currency GetAsCurrency() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    /// Locale decimal point; money format when Currency.
    void GetText(String& Text, bool DisplayText) override;
    /// Text a person typed: the locale's decimal point.
    void SetText(const String& Value) override;

private:
    bool FCurrency = false;
    int FPrecision = 15;
    double FMinValue = 0;
    double FMaxValue = 0;
};

/// A float shown as money (ftCurrency).
class TCurrencyField : public TFloatField {
public:
    explicit TCurrencyField(TComponent* AOwner);
};

/// Packed decimal (ftBCD); Size is the scale, Precision the total digits.
/// Conversions to and from Currency are the dataset's BCDToCurr/CurrToBCD.
class TBCDField : public TNumericField {
public:
    explicit TBCDField(TComponent* AOwner);
    /// Raises "Invalid value for field '%s'" when the dataset cannot convert
    /// the stored value.
    bool GetValue(Currency& Value);
    int Precision() const { return FPrecision; }
    void SetPrecision(int Value);
    /// "" clears; other text is parsed exactly with "." as separator.
    void SetAsString(const String& Value) override;
    void SetAsInteger(std::int32_t Value) override { SetAsCurrency(Currency::FromInt(Value)); }
    void SetAsFloat(double Value) override { SetAsCurrency(Currency::FromDouble(Value)); }
    void SetAsCurrency(Currency Value) override;

protected:
    String GetAsString() override;
    std::int32_t GetAsInteger() override;
    double GetAsFloat() override;
    Currency GetAsCurrency() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void GetText(String& Text, bool DisplayText) override;
    void CheckTypeSize(int Value) const override;

private:
    int FPrecision = 0;
};

/// Boolean (ftBoolean). DisplayValues "yes;no" names the texts of True and
/// False (default "True;False").
class TBooleanField : public TField {
public:
    explicit TBooleanField(TComponent* AOwner);
    bool GetValue(bool& Value);
    String DisplayValues() const { return FDisplayValues; }
    void SetDisplayValues(const String& Value);
    /// "" clears (unless a display value is empty); otherwise the text must
    /// start one of the display values, case-insensitively.
    void SetAsString(const String& Value) override;
    void SetAsBoolean(bool Value) override;

protected:
    String GetAsString() override;
    bool GetAsBoolean() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void GetText(String& Text, bool DisplayText) override;

private:
    String FDisplayValues;
    String FTextValues[2];  // [False], [True]
};

/// Date and time (ftDateTime); TDateField and TTimeField keep only one part.
/// Text uses the ISO forms of DateToStr/TimeToStr. AsString and SetAsString
/// go through the dataset's exact text when it holds one
/// (TDataSet::GetFieldExactText), so a fraction of a second finer than the
/// buffer form's millisecond is read and written whole; AsDateTime and the
/// buffer form keep milliseconds.
class TDateTimeField : public TField {
public:
    explicit TDateTimeField(TComponent* AOwner);
    bool GetValue(TDateTime& Value);
    /// "" clears; other text goes through StrToDateTime (StrToDate,
    /// StrToTime for the narrower types).
    void SetAsString(const String& Value) override;
    void SetAsFloat(double Value) override { SetAsDateTime(Value); }
    void SetAsDateTime(TDateTime Value) override;

protected:
    String GetAsString() override;
    double GetAsFloat() override;
    TDateTime GetAsDateTime() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void GetText(String& Text, bool DisplayText) override;
};

class TDateField : public TDateTimeField {
public:
    explicit TDateField(TComponent* AOwner);

protected:
};

class TTimeField : public TDateTimeField {
public:
    explicit TTimeField(TComponent* AOwner);

protected:
};

/// Base of the fixed and variable binary fields. AsString hands the bytes
/// over as they are; AsVariant is a byte array.
class TBinaryField : public TField {
public:
    explicit TBinaryField(TComponent* AOwner);
    void SetAsString(const String& Value) override;

protected:
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override;
    void CheckTypeSize(int Value) const override;
    /// The bytes of the value (false for NULL).
    virtual bool GetBytes(String& Value);
    virtual void SetBytes(const String& Value);
    String GetAsString() override;
    /// "(Bytes)": the bytes are no text.
    void GetText(String& Text, bool DisplayText) override;
};

/// Fixed-length binary (ftBytes): Size bytes, shorter values zero-padded.
class TBytesField : public TBinaryField {
public:
    explicit TBytesField(TComponent* AOwner);
    int GetDataSize() const override { return Size(); }
};

/// Variable-length binary (ftVarBytes): a 16-bit length, then up to Size
/// bytes.
class TVarBytesField : public TBinaryField {
public:
    explicit TVarBytesField(TComponent* AOwner);
    int GetDataSize() const override { return Size() + 2; }

protected:
    bool GetBytes(String& Value) override;
    void SetBytes(const String& Value) override;
};

/// Long binary or text (ftBlob and the other BLOB types). The value never
/// sits in the record buffer: it is read and written through
/// DataSet()->CreateBlobStream.
class TBlobField : public TField {
public:
    explicit TBlobField(TComponent* AOwner);
    bool IsBlob() const override { return true; }
    /// Set by a BLOB stream that wrote the value; reset after post, cancel
    /// and close (when the dataset's CloseBlob is called).
    bool Modified() const { return FModified; }
    void SetModified(bool Value) { FModified = Value; }
    /// While Modified: the value written is NULL (Clear) rather than a value
    /// of zero length (an empty SetAsString or write stream). A write stream
    /// resets it; Clear sets it.
    bool NullWritten() const { return FNullWritten; }
    void SetNullWritten(bool Value) { FNullWritten = Value; }
    /// Tells the BLOB stream to pass the bytes through the dataset's
    /// Translate (False for ftBlob, True for memos).
    bool Transliterate() const { return FTransliterate; }
    void SetTransliterate(bool Value) { FTransliterate = Value; }
    /// One of the BLOB field types; only while the dataset is closed.
    TFieldType BlobType() const { return DataType(); }
    void SetBlobType(TFieldType Value);
    /// Writes NULL (a write stream closed at once, marked NullWritten).
    void Clear() override;
    void LoadFromStream(TStream& Stream);
    void SaveToStream(TStream& Stream);
    void LoadFromFile(const String& FileName);
    void SaveToFile(const String& FileName);
    void SetAsString(const String& Value) override;

protected:
    String GetAsString() override;
    Variant GetAsVariant() override;
    void SetVarValue(const Variant& Value) override { SetAsString(VarToStr(Value)); }
    /// While Modified: null when NULL was written (Clear); a value of zero
    /// length written is not null.
    bool GetIsNull() override;
    /// "(Blob)", "(Memo)", "(Graphic)": upper case when not null.
    void GetText(String& Text, bool DisplayText) override;
    void FreeBuffers() override;
    void CheckTypeSize(int Value) const override;
    /// The dataset's stream for the field; raises when the dataset gives
    /// none.
    std::unique_ptr<TStream> OpenStream(TBlobStreamMode Mode);

private:
    bool FModified = false;
    bool FNullWritten = false;
    bool FTransliterate = false;
};

/// Long text (ftMemo); shown as "(Memo)".
class TMemoField : public TBlobField {
public:
    explicit TMemoField(TComponent* AOwner);
};

/// A picture stored as a BLOB (ftGraphic); shown as "(Graphic)".
class TGraphicField : public TBlobField {
public:
    explicit TGraphicField(TComponent* AOwner);
};

/// The fields of one dataset, in their order (TField::Index). The list does
/// not own the fields, but Clear frees them (the dataset's DestroyFields).
class TFields : public TObject {
public:
    explicit TFields(TDataSet* DataSet) : FDataSet(DataSet) {}
    ~TFields() override;

    int Count() const { return static_cast<int>(FList.size()); }
    /// Raises "Field index out of range".
    TField* Fields(int Index) const;
    TField* operator[](int Index) const { return Fields(Index); }
    int IndexOf(const TField* Field) const;
    /// Case-insensitive; null when absent.
    TField* FindField(const String& FieldName) const;
    /// Raises "Field '%s' not found".
    TField* FieldByName(const String& FieldName) const;
    /// The bound field with that 1-based number, or null.
    TField* FieldByNumber(int FieldNo) const;
    /// Raises "Field name missing" or "Duplicate field name '%s'".
    void CheckFieldName(const String& FieldName) const;
    /// Raises "Field '%s' not found" for the first name of the
    /// semicolon-separated list that has no field.
    void CheckFieldNames(const String& FieldNames) const;
    void GetFieldNames(TStrings& List) const;
    /// Frees every field.
    void Clear();
    TDataSet* DataSet() const { return FDataSet; }

private:
    friend class TField;
    void Add(TField* Field) { FList.push_back(Field); }
    void Remove(TField* Field);
    void SetFieldIndex(TField* Field, int Value);

    TDataSet* FDataSet;
    std::vector<TField*> FList;
};

/// The next name of a semicolon-separated list, trimmed, starting at Pos (a
/// 0-based index into Fields); Pos moves past the name and its semicolon.
String ExtractFieldName(const String& Fields, std::size_t& Pos);

}  // namespace velora
