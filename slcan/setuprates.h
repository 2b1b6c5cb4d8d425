#pragma once

// SLCAN's setup command S0..S8 and the CAN bit rates it names. The adapter
// has five of them (its rate table is wire::CAN_RATES); the others are
// refused.

#include "link/protocol.h"

namespace slcan {

// Bit rate in bits/s of S0 .. S8.
inline constexpr quint32 SETUP_BIT_RATES[] = {10000, 20000, 50000, 100000, 125000,
                                              250000, 500000, 800000, 1000000};
constexpr int SETUP_CODES = int(sizeof SETUP_BIT_RATES / sizeof SETUP_BIT_RATES[0]);

// The adapter's rate that Sn names, nullptr when the adapter has none or n is
// not 0..8.
const wire::CanRate *adapterRateOfSetup(int n);

// The setup command of an adapter rate ("S6" for "500 kbps"), empty when
// SLCAN cannot name it (33.333 kbps, 83.333 kbps).
QString setupCommandOf(const wire::CanRate &rate);

} // namespace slcan
