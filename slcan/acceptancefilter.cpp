#include "slcan/acceptancefilter.h"

namespace slcan {

namespace {

// The register bits that carry the identifier of each kind.
constexpr quint32 STANDARD_ID_BITS = 0xFFE00000;
constexpr int STANDARD_ID_SHIFT = 21;
constexpr quint32 EXTENDED_ID_BITS = 0xFFFFFFF8;
constexpr int EXTENDED_ID_SHIFT = 3;

} // namespace

bool AcceptanceFilter::setMask(quint32 mask)
{
    if (!maskApplicable(mask))
        return false;
    mask_ = mask;
    return true;
}

void AcceptanceFilter::reset()
{
    code_ = OPEN_CODE;
    mask_ = OPEN_MASK;
}

bool AcceptanceFilter::accepts(quint32 id, bool extended) const
{
    // A data frame's remote bit is 0; the bits the applicable masks leave out
    // (remote bit, data bytes) therefore need no comparison.
    const quint32 frameBits = extended ? id << EXTENDED_ID_SHIFT : id << STANDARD_ID_SHIFT;
    const quint32 compared = ~mask_ & (extended ? EXTENDED_ID_BITS : STANDARD_ID_BITS);
    return ((frameBits ^ code_) & compared) == 0;
}

} // namespace slcan
