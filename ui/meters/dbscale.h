#pragma once

/** How a level in dBFS fills a meter bar. */
namespace DbScale {

/** The level at and below which a bar is empty. */
constexpr float FloorDb = -72.0f;
/**
 * What the session reports for a level attribute the codec left out (the
 * smallest normal float, bit pattern 0x00800000).
 */
constexpr float MissingLevel = 1.1754944e-38f;

/**
 * The fill fraction of @p dBFS: 1 at 0 dBFS and above, 0 at -72 dBFS and
 * below, linear in between. A missing level and anything not finite give 0:
 * no reading never shows as a full bar.
 */
float fraction(float dBFS);

} // namespace DbScale
