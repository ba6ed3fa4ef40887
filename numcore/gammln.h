// ln Γ(x) for x > 0 by a six-term Lanczos series; ln k! is gammln(k + 1).
// No checks: x <= 0 gives a meaningless result, and no caller passes one.
#pragma once

double gammln(double x);
