// Reading a data file page by page, without SQLite, for a file whose schema
// cannot be read: its first page (the root of the schema) or the schema's
// own pages are damaged, so SQLite refuses the whole file.
//
// Each page is decrypted with the key derived from the password and the
// salt in the file's first 16 bytes, and taken only when its HMAC matches
// (a plain file's pages are taken as they stand). The b-tree pages are then
// read as SQLite lays them out: the schema's rows that survive on their own
// pages give the root page of each table and index; a table's rows are the
// rows of the leaves reached from its root, and a leaf no root reaches (its
// parent is damaged) belongs to the one table of the example whose columns
// its rows fit. The rows an index lists count the rows lost, as the rest of
// the repair counts them. No display.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kr::repair {

// A column of a table of the example file: its kind ('i' INTEGER, 'r' REAL,
// 't' TEXT, '?' anything) and whether it holds NULL.
struct PageColumn {
    char kind = '?';
    bool notNull = false;
};

struct PageTableShape {
    std::string name;
    std::vector<PageColumn> columns;
};

// A field of a row as stored: the SQLite type (SQLITE_INTEGER, SQLITE_FLOAT,
// SQLITE_TEXT, SQLITE_BLOB, SQLITE_NULL) and its value.
struct PageValue {
    int type = 5;
    int64_t i = 0;
    double r = 0;
    std::string s;
};

struct PageRow {
    int64_t rowid = 0;
    std::vector<PageValue> values;  // in the table's column order
    bool fromRoot = true;           // on a leaf reached from the table's root
};

struct PageTableRows {
    std::vector<PageRow> rows;     // rows reached from the table's root first
    std::set<int64_t> listed;      // rowids its indexes list
    bool wholeIndex = false;       // an index without condition was read whole
    int64_t damagedPages = 0;      // damaged pages its tree points to
};

struct PageScan {
    bool keyed = false;             // the key could be derived (a salt was there)
    int64_t pages = 0;              // pages of the file
    int64_t readablePages = 0;      // pages that passed their check
    int64_t damagedPages = 0;       // pages that did not (the first page not counted)
    // Damaged pages no table's tree points to: their table cannot be told.
    int64_t unplacedDamagedPages = 0;
    // Rows whose table could not be told (no root reaches them and their
    // columns fit no table, or more than one).
    int64_t unplacedRows = 0;
    std::map<std::string, PageTableRows> tables;  // by the example's names
};

struct PageFormat {
    int pageSize = 1024;
    int reserve = 48;          // bytes at the end of each page (IV and HMAC)
    int kdfIterations = 64000;
    bool encrypted = true;
};

// Reads every page of the file at `path` and sorts its rows into `tables`.
PageScan ScanPages(const std::string& path, const std::string& password, const PageFormat& format,
                   const std::vector<PageTableShape>& tables);

}  // namespace kr::repair
