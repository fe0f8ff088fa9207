// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the form-file reader (ReadComponentStringInto) with every
// class a form may name registered: databases, tables, queries, update
// objects, the standard controls and the 3-D text label. Any input must end
// in a read form or in one of the library's own exceptions, leaving nothing
// half built; a crash, a sanitizer report, a foreign exception or a hang is a
// finding. A form that was read is written again, read back and written
// once more, and the two texts must agree.
#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/controls/SmartText.h"
#include "velora/forms/FormClasses.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velora;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // No data source can be reached: a form asking to connect fails at once.
    ::setenv("ODBCINI", "/nonexistent/odbc.ini", 1);
    ::setenv("ODBCSYSINI", "/nonexistent", 1);
    RegisterFormClasses();
    RegisterODBCObjClasses();
    RegisterODBCQueryClasses();
    RegisterODBCUpdateSQLClasses();
    RegisterODBCDataSourceClasses();
    RegisterControlClasses();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const String text(reinterpret_cast<const char*>(data), size);
    String written;
    {
        TComponent root(nullptr);
        root.SetName("Root");
        try {
            ReadComponentStringInto(text, &root);
            written = WriteComponentToString(&root);
        } catch (const Exception&) {
            return 0;
        }
    }
    TComponent again(nullptr);
    again.SetName("Root");
    ReadComponentStringInto(written, &again);  // what the library wrote must read back
    if (WriteComponentToString(&again) != written) std::abort();
    return 0;
}
