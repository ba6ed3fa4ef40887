#include "bamcount/table_names.h"

namespace {

bool escaped(unsigned char c) { return c == '%' || c == '+' || c == ',' || c < 0x20 || c == 0x7f; }

} // namespace

std::string table_name(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (!escaped(c)) {
            out += ch;
            continue;
        }
        out += '%';
        out += kHex[c >> 4];
        out += kHex[c & 15];
    }
    return out;
}

std::string_view strand_word(char strand)
{
    return strand == '+' ? "plus" : strand == '-' ? "minus" : "unstranded";
}

std::string piece_suffix(std::string_view chromosome, char strand)
{
    return "@" + table_name(chromosome) + "(" + std::string(strand_word(strand)) + ")";
}

std::string joined_table_names(const std::vector<std::string>& names, char separator)
{
    std::string out;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0) out += separator;
        out += table_name(names[k]);
    }
    return out;
}
