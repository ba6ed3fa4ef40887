// Numbers as sigtable's tables write them and its refusals quote them.
#pragma once

#include <cstdint>
#include <string>

// "%.6f": as lvcmp and isocmp write their estimates and statistics.
std::string six_decimals(double v);
// "%.10g": a value computed here, to the digits that tell it apart.
std::string shortest(double v);

// A table's number: "%.6g", or NA for one that is not finite.
std::string table_number(double v);
void append_table_number(std::string& out, double v);
// An integer as std::to_string writes it.
void append_integer(std::string& out, std::int64_t v);
// A log2 fold change: as table_number, but a change from no reads to some
// is Inf or -Inf, as R reads them; 0 against 0 stays NA.
std::string table_fold_change(double v);
