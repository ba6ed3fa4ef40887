// The numeric core: everything the programs compute, and nothing else. It
// holds the 1-based arrays every table lives in, the histograms that every
// fit and statistic sums over, the generalized Poisson and Poisson fits, the
// permutation tests' random stream and re-splits, and the null summary. No
// threads and no I/O: each routine works on the vectors it is given, on the
// calling thread, and reports trouble only through its results (or, for an
// allocation that fails, through nrerror).
#pragma once

#include "arrays.h"       // owning wrappers of the 1-based vectors and matrices (nrutil.h)
#include "count_limits.h" // the largest counts and lengths the routines hold
#include "gammln.h"       // ln Γ
#include "gpsupport.h"    // the support of a negative dispersion
#include "histogram.h"    // the count values a vector holds, with their multiplicities
#include "log_terms.h"    // the likelihood-ratio statistics' log terms
#include "mfitmle.h"      // the fits of one vector, and FitRecord
#include "nullsummary.h"  // the gamma summary of a permutation null
#include "random.h"       // ran2, bnldev, fPermuteValues
#include "split_draw.h"   // fPermuteValues' re-splits from prepared pools
