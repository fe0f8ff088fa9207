// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statement parameters: TODBCParam, one named and typed value of an SQL
// statement, and TODBCParams, the ordered list of them that a query fills
// from the :name markers of its SQL text (ODBCSQLParser.h) and binds before
// execution.
//
// A parameter keeps its value as a Variant (velora/rtl/Variant.h) together
// with a TFieldType and converts between the two. It writes its value in two byte forms:
// - the native form (GetData/SetData), a fixed layout per data type from
//   which the stored form of a list is built;
// - the record-buffer form (RecBufGetData), what the query lays into its
//   parameter buffer for the binder: the native form, except that long
//   strings, memos and BLOB values are a reference to the parameter's own
//   bytes with their count (TODBCParamRef), 16 bytes in all.
// A NULL value is never told by its bytes: the query marks it through the
// descriptor (the NULL word of its buffer), for every data type alike.
//
// The list saves itself in form files as the binary property Data, whose
// layout is an external interface: forms written by the library load again,
// field for field. It writes version 1, or version 2 (four-byte counts and
// lengths) when a name, a column name or the number of parameters does not
// fit version 1, so that nothing is ever written that cannot be read back.
// It reads versions 0, 1 and 2.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DBTypes.h"
#include "velora/rtl/Numbers.h"
#include "velora/classes/Streams.h"
#include "velora/rtl/Variant.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velora {

class TField;
class TODBCParams;

/// Direction of a parameter. Every parameter is bound for input; the
/// direction is carried for applications and the stored form.
enum TODBCParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

/// The record-buffer form of a long value (a string of more than 255
/// characters, a memo, a BLOB): where the parameter's bytes are and how many
/// there are. It occupies the first 12 of the 16 bytes the query reserves for
/// such a value; the layout is the one the engine's parameter binder reads
/// for a long parameter.
struct TODBCParamRef {
    const void* Data = nullptr;  ///< the bytes, no terminator counted
    std::int32_t Size = 0;       ///< byte count
};
static_assert(sizeof(TODBCParamRef) <= 16, "a long value's reference fits its 16-byte area");

/// Bytes the query reserves in its parameter buffer for a long value.
inline constexpr int kParamRefSize = 16;
/// Largest native form the stored form of a parameter list takes.
inline constexpr int kMaxStoredParamData = 2048;

/// Message of a stored parameter whose data size exceeds kMaxStoredParamData
/// (the parameter's name and the limit).
inline constexpr const char* SParamDataTooBig = "Parameter '%s', cannot load data larger than %d bytes";
/// Message of a 16-bit parameter whose value does not fit its type (the
/// parameter's name, its value, and the smallest and largest value allowed).
inline constexpr const char* SParamOutOfRange = "Parameter '%s' value %s is out of range %d..%d";

/// One named, typed value of an SQL statement.
///
/// Invariants: SetDataType sets the value to the integer 0 before the type,
/// so no setter keeps a value of the previous type; every setter marks the
/// value assigned (Bound True, IsNull False) first; Clear makes the value
/// NULL (IsNull True, the integer 0) and keeps DataType and Bound.
///
/// Conversions between the value and the getters follow the Variant's
/// rules and raise its conversion errors (EVariantError, EConvertError).
class TODBCParam : public TPersistent {
public:
    /// A new parameter: DataType ftUnknown, the integer 0, not NULL, not
    /// bound, empty Name and ColumnName. With a list, it is appended to it and
    /// owned by it from then on.
    TODBCParam(TODBCParams* AParamList, TODBCParamType AParamType);
    /// Leaves the owning list first.
    ~TODBCParam() override;

    /// A TODBCParam source goes to AssignParam, a TField to AssignField; other
    /// sources raise EAssignError.
    void Assign(TPersistent* Source) override;
    /// A TField destination takes the value as its AsVariant; other
    /// destinations raise EAssignError.
    void AssignTo(TPersistent* Dest) override;

    /// Copies type, value (or NULL), Bound and Name of Param; ParamType only
    /// when this parameter's is ptUnknown. ColumnName is not copied. Nothing
    /// for a null Param.
    void AssignParam(const TODBCParam* Param);
    /// Takes the field's type (ftString for a memo field larger than 255),
    /// value or NULL, and FieldName as Name; Bound becomes True.
    void AssignField(TField* Field);
    /// As AssignField with the given value; Name is kept.
    void AssignFieldValue(TField* Field, const Variant& Value);
    /// Takes a value in its exact stored form, as text: a decimal (ftBCD) as
    /// its digits, a date (ftDate, "YYYY-MM-DD"), a time of day (ftTime,
    /// "HH:MM:SS[.fraction]") or a date and time (ftDateTime, "YYYY-MM-DD
    /// HH:MM:SS[.fraction]") with every fraction digit; NULL when IsNull.
    /// The text is bound as it is, as the SQL type of DataType, so neither a
    /// double nor a millisecond clock comes between the stored value and the
    /// one sent. Bound becomes True; Name is kept.
    void AssignExactText(TFieldType DataType, const String& Text, bool IsNull);
    /// True when the value is bound as its exact text: a date or time type
    /// holding text (AssignExactText), or a decimal text the packed decimal
    /// form cannot hold (more than 64 digits).
    bool HoldsExactText() const;

    /// NULL: IsNull True, the value the integer 0; DataType and Bound kept.
    void Clear();
    /// Marks the value assigned: Bound True, IsNull False.
    void InitValue();
    /// The value becomes the integer 0, then DataType becomes Value.
    void SetDataType(TFieldType Value);

    /// True when the values have the same variant type and compare equal and
    /// Name (case-sensitive), DataType, IsNull, Bound and ParamType are
    /// equal. ColumnName is not compared.
    bool IsEqual(const TODBCParam* Value) const;

    // ---- value setters (each marks the value assigned) --------------------
    void SetAsBoolean(bool Value);
    void SetAsFloat(double Value);
    /// As SetAsFloat, then DataType ftCurrency.
    void SetAsCurrency(double Value);
    /// DataType ftBCD with a currency value.
    void SetAsBCD(Currency Value);
    void SetAsInteger(std::int32_t Value);
    /// As SetAsInteger, then ftWord; the value is kept whole (see
    /// CheckBindRange).
    void SetAsWord(std::int32_t Value);
    /// As SetAsInteger, then ftSmallint; the value is kept whole.
    void SetAsSmallInt(std::int32_t Value);
    /// DataType ftLargeint with a 64-bit value (bound as SQL_C_SBIGINT).
    void SetAsLargeInt(std::int64_t Value);
    void SetAsString(const String& Value);
    void SetAsDate(TDateTime Value);
    /// As SetAsDate, then ftTime.
    void SetAsTime(TDateTime Value);
    /// As SetAsDate, then ftDateTime.
    void SetAsDateTime(TDateTime Value);
    void SetAsMemo(const String& Value);
    /// DataType ftBlob; the string holds the bytes.
    void SetAsBlob(const String& Value);
    /// DataType by the variant's type code (varSmallint ftSmallint, varInteger
    /// ftInteger, varSingle/varDouble ftFloat, varCurrency ftBCD, varDate
    /// ftDateTime, varOleStr/varString ftString, varBoolean ftBoolean, any
    /// other ftUnknown), then a copy of the variant. A Null variant makes
    /// the parameter a bound NULL (IsNull and Bound True) of the DataType it
    /// has, ftString when that was ftUnknown: a NULL character value, which
    /// every driver accepts wherever a value may be NULL.
    void SetAsVariant(const Variant& Value);
    /// Stores the text, converted by DataType (ftString when it was
    /// ftUnknown): integers, Boolean, floating point, currency (ftBCD),
    /// date-time; other types keep the text. Numbers are read with "." as the
    /// decimal separator and dates as "yyyy-mm-dd[ hh:nn[:ss]]", as the value
    /// is shown. A text that does not convert raises the conversion error and
    /// leaves the unconverted text (Bound True).
    void SetText(const String& Value);
    /// ftBlob holding count bytes of buffer.
    void SetBlobData(const void* Buffer, int Size);
    /// Marks the value assigned, sets DataType to BlobType, and reads
    /// Stream.Size bytes from the stream's position (EReadError when fewer
    /// remain; DataType and Bound are then already set).
    void LoadFromStream(TStream& Stream, TFieldType BlobType);
    /// LoadFromStream of the file's bytes; a file that cannot be opened
    /// raises EFOpenError and changes nothing.
    void LoadFromFile(const String& FileName, TFieldType BlobType);

    // ---- value getters ----------------------------------------------------
    bool GetAsBoolean() const;
    double GetAsFloat() const;
    Currency GetAsBCD() const;
    std::int32_t GetAsInteger() const;
    std::int64_t GetAsLargeInt() const;
    /// Empty when NULL; "True"/"False" for ftBoolean; the date-time text for
    /// ftDate, ftTime and ftDateTime; otherwise the value's text.
    String GetAsString() const;
    /// 0 when NULL, else the value as date-time.
    TDateTime GetAsDateTime() const;
    Variant GetAsVariant() const { return FData; }
    String GetAsMemo() const;

    // Value properties under their short names (AsInteger, AsString, ...).
    bool AsBoolean() const { return GetAsBoolean(); }
    double AsFloat() const { return GetAsFloat(); }
    double AsCurrency() const { return GetAsFloat(); }
    Currency AsBCD() const { return GetAsBCD(); }
    std::int32_t AsInteger() const { return GetAsInteger(); }
    std::int64_t AsLargeInt() const { return GetAsLargeInt(); }
    std::int32_t AsWord() const { return GetAsInteger(); }
    std::int32_t AsSmallInt() const { return GetAsInteger(); }
    String AsString() const { return GetAsString(); }
    TDateTime AsDateTime() const { return GetAsDateTime(); }
    TDateTime AsDate() const { return GetAsDateTime(); }
    TDateTime AsTime() const { return GetAsDateTime(); }
    Variant AsVariant() const { return GetAsVariant(); }
    Variant Value() const { return GetAsVariant(); }
    String AsMemo() const { return GetAsMemo(); }
    String Text() const { return GetAsString(); }

    // ---- byte forms ---------------------------------------------------------
    /// Bytes of the native form: length + 1 for ftString/ftMemo, the length
    /// for the BLOB types, 2/4/8/34 for the fixed types, 0 for ftCursor.
    /// \throws EDatabaseError "Field '%s' is of unknown type" for ftUnknown,
    ///         "Field '%s' is of an unsupported type" for ftBytes, ftVarBytes
    ///         and ftTypedBinary.
    int GetDataSize() const;
    /// Writes the native form (GetDataSize bytes) into Buffer: text and a zero
    /// byte; the low 16 bits of a small integer or word; 32-bit integers; a
    /// 16-bit Boolean (1 or 0); doubles; an ODBCFMTBCD of precision 32 with 4
    /// decimals; the time stamp's 32-bit day count (ftDate) or milliseconds
    /// of the day (ftTime), or its milliseconds as a double (ftDateTime); raw
    /// bytes for the BLOB types; nothing for ftCursor.
    /// \throws EDatabaseError as GetDataSize (ftTypedBinary is written).
    void GetData(void* Buffer) const;
    /// Reads the native form back through the setter of DataType (an
    /// ftAutoInc value as a 32-bit integer keeping ftAutoInc; ftCursor makes
    /// the value 0). BLOB values come back through SetBlobData instead.
    /// Text is read up to its zero byte, or up to Size bytes when no zero
    /// comes first; fixed forms need their whole size within Size.
    /// \throws EDatabaseError "Field '%s' is of unknown type" for ftUnknown,
    ///         "Field '%s' is of an unsupported type" for the BLOB types,
    ///         ftBytes, ftVarBytes and ftTypedBinary; EReadError when Size is
    ///         smaller than the fixed form; the date-time conversion errors.
    void SetData(const void* Buffer, std::size_t Size);
    /// SetData of a buffer known to hold a whole native form.
    void SetData(const void* Buffer) { SetData(Buffer, SIZE_MAX); }

    /// Bytes the query reserves for the value: kParamRefSize (16) for a string
    /// longer than 255 characters, any memo and the BLOB types; 0 for
    /// ftCursor; the native size otherwise.
    /// \throws EDatabaseError as GetDataSize (ftTypedBinary is unsupported).
    int RecBufDataSize() const;
    /// True when the record-buffer form is a TODBCParamRef (see RecBufDataSize).
    bool RecBufIsRef() const;
    /// Writes the record-buffer form (RecBufDataSize bytes): a TODBCParamRef
    /// to bytes the parameter keeps, valid while the value is unchanged, or
    /// the native form. A NULL value's area is zero-filled. Values of
    /// ftSmallint and ftWord out of their ranges are refused (CheckBindRange).
    void RecBufGetData(void* Buffer);
    /// Refuses a value that the 16 bits of its type cannot carry: ftSmallint
    /// outside -32768..32767, ftWord outside 0..65535 (NULL values pass).
    /// The stored form keeps the low 16 bits; binding must not.
    /// \throws EDatabaseError SParamOutOfRange.
    void CheckBindRange() const;

    // ---- properties -----------------------------------------------------
    TODBCParams* ParamList() const { return FParamList; }
    const String& Name() const { return FName; }
    void SetName(const String& Value) { FName = Value; }
    /// The identifier that preceded the marker in the SQL text.
    const String& ColumnName() const { return FColumnName; }
    void SetColumnName(const String& Value) { FColumnName = Value; }
    TFieldType DataType() const { return FDataType; }
    bool IsNull() const { return FNull; }
    bool Bound() const { return FBound; }
    void SetBound(bool Value) { FBound = Value; }
    TODBCParamType ParamType() const { return FParamType; }
    void SetParamType(TODBCParamType Value) { FParamType = Value; }

private:
    friend class TODBCParams;

    [[noreturn]] void UnknownTypeError() const;
    [[noreturn]] void UnsupportedTypeError() const;
    /// The value's text (its length is the "length" of the size rules).
    String ValueText() const;

    TODBCParams* FParamList = nullptr;
    Variant FData = Variant(std::int32_t{0});
    String FColumnName;
    String FName;
    TFieldType FDataType = ftUnknown;
    bool FNull = false;
    bool FBound = false;
    TODBCParamType FParamType = ptUnknown;
    /// The bytes a TODBCParamRef handed out by RecBufGetData points to.
    String FRefBytes;
};

/// The ordered parameters of one SQL statement; owns them.
///
/// Indexing rule: GetParam(i) answers ParamByName of the i-th entry's name,
/// so entries that share a name (ignoring case) all answer the first of
/// them, and repeated markers bind the first one's value. Assign, IsEqual,
/// AssignValues and the stored form walk the list through GetParam.
class TODBCParams : public TPersistent {
public:
    TODBCParams();
    /// Frees every parameter.
    ~TODBCParams() override;

    /// A TODBCParams source: Clear, then one new ptUnknown parameter per
    /// entry assigned from source.GetParam(i) (ColumnName is not carried
    /// over). Other sources raise EAssignError.
    void Assign(TPersistent* Source) override;
    /// A TODBCParams destination takes this list through its Assign.
    void AssignTo(TPersistent* Dest) override;
    /// Declares the binary property Data (the stored form). It is written
    /// when the list differs from the ancestor's (inherited forms), or,
    /// without ancestor, when it is not empty.
    void DefineProperties(TFiler& Filer) override;

    /// Appends Value and makes this list its owner.
    void AddParam(TODBCParam* Value);
    /// Takes Value out of the list; it no longer belongs to one.
    void RemoveParam(TODBCParam* Value);
    /// A new parameter owned by this list: Name, then SetDataType(FldType),
    /// then ColumnName.
    TODBCParam* CreateParam(TFieldType FldType, const String& ParamName, TODBCParamType ParamType,
                            const String& ColumnName = String());
    int Count() const { return static_cast<int>(FItems.size()); }
    /// Frees the entries, the last first.
    void Clear();
    /// The parameter by the indexing rule (EListError out of range).
    TODBCParam* GetParam(int Index) const;
    TODBCParam* Items(int Index) const { return GetParam(Index); }
    TODBCParam* operator[](int Index) const { return GetParam(Index); }
    /// The Index-th entry itself (no indexing rule).
    TODBCParam* Entry(int Index) const;
    /// The first parameter whose name matches without regard to case.
    /// \throws EDatabaseError "Parameter '%s' not found".
    TODBCParam* ParamByName(const String& Value) const;
    /// As ParamByName, answering null instead of raising.
    TODBCParam* FindParam(const String& Value) const;
    /// Same count and GetParam(i).IsEqual(Value.GetParam(i)) for every i.
    bool IsEqual(const TODBCParams* Value) const;
    /// For each entry, the value of the first parameter of Value with exactly
    /// the same name (case-sensitive); entries without one keep theirs.
    void AssignValues(const TODBCParams* Value);
    /// Appends ParamByName of each ";"-separated name to List.
    void GetParamList(TList& List, const String& ParamNames) const;
    /// A variant array (0..n-1) of the values of ";"-separated names, or the
    /// value of the one parameter named.
    Variant GetParamValue(const String& ParamName) const;
    /// Sets the parameters named (";"-separated: from element i of an array)
    /// through SetAsVariant.
    void SetParamValue(const String& ParamName, const Variant& Value);
    /// 1: the version of the stored form written when version 1 can hold the
    /// list (see WriteBinaryData).
    int GetVersion() const { return 1; }

    /// Replaces the list with the stored form read from Stream (versions 0,
    /// 1 and 2). Parameters take ParamType, DataType, IsNull and Bound as
    /// stored; BLOB-like values come back as ftBlob; a NULL parameter's value
    /// is the integer 0, as Clear leaves it.
    /// \throws EDatabaseError "Unable to load bind parameters" for a version
    ///         above 2 (the list is then empty); the type errors of SetData;
    ///         EReadError for a stream that ends early or a data size above
    ///         2048 (SParamDataTooBig). The records read before a failure stay.
    void ReadBinaryData(TStream& Stream);
    /// Writes the stored form: version 1, or version 2 when a name or column
    /// name is longer than 255 characters or there are more than 65,535
    /// entries. Nothing reaches Stream when a parameter cannot be written.
    /// \throws EDatabaseError "Parameter '%s', cannot save data larger than
    ///         %d bytes" for a native form above 2048 bytes; the type errors
    ///         of GetDataSize.
    void WriteBinaryData(TStream& Stream) const;

private:
    std::vector<TODBCParam*> FItems;
};

}  // namespace velora
