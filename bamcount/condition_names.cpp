#include "bamcount/condition_names.h"

#include "cli/diag.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <system_error>

namespace {

bool is_blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

bool ends_with_lower(const std::string& text, std::string_view suffix)
{
    if (text.size() <= suffix.size()) return false; // a name must remain
    for (std::size_t k = 0; k < suffix.size(); ++k)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + k])) != suffix[k]) return false;
    return true;
}

std::string one_word(std::string name)
{
    for (char& c : name)
        if (is_blank(c) || c == ',') c = '_';
    return name;
}

std::string base_name(const std::string& path)
{
    std::string name = std::filesystem::path(path).filename().string();
    if (ends_with_lower(name, ".gz")) name.resize(name.size() - 3);
    for (std::string_view extension : {".bam", ".cram", ".sam"})
        if (ends_with_lower(name, extension)) {
            name.resize(name.size() - extension.size());
            break;
        }
    return one_word(name);
}

std::string folder_name(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path whole = std::filesystem::absolute(path, error);
    if (error) return {};
    return one_word(whole.lexically_normal().parent_path().filename().string());
}

bool usable(const std::vector<std::string>& names)
{
    std::set<std::string_view> seen;
    for (const std::string& n : names)
        if (n.empty() || !seen.insert(n).second) return false;
    return true;
}

} // namespace

std::vector<std::string> default_condition_names(const std::vector<std::string>& paths)
{
    std::vector<std::string> names;
    for (const std::string& p : paths) names.push_back(base_name(p));
    if (usable(names)) return names;
    for (std::size_t c = 0; c < paths.size(); ++c) {
        const std::string folder = folder_name(paths[c]);
        if (!folder.empty()) names[c] = folder + "_" + names[c];
    }
    if (usable(names)) return names;
    for (std::size_t c = 0; c < paths.size(); ++c) names[c] = "condition_" + std::to_string(c + 1);
    return names;
}

std::vector<std::string> split_names(std::string_view text)
{
    // A comma ends one name and starts the next: n commas, n + 1 names.
    std::vector<std::string> names(1);
    for (const char c : text) {
        if (c == ',') names.emplace_back();
        else names.back() += c;
    }
    return names;
}

std::string names_problem(const std::vector<std::string>& names, std::size_t files)
{
    if (names.size() != files)
        return "--names gives " + std::to_string(names.size()) + (names.size() == 1 ? " name" : " names") + " for " +
               std::to_string(files) + (files == 1 ? " alignment file" : " alignment files") +
               ": one per file, in their order";
    std::set<std::string_view> seen;
    for (std::size_t c = 0; c < names.size(); ++c) {
        const std::string& n = names[c];
        if (n.empty()) return "--names: name " + std::to_string(c + 1) + " is empty";
        if (std::any_of(n.begin(), n.end(), is_blank))
            return "--names: name " + quote_token(n) + " holds a blank, tab or line break: a name is one word";
        if (!seen.insert(n).second)
            return "--names: " + quote_token(n) + " is given twice: each condition needs a name of its own";
    }
    return {};
}
