#include "tools/BulletDamage.h"

#include <cfenv>
#include <cmath>

#include "profile/TessaryError.h"

std::int64_t bulletDamage(std::int32_t x) {
  const long double k = 1.0L - 23.0L * std::ldexp(1.0L, -61);
  const long double y = (std::pow(static_cast<long double>(x), 2.0L) + 1.0L) * k;
  std::fesetround(FE_TONEAREST);
  return static_cast<std::int64_t>(std::nearbyintl(std::sqrt(y)));
}

std::array<std::int64_t, 3> bulletLevels(std::int32_t p, std::int32_t q) {
  const std::int64_t level2 = std::int64_t{p} + q;
  const std::int64_t level3 = std::int64_t{p} + 2 * std::int64_t{q};
  for (std::int64_t sum : {level2, level3})
    if (sum < INT32_MIN || sum > INT32_MAX)
      throw TessaryError(
          QStringLiteral("The damage for level %1 leaves the range of whole numbers (%2 to %3)")
              .arg(sum == level2 ? 2 : 3)
              .arg(INT32_MIN)
              .arg(INT32_MAX));
  return {bulletDamage(p), bulletDamage(static_cast<std::int32_t>(level2)),
          bulletDamage(static_cast<std::int32_t>(level3))};
}
