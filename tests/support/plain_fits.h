// The plain forms of mfitmle, lrtmfit and lrtmfit2: the same arguments and
// results, every sum visiting every count value 0..M. Test reference only.
#pragma once

void plain_mfitmle(int n, const int* x, int& converged, double& lambda, double& theta, double& poisson_lambda);

void plain_lrtmfit(int nx, const int* x, int ny, const int* y, int& valid, double& statistic, double a,
                   double theta_x, double theta_y, double lambda_x, double lambda_y);

void plain_lrtmfit2(int n_e, int n_g, const int* x1, const int* y1, const int* x2, const int* y2, double lambda_e1,
                    double lambda_g1, double lambda_e2, double lambda_g2, double theta_e1, double theta_g1,
                    double theta_e2, double theta_g2, int& valid, double& T);
