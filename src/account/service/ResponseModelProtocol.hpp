// ResponseModelProtocol: what every backend response record offers.
#pragma once

#include "account/service/ResultCode.hpp"

#include <concepts>
#include <cstdint>
#include <string>

namespace vexaqr {

/// A response record: the backend's integer outcome `resultCode` (Constant::WebService::missingResultCode when
/// the reply had none), its reading `result()` and a `description()` for printing.
template <class T>
concept ResponseModelProtocol = std::copyable<T> && requires(const T& model) {
    { model.resultCode } -> std::convertible_to<std::int64_t>;
    { model.result() } -> std::same_as<Constant::Application::ResultCode>;
    { model.description() } -> std::convertible_to<std::string>;
};

} // namespace vexaqr
