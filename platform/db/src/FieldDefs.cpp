// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Field definitions and the table of default field classes.
#include "velora/db/FieldDefs.h"

#include "velora/db/DBConsts.h"
#include "velora/db/DataSet.h"
#include "velora/db/Fields.h"

#include <algorithm>

namespace velora {

namespace {

template <class T>
TField* CreateFieldOf(TComponent* owner) {
    return new T(owner);
}

}  // namespace

TFieldClass DefaultFieldClass(TFieldType DataType) {
    switch (DataType) {
        case ftString:
            return &CreateFieldOf<TStringField>;
        case ftSmallint:
            return &CreateFieldOf<TSmallintField>;
        case ftInteger:
            return &CreateFieldOf<TIntegerField>;
        case ftWord:
            return &CreateFieldOf<TWordField>;
        case ftBoolean:
            return &CreateFieldOf<TBooleanField>;
        case ftFloat:
            return &CreateFieldOf<TFloatField>;
        case ftCurrency:
            return &CreateFieldOf<TCurrencyField>;
        case ftBCD:
            return &CreateFieldOf<TBCDField>;
        case ftDate:
            return &CreateFieldOf<TDateField>;
        case ftTime:
            return &CreateFieldOf<TTimeField>;
        case ftDateTime:
            return &CreateFieldOf<TDateTimeField>;
        case ftBytes:
            return &CreateFieldOf<TBytesField>;
        case ftVarBytes:
            return &CreateFieldOf<TVarBytesField>;
        case ftAutoInc:
            return &CreateFieldOf<TAutoIncField>;
        case ftBlob:
            return &CreateFieldOf<TBlobField>;
        case ftMemo:
            return &CreateFieldOf<TMemoField>;
        case ftGraphic:
            return &CreateFieldOf<TGraphicField>;
        // The remaining BLOB kinds have no class of their own: a TBlobField
        // takes their type (CreateField sets BlobType).
        case ftFmtMemo:
        case ftParadoxOle:
        case ftDBaseOle:
        case ftTypedBinary:
            return &CreateFieldOf<TBlobField>;
        case ftLargeint:
            return &CreateFieldOf<TLargeintField>;
        case ftUnknown:
        case ftCursor:
            break;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------
// TFieldDef

TFieldDef::TFieldDef(TFieldDefs* Owner, const String& Name, TFieldType DataType, int Size, bool Required, int FieldNo)
    : FOwner(Owner), FName(Name), FDataType(DataType), FSize(Size), FRequired(Required), FFieldNo(FieldNo) {
    if (FOwner) {
        FOwner->FItems.push_back(this);
        FOwner->FUpdated = false;
    }
}

TFieldDef::~TFieldDef() {
    if (FOwner) {
        auto& items = FOwner->FItems;
        items.erase(std::remove(items.begin(), items.end(), this), items.end());
    }
}

TField* TFieldDef::CreateField(TComponent* Owner) {
    TFieldClass fieldClass = FieldClass();
    if (!fieldClass) DatabaseErrorFmt(DBConsts::SUnknownFieldType, FName);
    TField* field = fieldClass(Owner);
    try {
        if (auto* blob = dynamic_cast<TBlobField*>(field)) blob->SetBlobType(FDataType);
        field->SetSize(FSize);
        field->SetFieldName(FName);
        field->SetRequired(FRequired);
        if (FInternalCalcField) field->SetFieldKind(fkInternalCalc);
        if (auto* bcd = dynamic_cast<TBCDField*>(field)) bcd->SetPrecision(FPrecision);
        if (FOwner) field->SetDataSet(FOwner->DataSet());
    } catch (...) {
        field->Free();
        throw;
    }
    return field;
}

// ---------------------------------------------------------------------------
// TFieldDefs

TFieldDefs::TFieldDefs(TDataSet* DataSet) : FDataSet(DataSet) {}

TFieldDefs::~TFieldDefs() { Clear(); }

TFieldDef* TFieldDefs::Add(const String& Name, TFieldType DataType, int Size, bool Required) {
    if (Name.empty()) DatabaseError(DBConsts::SFieldNameMissing);
    if (IndexOf(Name) >= 0) DatabaseErrorFmt(DBConsts::SDuplicateFieldName, Name);
    return new TFieldDef(this, Name, DataType, Size, Required, Count() + 1);
}

void TFieldDefs::Assign(const TFieldDefs& Source) {
    if (&Source == this) return;
    Clear();
    for (const TFieldDef* def : Source.FItems) {
        auto* copy = new TFieldDef(this, def->Name(), def->DataType(), def->Size(), def->Required(), def->FieldNo());
        copy->SetPrecision(def->Precision());
        copy->SetInternalCalcField(def->InternalCalcField());
    }
}

void TFieldDefs::Clear() {
    std::vector<TFieldDef*> items;
    items.swap(FItems);
    for (TFieldDef* def : items) {
        def->FOwner = nullptr;
        delete def;
    }
    FUpdated = false;
}

TFieldDef* TFieldDefs::Find(const String& Name) const {
    int index = IndexOf(Name);
    if (index < 0) DatabaseErrorFmt(DBConsts::SFieldNotFound, Name);
    return FItems[static_cast<std::size_t>(index)];
}

int TFieldDefs::IndexOf(const String& Name) const {
    for (std::size_t i = 0; i < FItems.size(); ++i)
        if (SameText(FItems[i]->Name(), Name)) return static_cast<int>(i);
    return -1;
}

void TFieldDefs::Update() {
    if (FUpdated || !FDataSet) return;
    FDataSet->InitFieldDefs();
    FUpdated = true;
}

TFieldDef* TFieldDefs::Items(int Index) const {
    if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FItems[static_cast<std::size_t>(Index)];
}

}  // namespace velora
