#pragma once

// The acceptance filter that SLCAN's M (code) and m (mask) commands set: the
// registers ACR0..ACR3 and AMR0..AMR3 of an SJA1000 controller in its
// single-filter mode, written as 8 hexadecimal digits, ACR0 (AMR0) first. A
// mask bit 1 means "don't care", 0 "this bit must equal the code's bit".
//
// Frame bits against the 32 register bits (bit 31 = ACR0 bit 7):
//   standard frame  bits 31..21 identifier 10..0, bit 20 the remote bit,
//                   bits 15..8 and 7..0 the first and second data byte
//   extended frame  bits 31..3 identifier 28..0, bit 2 the remote bit
//
// The bridge filters on identifiers only, as the adapter's own filter does
// (one identifier and mask in its configuration), and the adapter's frames do
// not say whether they were remote frames. A mask is therefore refused unless
// it leaves the remote bit of a standard frame (bit 20) and the two data-byte
// registers AMR2, AMR3 (bits 15..0) at "don't care". With such a mask a
// standard frame is compared on its whole identifier, an extended frame, as
// the SJA1000 does, on its identifier bits 28..13 except bit 17.

#include <QtGlobal>

namespace slcan {

class AcceptanceFilter
{
public:
    // After power-on every frame passes: code 00000000, mask FFFFFFFF.
    static constexpr quint32 OPEN_CODE = 0x00000000;
    static constexpr quint32 OPEN_MASK = 0xFFFFFFFF;
    // Mask bits that must be 1 (see above).
    static constexpr quint32 REQUIRED_MASK_BITS = 0x0010FFFF;

    // Whether a mask can be applied (every REQUIRED_MASK_BITS bit set).
    static constexpr bool maskApplicable(quint32 mask)
    {
        return (mask & REQUIRED_MASK_BITS) == REQUIRED_MASK_BITS;
    }

    quint32 code() const { return code_; }
    quint32 mask() const { return mask_; }
    void setCode(quint32 code) { code_ = code; }
    // False (and the mask unchanged) for a mask that is not applicable.
    bool setMask(quint32 mask);
    void reset();

    // Whether a data frame with this identifier passes.
    bool accepts(quint32 id, bool extended) const;

private:
    quint32 code_ = OPEN_CODE;
    quint32 mask_ = OPEN_MASK;
};

} // namespace slcan
