#include "bamcount/layout.h"

#include "cli/diag.h"

#include <algorithm>
#include <limits>

CountLayout::CountLayout(std::vector<FlatGene> genes) : genes_(std::move(genes))
{
    std::uint64_t offset = 0;
    for (const FlatGene& g : genes_) {
        std::vector<std::uint32_t>& offsets = part_offsets_.emplace_back();
        if (static_cast<std::size_t>(g.chromosome_index) > intervals_.size())
            intervals_.resize(static_cast<std::size_t>(g.chromosome_index));
        chromosome_.emplace(g.chromosome, g.chromosome_index);
        for (const ExonicPart& p : g.parts) {
            offsets.push_back(static_cast<std::uint32_t>(offset));
            intervals_[static_cast<std::size_t>(g.chromosome_index) - 1].push_back(
                {p.start, p.end, 0, static_cast<std::uint32_t>(offset), g.strand});
            offset += static_cast<std::uint64_t>(p.length());
            // The reads file's rows are numbered in 32 bits.
            if (offset > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
                fail_input("annotation: its exonic positions exceed 2147483647, more rows than the count tables hold");
        }
    }
    positions_ = static_cast<std::uint32_t>(offset);
    for (std::vector<Interval>& list : intervals_) {
        std::sort(list.begin(), list.end(), [](const Interval& a, const Interval& b) { return a.start < b.start; });
        std::int64_t reach = 0;
        for (Interval& i : list) i.reach = reach = std::max(reach, i.end);
    }
}

int CountLayout::chromosome_index(const std::string& name) const
{
    const auto it = chromosome_.find(name);
    return it == chromosome_.end() ? 0 : it->second;
}

void CountLayout::offsets_at(int chromosome, std::int64_t position, char strand, std::vector<std::uint32_t>& out,
                             int& strands) const
{
    strands = 0;
    if (chromosome < 1 || static_cast<std::size_t>(chromosome) > intervals_.size()) return;
    const std::vector<Interval>& list = intervals_[static_cast<std::size_t>(chromosome) - 1];
    // The last interval starting at or before the position, then back while
    // an earlier one may still reach it.
    auto it = std::upper_bound(list.begin(), list.end(), position,
                               [](std::int64_t p, const Interval& i) { return p < i.start; });
    while (it != list.begin()) {
        --it;
        if (it->reach < position) break;
        if (it->end < position) continue;
        strands |= it->strand == '+' ? 1 : it->strand == '-' ? 2 : 4;
        if (strand == '.' || it->strand == strand || it->strand == '.')
            out.push_back(it->offset + static_cast<std::uint32_t>(position - it->start));
    }
}

void CountLayout::annotated_runs(int chromosome, std::int64_t first, std::int64_t last,
                                 std::vector<std::pair<std::int64_t, std::int64_t>>& out) const
{
    if (chromosome < 1 || static_cast<std::size_t>(chromosome) > intervals_.size() || last < first) return;
    const std::vector<Interval>& list = intervals_[static_cast<std::size_t>(chromosome) - 1];
    // Every interval before the first whose reach gets to `first` ends
    // before it; the walk stops at the first that starts after `last`.
    auto it = std::partition_point(list.begin(), list.end(), [first](const Interval& i) { return i.reach < first; });
    const std::size_t from = out.size();
    for (; it != list.end() && it->start <= last; ++it) {
        if (it->end < first) continue;
        const std::int64_t a = std::max(it->start, first), b = std::min(it->end, last);
        // Intervals come by start, so a run can only grow at its end.
        if (out.size() > from && a <= out.back().second + 1) out.back().second = std::max(out.back().second, b);
        else out.emplace_back(a, b);
    }
}
