// The names of bamcount's conditions, which conditions.tsv and the printed
// summary show: given with --names, or made from the alignment files'
// paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Names from the paths: each file's base name without its .bam, .cram or
// .sam extension (and a .gz after it). When these are not all unique (STAR
// names every sample's file Aligned.sortedByCoord.out.bam, each in a folder
// of its own), the parent folder's name, '_' and the base name; when those
// are not unique either, condition_1, condition_2, ... Blanks and commas in
// a file's name become '_', so that every name is one word, as --names
// asks of its own.
std::vector<std::string> default_condition_names(const std::vector<std::string>& paths);

// --names' value split at its commas, empty names kept.
std::vector<std::string> split_names(std::string_view text);

// What is wrong with names given for `files` alignment files (not one per
// file, an empty one, one with a blank, tab or line break, one given
// twice), as a message; empty when they can be used.
std::string names_problem(const std::vector<std::string>& names, std::size_t files);
