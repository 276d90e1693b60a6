// The stand-in library beside a fuzz target, bound once as the program binds SAP's library.
#pragma once

#include "FuzzSupport.h"
#include "platform/FixedText.h"
#include "rfc/RfcBinding.h"

namespace fuzz {

inline void BindStandIn() {
    static const bool bound = [] {
        FixedText<255> error;
        return BindRfcLibrary(error);
    }();
    Check(bound, "the RFC library could not be bound");
}

} // namespace fuzz
