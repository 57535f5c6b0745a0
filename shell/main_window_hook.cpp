#include "shell/main_window.h"

namespace {

ConversionRunHook& hookSlot() {
    static ConversionRunHook hook;
    return hook;
}

}  // namespace

void setConversionRunHook(ConversionRunHook hook) { hookSlot() = std::move(hook); }

const ConversionRunHook& conversionRunHook() { return hookSlot(); }

Destination& keptDestination() {
    static Destination kept;
    return kept;
}
