#include "support/test_ca.h"

void TrustTestCa() {}
