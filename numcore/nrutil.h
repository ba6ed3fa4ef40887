// Offset-indexed vectors and matrices, and the one fatal-error path.
//
// Every table of the pipeline lives in these arrays. A vector made by
// ivector(nl, nh) is valid at v[nl..nh]; the pipeline always uses nl = 1, so a
// vector of length L is v[1..L]. The storage is one block of nh - nl + 2
// elements, v[nl] being the block's second element. A matrix is a table of row
// handles plus one contiguous row-major element block, so m[i] is itself a
// vector valid at [ncl..nch] and m[i][nch] is followed in memory by m[i+1][ncl].
// Contents start undefined. An allocation that cannot be served ends the
// process through nrerror.
//
// Code outside the numeric core holds these handles through the owning
// wrappers of arrays.h, which release each exactly once.
#pragma once

#include <cstdint>

[[noreturn]] void nrerror(const char* message);

int* ivector(std::int64_t nl, std::int64_t nh);
double* dvector(std::int64_t nl, std::int64_t nh);
int** imatrix(std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch);
double** dmatrix(std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch);

void free_ivector(int* v, std::int64_t nl, std::int64_t nh);
void free_dvector(double* v, std::int64_t nl, std::int64_t nh);
void free_imatrix(int** m, std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch);
void free_dmatrix(double** m, std::int64_t nrl, std::int64_t nrh, std::int64_t ncl, std::int64_t nch);
