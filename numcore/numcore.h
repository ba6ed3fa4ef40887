// The numeric core: everything the programs compute, and nothing else. It
// holds the 1-based arrays every table lives in, the histograms that every
// fit and statistic sums over, the generalized Poisson and Poisson fits, the
// permutation tests' random stream and re-splits, and the null summary. No
// threads and no I/O: each routine works on the vectors it is given, on the
// calling thread, and reports trouble only through its results (or, for an
// allocation that fails, through nrerror).
#pragma once

#include "numcore/arrays.h"       // owning wrappers of the 1-based vectors and matrices (nrutil.h)
#include "numcore/count_limits.h" // the largest counts and lengths the routines hold
#include "numcore/gammln.h"       // ln Γ
#include "numcore/gpsupport.h"    // the support of a negative dispersion
#include "numcore/histogram.h"    // the count values a vector holds, with their multiplicities
#include "numcore/log_terms.h"    // the likelihood-ratio statistics' log terms
#include "numcore/mfitmle.h"      // the fits of one vector, and FitRecord
#include "numcore/nullsummary.h"  // the gamma summary of a permutation null
#include "numcore/random.h"       // ran2, bnldev, fPermuteValues
#include "numcore/split_draw.h"   // fPermuteValues' re-splits from prepared pools
