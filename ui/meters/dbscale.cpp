#include "dbscale.h"

#include <cmath>

float DbScale::fraction(float dBFS)
{
    if (!std::isfinite(dBFS) || dBFS == MissingLevel)
        return 0.0f;
    if (dBFS >= 0.0f)
        return 1.0f;
    if (dBFS <= FloorDb)
        return 0.0f;
    return (dBFS - FloorDb) / -FloorDb;
}
