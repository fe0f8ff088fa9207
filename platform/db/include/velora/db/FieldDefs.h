// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Field definitions: what a dataset's cursor offers (name, type, size,
// required flag, field number), before any field object exists. A dataset
// fills its TFieldDefs in InternalInitFieldDefs; CreateFields turns each
// definition into a field of the class that DefaultFieldClass names, and
// BindFields matches persistent fields to them by name.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DBTypes.h"

#include <vector>

namespace velora {

class TComponent;
class TDataSet;
class TField;
class TFieldDefs;

/// Creates a field of one class with the given owner (a field class
/// reference: `FieldClass(Owner)`).
using TFieldClass = TField* (*)(TComponent* Owner);

/// The class CreateFields uses for a field type; null for ftUnknown and
/// ftCursor, which have no field class.
TFieldClass DefaultFieldClass(TFieldType DataType);

/// One column as the cursor describes it.
class TFieldDef : public TObject {
public:
    /// Creates the definition and, with an owner, appends it to the owner's
    /// list, which then owns it (as `TFieldDef.Create(FieldDefs, ...)` does).
    /// No name or duplicate check happens here: the caller (the dataset that
    /// describes its cursor) decides the names. FieldNo is 1-based.
    TFieldDef(TFieldDefs* Owner, const String& Name, TFieldType DataType, int Size, bool Required, int FieldNo);
    ~TFieldDef() override;

    /// Creates a field of FieldClass() named after this definition, with its
    /// size, required flag, precision (BCD fields) and kind (fkInternalCalc
    /// when InternalCalcField), attached to the owner list's dataset. Raises
    /// EDatabaseError "Field '%s' is of an unknown type" when the type has no
    /// field class.
    TField* CreateField(TComponent* Owner);
    TFieldClass FieldClass() const { return DefaultFieldClass(FDataType); }

    TFieldDefs* Owner() const { return FOwner; }
    const String& Name() const { return FName; }
    TFieldType DataType() const { return FDataType; }
    int Size() const { return FSize; }
    bool Required() const { return FRequired; }
    int FieldNo() const { return FFieldNo; }
    /// Total digits of a BCD column (0 when not given).
    int Precision() const { return FPrecision; }
    void SetPrecision(int Value) { FPrecision = Value; }
    /// The column is computed by the cursor itself (fields made from it get
    /// fkInternalCalc).
    bool InternalCalcField() const { return FInternalCalcField; }
    void SetInternalCalcField(bool Value) { FInternalCalcField = Value; }

private:
    friend class TFieldDefs;
    TFieldDefs* FOwner = nullptr;
    String FName;
    TFieldType FDataType = ftUnknown;
    int FSize = 0;
    bool FRequired = false;
    int FFieldNo = 0;
    int FPrecision = 0;
    bool FInternalCalcField = false;
};

/// The definitions of one dataset, in field-number order of their creation.
/// Owns its TFieldDef objects.
class TFieldDefs : public TObject {
public:
    explicit TFieldDefs(TDataSet* DataSet);
    ~TFieldDefs() override;

    /// Appends a definition numbered Count() + 1. Raises "Field name missing"
    /// for an empty name and "Duplicate field name '%s'" when IndexOf finds it.
    TFieldDef* Add(const String& Name, TFieldType DataType, int Size = 0, bool Required = false);
    /// Replaces the definitions with copies of those of Source.
    void Assign(const TFieldDefs& Source);
    /// Frees every definition.
    void Clear();
    /// The definition named Name (case-insensitive); raises
    /// "Field '%s' not found".
    TFieldDef* Find(const String& Name) const;
    /// Index of the definition named Name (case-insensitive), -1 when absent.
    int IndexOf(const String& Name) const;
    /// Refreshes the definitions from the dataset (TDataSet::InitFieldDefs)
    /// unless they are up to date.
    void Update();

    int Count() const { return static_cast<int>(FItems.size()); }
    /// Raises EListError for an index out of range.
    TFieldDef* Items(int Index) const;
    TFieldDef* operator[](int Index) const { return Items(Index); }
    TDataSet* DataSet() const { return FDataSet; }
    /// False after any change of the list or of the dataset's properties
    /// (dePropertyChange); Update sets it.
    bool Updated() const { return FUpdated; }
    void SetUpdated(bool Value) { FUpdated = Value; }

private:
    friend class TFieldDef;
    TDataSet* FDataSet;
    std::vector<TFieldDef*> FItems;
    bool FUpdated = false;
};

}  // namespace velora
