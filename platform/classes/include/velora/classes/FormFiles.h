// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Form files: the text form in which a tree of components is stored and
// restored, as readable text:
//
//     object Form1: TDataForm
//       Tag = 3
//       Items.Strings = (
//         'a'
//         'b')
//       object Database1: TODBCDatabase
//         DataSourceName = 'VeloraSample'
//       end
//       object Query1: TODBCQuery
//         Database = Database1
//         Params.Data = {
//           0100...}
//       end
//     end
//
// The writer stores a root and, nested, the components it owns (GetChildren),
// each with the published properties whose stored rule holds and whose value
// differs from the default (or, for an inherited form, from the ancestor),
// then the properties declared through DefineProperties. Strings are quoted
// with '' doubling and #nn for control characters; binary data is hex in
// braces.
//
// The reader parses the whole text first, so a syntax error creates nothing.
// It then creates the components by class name (TypInfo registry) with the
// enclosing object as owner, marks every component it reads csLoading and
// csReading while it assigns properties, resolves component references once
// everything exists, clears csReading and calls Loaded on every component in
// the order they were read. Any failure frees the components this read
// created (the last first) and clears the loading flags of the ones it did
// not create; property values already assigned to a given root or to its
// existing ("inherited") components are not rolled back, but the root's
// name is restored. Errors in the text raise EReadError "line N: ...";
// exceptions raised by property setters and Loaded propagate unchanged.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/classes/Streams.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace velora {

struct TPropInfo;

namespace detail {
struct TFormValue;
struct TFormObject;
}  // namespace detail

/// What a reader finds next inside a property value.
enum TValueType : std::uint8_t { vaNull, vaList, vaInt, vaExtended, vaString, vaIdent, vaSet, vaBinary };

/// The form-file reader. DefineProperties implementations use its value
/// routines from their read procedures (for example TStrings reads
/// "Strings = ( ... )" with ReadListBegin/ReadString/ReadListEnd).
class TReader : public TFiler {
public:
    ~TReader() override;

    void DefineProperty(const String& name, TReaderProc readData, TWriterProc writeData, bool hasData) override;
    void DefineBinaryProperty(const String& name, TStreamProc readData, TStreamProc writeData, bool hasData) override;

    /// Kind of the next value (vaNull at the end of a list or value).
    TValueType NextValue() const;
    void ReadListBegin();
    bool EndOfList() const;
    void ReadListEnd();
    String ReadString();
    std::int64_t ReadInteger();
    double ReadFloat();
    bool ReadBoolean();
    String ReadIdent();

    /// Line of the property being read.
    int Line() const { return FLine; }
    /// Raises EReadError "line <Line>: <message>".
    [[noreturn]] void Error(const String& message) const;

private:
    friend struct TReaderAccess;
    TReader(TComponent* root, TComponent* owner);

    struct TFixup {
        TComponent* Instance;  // component owning the property path
        TPersistent* Object;   // object holding the property
        const TPropInfo* Prop;
        String Reference;
        int Line;
    };

    TComponent* ReadRoot(const detail::TFormObject& node);
    TComponent* ReadObject(const detail::TFormObject& node, TComponent* owner, bool isRoot);
    void ReadProperty(TComponent* component, const String& path, const detail::TFormValue& value, int line);
    void AssignValue(TComponent* component, TPersistent* obj, const TPropInfo& prop, const String& path,
                     const detail::TFormValue& value);
    void ResolveFixups();
    TComponent* ResolveReference(const String& reference) const;
    const detail::TFormValue& Current() const;
    const detail::TFormValue& Take();
    void Cleanup() noexcept;

    TComponent* FOwner = nullptr;  // owner of a root created by the read
    bool FRootGiven = false;
    String FOldRootName;
    std::vector<TComponent*> FCreated;  // created by this read, creation order
    std::vector<TComponent*> FLoaded;   // every component read, in order
    std::vector<TFixup> FFixups;
    int FLine = 0;
    // The property value being read by a DefineProperties procedure.
    String FPropName;
    const detail::TFormValue* FPropValue = nullptr;
    bool FPropHandled = false;
    std::vector<std::pair<const detail::TFormValue*, std::size_t>> FCursor;  // list, index
    bool FValueTaken = false;
};

/// The form-file writer. DefineProperties implementations use its value
/// routines from their write procedures.
class TWriter : public TFiler {
public:
    ~TWriter() override;

    void DefineProperty(const String& name, TReaderProc readData, TWriterProc writeData, bool hasData) override;
    void DefineBinaryProperty(const String& name, TStreamProc readData, TStreamProc writeData, bool hasData) override;

    void WriteListBegin();
    void WriteListEnd();
    void WriteString(const String& value);
    void WriteInteger(std::int64_t value);
    void WriteFloat(double value);
    void WriteBoolean(bool value);
    void WriteIdent(const String& ident);

private:
    friend struct TWriterAccess;
    TWriter(TComponent* root, TComponent* ancestorRoot);

    void WriteObject(TComponent* component, TComponent* ancestor, int indent);
    void WriteProperties(TPersistent* obj, TPersistent* ancestor, const String& prefix, TComponent* component);
    void WritePropertyName(const String& name);
    void ValuePrefix();
    String ReferenceName(TComponent* value) const;

    TComponent* FAncestorRoot = nullptr;
    String FOut;
    int FIndent = 0;  // indentation of the property being written
    int FListDepth = 0;
    String FPrefix;  // "Params." while a nested object's properties are written
};

/// Quotes text the way form files store strings: 'it''s'#13#10'ok'.
String QuoteFormString(const String& text);

/// Writes root and the components it owns. With ancestor (the root of the
/// form this one inherits from), only differences from the ancestor are
/// written and components found in it are written as "inherited".
void WriteComponentToStream(TComponent* root, TStream& stream, TComponent* ancestor = nullptr);
String WriteComponentToString(TComponent* root, TComponent* ancestor = nullptr);
void WriteComponentToFile(TComponent* root, const String& fileName, TComponent* ancestor = nullptr);

/// Reads a form into a new root created by class name with the given owner
/// (null allowed) and returns it. The text is read from the stream's
/// position to its end.
TComponent* ReadComponentFromStream(TStream& stream, TComponent* owner);
TComponent* ReadComponentFromString(const String& text, TComponent* owner);
TComponent* ReadComponentFromFile(const String& fileName, TComponent* owner);
/// Reads a form into an existing root. The form's root class must be the
/// root's class or a registered ancestor of it; the root takes the form's
/// name. Components of the form are created owned by the root (or by the
/// enclosing component); "inherited" entries fill existing ones.
void ReadComponentInto(TStream& stream, TComponent* root);
void ReadComponentStringInto(const String& text, TComponent* root);
void ReadComponentFileInto(const String& fileName, TComponent* root);

/// Resolves component references that lie outside the tree being read
/// ("DataModule1.Database1"): given the first name, returns the component
/// or null. Only one finder is kept; pass an empty function to remove it.
using TFindGlobalComponent = std::function<TComponent*(const String& name)>;
void SetFindGlobalComponent(TFindGlobalComponent finder);

}  // namespace velora
