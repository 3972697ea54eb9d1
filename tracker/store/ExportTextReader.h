// Our own CSV and JSON exports read back: one row at a time, names converted from UTF-8 to the profile's code
// page, and each row that cannot be converted or parsed refused with its line.
#pragma once
#include <cstddef>
#include <string>

#include "store/ImportSource.h"

// `data` is the whole file. False (with `error`) when the file cannot be read as a whole.
bool ReadExportText(const char* data, size_t size, bool csv, const RowSink& sink, std::wstring* error);
