// libFuzzer entry for the settings decoder: any bytes give a Config or an error, never a crash,
// and whatever decodes survives a write and a second read unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config/json_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto decoded = ombrel::decodeConfig(text);
    const auto* config = std::get_if<ombrel::Config>(&decoded);
    if (config == nullptr) {
        if (std::get<ombrel::DecodeError>(decoded).description.empty()) {
            std::abort();
        }
        return 0;
    }
    // Decoded text never holds a non-finite number, so it must always encode; "" never reads back.
    const auto again = ombrel::decodeConfig(ombrel::encodeConfig(*config).value_or(""));
    const auto* reread = std::get_if<ombrel::Config>(&again);
    if (reread == nullptr || !(*reread == *config)) {
        std::abort();
    }
    return 0;
}
