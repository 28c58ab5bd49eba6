// Intel HEX from anywhere: never a crash, and whatever is taken writes back to the same cells.

#include "image/IntelHex.h"
#include "link/WireFormat.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const tavrin::IntelHex::Parsed parsed = tavrin::IntelHex::parse(text);
    if (!parsed.ok()) {
        if (!parsed.cells.isEmpty())
            std::abort();
        return 0;
    }
    if (parsed.cells.size() > tavrin::Wire::EepromSize)
        std::abort();
    const tavrin::IntelHex::Parsed again =
        tavrin::IntelHex::parse(tavrin::IntelHex::format(parsed.cells));
    if (!again.ok() || again.cells != parsed.cells)
        std::abort();
    return 0;
}
