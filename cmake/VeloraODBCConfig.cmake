# Writes the project's own ODBC configuration into VELORA_ODBC_DIR:
#  - odbcinst.ini naming the installed SQLite and PostgreSQL (and MariaDB, when
#    present) driver libraries by their full paths;
#  - odbc.ini.base with the embedded SQLite data sources. The test script adds
#    the server data sources (their ports are chosen at run time) and writes
#    odbc.ini; without it, odbc.ini is a copy of the base.
set(_odbc_libdirs /usr/lib/x86_64-linux-gnu/odbc /usr/lib/aarch64-linux-gnu/odbc /usr/lib/odbc /usr/local/lib/odbc)
find_file(VELORA_SQLITE_DRIVER NAMES libsqlite3odbc.so PATHS ${_odbc_libdirs} NO_DEFAULT_PATH)
find_file(VELORA_PSQL_DRIVER NAMES psqlodbca.so PATHS ${_odbc_libdirs} NO_DEFAULT_PATH)
find_file(VELORA_MARIADB_DRIVER NAMES libmaodbc.so PATHS ${_odbc_libdirs} NO_DEFAULT_PATH)
if(NOT VELORA_SQLITE_DRIVER)
  message(WARNING "SQLite ODBC driver not found (package libsqliteodbc)")
endif()

set(VELORA_SAMPLE_DB "${PROJECT_BINARY_DIR}/velora-sample.db")
set(VELORA_TEST_SQLITE_DB "${PROJECT_BINARY_DIR}/velora-test.db")
file(MAKE_DIRECTORY ${VELORA_ODBC_DIR})
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/config/odbcinst.ini.in ${VELORA_ODBC_DIR}/odbcinst.ini @ONLY)
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/config/odbc.ini.in ${VELORA_ODBC_DIR}/odbc.ini.base @ONLY)
if(NOT EXISTS ${VELORA_ODBC_DIR}/odbc.ini)
  file(COPY_FILE ${VELORA_ODBC_DIR}/odbc.ini.base ${VELORA_ODBC_DIR}/odbc.ini)
endif()
