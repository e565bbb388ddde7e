#include "ops/OpsCallbacks.h"

namespace nosk {

std::tm localNow()
{
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

} // namespace nosk
