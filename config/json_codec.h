// The settings file format: Config to JSON text and back, with no partial results.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "config/model.h"

namespace ombrel {

struct DecodeError {
    std::string description;
    friend bool operator==(const DecodeError&, const DecodeError&) = default;
};

// Either the whole configuration or one error for the whole text.
std::variant<Config, DecodeError> decodeConfig(std::string_view json);

// Pretty printed, keys sorted at every level; nothing when a coordinate is not finite.
std::optional<std::string> encodeConfig(const Config& config);

}  // namespace ombrel
